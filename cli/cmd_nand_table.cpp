// korvex nand-table list | lookup MAIN [EXT] | add ... | delete ROW...
// The table dialog's operations for a terminal. Every command first makes sure the
// table file exists, exactly as the station's start-up does.

#include <iomanip>
#include <optional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "device/device_session.h"
#include "nandtable/nand_cfg.h"
#include "nandtable/nand_table_edit.h"
#include "nandtable/nand_table_texts.h"
#include "sim/sim_host.h"

namespace korvex::cli {
namespace {

constexpr OptionSpec kAddOptions[] = {{"--main", true},  {"--ext", true}, {"--page", true},
                                      {"--block", true}, {"--oob", true}, {"--blocks", true}};

// The table commands need no board: a host with no driver instances serves the
// program folder and shows the table's own messages on stderr.
class TableHost {
 public:
  explicit TableHost(const CommandContext& context) : host_(0, context.home) {
    host_.SetMessageBoxHandler([this](const MessageBoxRequest& request) {
      messages_.emplace_back(request.text);
      std::cerr << request.text << "\n";
      return MessageAnswer::Ok;
    });
  }
  Host& host() { return host_; }
  const std::vector<std::string>& messages() const { return messages_; }

 private:
  sim::SimHost host_;
  std::vector<std::string> messages_;
};

int ListCommand(const CommandContext& context, TableHost& table) {
  std::vector<NandTableRow> rows;
  if (RefreshNandTable(table.host(), rows) != NandRefreshResult::kListed) return kExitFailed;
  if (context.json) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const NandTableRow& r = rows[i];
      std::cout << JsonObject()
                       .Add("row", static_cast<std::int64_t>(i))
                       .Add("name", r[0])
                       .Add("mainId", r[1])
                       .Add("extId", r[2])
                       .AddRaw("pageSize", r[3])
                       .AddRaw("blockKiB", r[4])
                       .AddRaw("oobSize", r[5])
                       .AddRaw("totalBlocks", r[6])
                       .Str()
                << "\n";
    }
    return kExitOk;
  }
  std::cout << std::left << std::setw(5) << "row";
  for (const NandTableColumn& column : kNandTableColumns) std::cout << column.title << "  ";
  std::cout << "\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const NandTableRow& r = rows[i];
    std::cout << std::left << std::setw(5) << i << std::setw(24) << r[0] << std::setw(6) << r[1]
              << std::setw(9) << r[2] << std::setw(6) << r[3] << std::setw(6) << r[4]
              << std::setw(5) << r[5] << r[6] << "\n";
  }
  return kExitOk;
}

struct ChipKeys {
  std::uint16_t mainId = 0;
  std::uint32_t extId = 0;
};

std::optional<ChipKeys> ParseChipKeys(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) {
    UsageError("usage: nand-table lookup MAIN [EXT]");
    return std::nullopt;
  }
  const auto mainId = ParseUnsigned(args[0], 16);
  if (!mainId || *mainId > 0xFFFF) {
    UsageError("MAIN must be a 16-bit hex ID (maker and device code), e.g. ECD3");
    return std::nullopt;
  }
  std::optional<std::uint32_t> extId = 0u;
  if (args.size() == 2) extId = ParseUnsigned(args[1], 16);
  if (!extId || *extId > 0xFFFFFF) {
    UsageError("EXT must be a 24-bit hex ID (3rd, 4th, 5th byte), e.g. 589551");
    return std::nullopt;
  }
  return ChipKeys{static_cast<std::uint16_t>(*mainId), *extId};
}

int LookupCommand(const CommandContext& context, TableHost& table, const ChipKeys& keys) {
  DeviceSession session;
  session.device.host = &table.host();
  session.is2KPage = 1;
  const bool found = LookupNandPartWithId(session, keys.mainId, keys.extId);
  if (context.json) {
    JsonObject result;
    result.Add("found", found);
    if (found) {
      result.Add("pageSize", static_cast<std::int64_t>(session.pageSize))
          .Add("blockSize", static_cast<std::int64_t>(session.blockSize))
          .Add("spareSize", static_cast<std::int64_t>(session.spareSize))
          .Add("rowCycles", static_cast<std::int64_t>(session.rowCycles))
          .Add("goodBlocks", static_cast<std::int64_t>(session.goodBlocks))
          .Add("totalBlocks", static_cast<std::int64_t>(session.totalBlocks))
          .Add("is2KPage", static_cast<std::int64_t>(session.is2KPage));
    } else {
      result.Add("message", table.messages().empty() ? "" : table.messages().back());
    }
    std::cout << result.Str() << "\n";
  } else if (found) {
    std::cout << "page size     " << session.pageSize << "\n"
              << "block size    " << session.blockSize << "\n"
              << "spare size    " << session.spareSize << "\n"
              << "row cycles    " << session.rowCycles << "\n"
              << "good blocks   " << session.goodBlocks << "\n"
              << "total blocks  " << session.totalBlocks << "\n"
              << "is2KPage      " << session.is2KPage << "\n";
  }
  return found ? kExitOk : kExitFailed;
}

std::string_view MissingFieldText(NandAddResult result) {
  switch (result) {
    case NandAddResult::kMissingMainId: return "--main (main ID) is missing or 0";
    case NandAddResult::kMissingPageSize: return "--page (page size) is missing or 0";
    case NandAddResult::kMissingBlockSize: return "--block (block size in KiB) is missing or 0";
    case NandAddResult::kMissingSpareSize: return "--oob (spare bytes per page) is missing or 0";
    case NandAddResult::kMissingTotalBlocks: return "--blocks (total blocks) is missing or 0";
    default: return {};
  }
}

// A row the station could not burn is a usage error: refused before the table is touched.
std::optional<NandPartFields> ParseAddFields(const std::vector<std::string>& args) {
  std::string error;
  const auto parsed = ParseArgs(args, kAddOptions, error);
  if (!parsed) {
    UsageError(error);
    return std::nullopt;
  }
  if (!parsed->positional.empty()) {
    UsageError("unexpected argument '" + parsed->positional[0] + "'");
    return std::nullopt;
  }
  NandPartFields fields;
  fields.mainId = parsed->Get("--main");
  fields.extId = parsed->Get("--ext");
  fields.pageSize = parsed->Get("--page");
  fields.blockSize = parsed->Get("--block");
  fields.spareSize = parsed->Get("--oob");
  fields.totalBlocks = parsed->Get("--blocks");
  const NandPartCheck check = CheckNandPartFields(fields);
  if (check.result != NandAddResult::kAdded) {
    const std::string_view missing = MissingFieldText(check.result);
    UsageError("record not written: " + (missing.empty() ? check.reason : std::string(missing)));
    return std::nullopt;
  }
  return fields;
}

int AddCommand(const CommandContext& context, TableHost& table, const NandPartFields& fields) {
  const bool added = AddNandPart(table.host(), fields) == NandAddResult::kAdded;
  if (context.json) {
    std::cout << JsonObject().Add("added", added).Str() << "\n";
  } else if (added) {
    std::vector<NandTableRow> rows;
    RefreshNandTable(table.host(), rows);
    std::cout << "added as row " << rows.size() - 1 << "\n";
  }
  return added ? kExitOk : kExitFailed;
}

std::optional<std::vector<std::size_t>> ParseRows(const std::vector<std::string>& args) {
  if (args.empty()) {
    UsageError("usage: nand-table delete ROW...");
    return std::nullopt;
  }
  std::vector<std::size_t> selected;
  for (const std::string& arg : args) {
    const auto row = ParseUnsigned(arg, 10);
    if (!row) {
      UsageError("ROW must be a row number as 'nand-table list' shows it, not '" + arg + "'");
      return std::nullopt;
    }
    selected.push_back(*row);
  }
  return selected;
}

int DeleteCommand(const CommandContext& context, TableHost& table,
                  const std::vector<std::size_t>& selected) {
  std::vector<NandTableRow> rows;
  if (RefreshNandTable(table.host(), rows) != NandRefreshResult::kListed) return kExitFailed;
  for (const std::size_t row : selected) {
    if (row >= rows.size()) {
      return UsageError("row " + std::to_string(row) + " does not exist (the table has " +
                        std::to_string(rows.size()) + " rows)");
    }
  }
  const NandDeleteResult result = DeleteNandParts(table.host(), selected);
  const bool deleted = result == NandDeleteResult::kDeleted;
  if (context.json) {
    std::cout << JsonObject().Add("deleted", deleted).Str() << "\n";
  } else if (deleted) {
    std::cout << "deleted " << selected.size() << " row(s)\n";
  }
  return deleted ? kExitOk : kExitFailed;
}

}  // namespace

int RunNandTable(const CommandContext& context) {
  if (context.args.empty()) return UsageError("usage: nand-table list|lookup|add|delete ...");
  const std::string& verb = context.args[0];
  const std::vector<std::string> args(context.args.begin() + 1, context.args.end());
  if (verb != "list" && verb != "lookup" && verb != "add" && verb != "delete") {
    return UsageError("unknown nand-table command '" + verb + "'");
  }
  if (verb != "add") {
    for (const std::string& arg : args) {
      if (arg.rfind("--", 0) == 0) return UsageError("unknown option '" + arg + "'");
    }
  }
  if (verb == "list" && !args.empty()) return UsageError("unexpected argument '" + args[0] + "'");

  // Arguments are checked before the table file is touched.
  std::optional<ChipKeys> keys;
  std::optional<NandPartFields> fields;
  std::optional<std::vector<std::size_t>> rows;
  if (verb == "lookup" && !(keys = ParseChipKeys(args))) return kExitUsage;
  if (verb == "add" && !(fields = ParseAddFields(args))) return kExitUsage;
  if (verb == "delete" && !(rows = ParseRows(args))) return kExitUsage;

  TableHost table(context);
  if (!EnsureNandTable(table.host())) return kExitUsage;
  if (verb == "list") return ListCommand(context, table);
  if (verb == "lookup") return LookupCommand(context, table, *keys);
  if (verb == "add") return AddCommand(context, table, *fields);
  return DeleteCommand(context, table, *rows);
}

}  // namespace korvex::cli
