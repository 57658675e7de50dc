// korvex nand-table list | lookup MAIN [EXT] | add ... | delete ROW...
// The table dialog's operations for a terminal. Every command first makes sure the
// table file exists, exactly as the station's start-up does.

#include <algorithm>
#include <optional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/command_help.h"
#include "cli/console_texts.h"
#include "cli/commands.h"
#include "cli/file_checks.h"
#include "cli/json.h"
#include "cli/nand_table_view.h"
#include "device/device_session.h"
#include "host/paths.h"
#include "nandtable/nand_cfg.h"
#include "nandtable/nand_part_record.h"
#include "nandtable/nand_table_edit.h"
#include "nandtable/nand_table_texts.h"
#include "sim/sim_host.h"

namespace korvex::cli {
namespace {

std::vector<OptionSpec> AddOptions() { return SpecsOf(FindCommandHelp("nand-table")->options); }

NandNameBook NameBook(const CommandContext& context) {
  return NandNameBook(context.home / kNandNamesFileName);
}

// The table commands need no board: a host with no driver instances serves the
// program folder and shows the table's own messages on stderr.
class TableHost {
 public:
  explicit TableHost(const CommandContext& context) : host_(0, context.home) {
    host_.SetMessageBoxHandler([this, json = context.json](const MessageBoxRequest& request) {
      messages_.emplace_back(request.text);
      std::cerr << "korvex: " << Explained(request.text) << "\n";
      if (json) std::cout << JsonObject().Add("type", "message").AddNull("port").Add("text", request.text).Str() << "\n";
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
  const NandNameBook names = NameBook(context);
  if (context.json) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const NandTableRow& r = rows[i];
      const auto [mainId, extId] = RowKeys(r);
      const std::string sideName = r[0] == kTextUnnamedPart ? names.Find(mainId, extId) : "";
      std::cout << JsonObject()
                       .Add("type", "row")
                       .Add("row", static_cast<std::int64_t>(i))
                       .Add("name", sideName.empty() ? r[0] : sideName)
                       .Add("nameFile", sideName.empty() ? kNandTableFileName : kNandNamesFileName)
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
  std::vector<std::size_t> all(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) all[i] = i;
  std::cout << FormatNandRows(rows, all, names);
  return kExitOk;
}

struct ChipKeys {
  std::uint16_t mainId = 0;
  std::uint32_t extId = 0;
};

std::optional<ChipKeys> ParseChipKeys(const std::vector<std::string>& given) {
  const std::vector<std::string> args = SplitChipKeys(given);
  if (args.empty() || args.size() > 2) {
    UsageError("usage: nand-table lookup MAIN[:EXT] [EXT]");
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
  const NandMatch match = MatchNandPart(ReadNandTableBytes(table.host()), keys.mainId, keys.extId);
  const std::int64_t row = match.chosenRow ? static_cast<std::int64_t>(*match.chosenRow) : -1;
  if (context.json) {
    JsonObject result;
    result.Add("type", "lookup").Add("found", found);
    if (found) {
      result.Add("row", row).Add("pageSize", static_cast<std::int64_t>(session.pageSize))
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
    std::cout << "row           " << row << "\n"
              << "page size     " << session.pageSize << "\n"
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
  const auto parsed = ParseArgs(args, AddOptions(), error);
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
  fields.name = parsed->Get("--name");
  return fields;
}

int AddCommand(const CommandContext& context, TableHost& table, const NandPartFields& fields) {
  const std::vector<std::uint8_t> before = ReadNandTableBytes(table.host());
  const NandAddResult result = AddNandPart(table.host(), fields);
  const std::string_view missing = MissingFieldText(result);
  if (!missing.empty()) std::cerr << "korvex: record not written: " << missing << "\n";
  const bool added = result == NandAddResult::kAdded;
  const NandPartRecord record = NandPartFromFields(fields);
  std::string warning;
  if (added) {
    warning = DuplicateKeysWarning(before, ReadNandTableBytes(table.host()), record.mainId(),
                                   record.extId());
    if (!warning.empty()) std::cerr << "korvex: warning: " << warning << "\n";
    if (!fields.name.empty() && !NameBook(context).Set(record.mainId(), record.extId(), fields.name)) {
      std::cerr << "korvex: the row was added, but its name could not be written into "
                << PathToUtf8(context.home / kNandNamesFileName) << "\n";
    }
  }
  const std::size_t row = NandPartCount(ReadNandTableBytes(table.host())) - 1;
  if (context.json) {
    JsonObject out;
    out.Add("type", "added").Add("added", added);
    if (added) out.Add("row", static_cast<std::int64_t>(row));
    if (!missing.empty()) out.Add("error", missing);
    if (!warning.empty()) out.Add("warning", warning);
    std::cout << out.Str() << "\n";
  } else if (added) {
    std::cout << "added as row " << row << "\n";
  }
  if (added) return kExitOk;
  return missing.empty() ? kExitFailed : kExitUsage;
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
  std::vector<std::size_t> gone(selected);
  std::ranges::sort(gone);
  gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
  if (context.json) {
    std::string list;
    for (const std::size_t row : gone) list += (list.empty() ? "" : ",") + std::to_string(row);
    std::cout << JsonObject().Add("type", "deleted").Add("deleted", deleted).AddRaw("rows", "[" + list + "]").Str()
              << "\n";
  } else if (deleted) {
    std::cout << "deleted:\n" << FormatNandRows(rows, gone, NameBook(context));
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

  // The table is rewritten whole by add and delete, and written when missing.
  const std::string link = TableLinkProblem(context.home, verb == "add" || verb == "delete");
  if (!link.empty()) return UsageError(link);
  TableHost table(context);
  if (!EnsureNandTable(table.host())) return kExitUsage;
  if (verb == "list") return ListCommand(context, table);
  if (verb == "lookup") return LookupCommand(context, table, *keys);
  if (verb == "add") return AddCommand(context, table, *fields);
  return DeleteCommand(context, table, *rows);
}

}  // namespace korvex::cli
