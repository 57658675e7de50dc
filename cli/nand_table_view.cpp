#include "cli/nand_table_view.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "cli/cli_args.h"
#include "host/paths.h"
#include "nandtable/nand_table_file.h"
#include "nandtable/nand_cfg.h"
#include "nandtable/nand_part_record.h"
#include "nandtable/nand_table_texts.h"

namespace korvex::cli {

namespace {

std::string KeysText(std::uint32_t mainId, std::uint32_t extId) {
  char text[32];
  std::snprintf(text, sizeof text, "%04X:%06X", mainId, extId);
  return text;
}

std::string RowList(const std::vector<std::size_t>& rows) {
  std::string text;
  for (const std::size_t row : rows) text += (text.empty() ? "" : ", ") + std::to_string(row);
  return text;
}

}  // namespace

NandNameBook::NandNameBook(std::filesystem::path file) : file_(std::move(file)) {
  std::ifstream in(file_);
  for (std::string line; std::getline(in, line);) {
    const std::size_t colon = line.find(':');
    const std::size_t space = line.find(' ');
    if (colon == std::string::npos || space == std::string::npos || space < colon) continue;
    const auto mainId = ParseUnsigned(line.substr(0, colon), 16);
    const auto extId = ParseUnsigned(line.substr(colon + 1, space - colon - 1), 16);
    if (mainId && extId) names_[{*mainId, *extId}] = line.substr(space + 1);
  }
}

std::string NandNameBook::Find(std::uint32_t mainId, std::uint32_t extId) const {
  const auto it = names_.find({mainId, extId});
  return it == names_.end() ? std::string() : it->second;
}

bool NandNameBook::Set(std::uint32_t mainId, std::uint32_t extId, const std::string& name) {
  names_[{mainId, extId}] = name;
  std::ofstream out(file_, std::ios::trunc);
  for (const auto& [keys, text] : names_) out << KeysText(keys.first, keys.second) << ' ' << text << '\n';
  out.close();
  return static_cast<bool>(out);
}

std::vector<std::string> SplitChipKeys(const std::vector<std::string>& args) {
  if (args.size() != 1) return args;
  const std::size_t colon = args[0].find(':');
  if (colon == std::string::npos) return args;
  return {args[0].substr(0, colon), args[0].substr(colon + 1)};
}

std::pair<std::uint32_t, std::uint32_t> RowKeys(const NandTableRow& row) {
  return {ParseUnsigned(row[1], 16).value_or(0), ParseUnsigned(row[2], 16).value_or(0)};
}

std::string FormatNandRows(const std::vector<NandTableRow>& rows,
                           std::span<const std::size_t> indices, const NandNameBook& names) {
  using Line = std::array<std::string, kNandTableColumnCount + 1>;
  std::vector<Line> lines{{"row", "name", "main", "ext", "page", "block KiB", "oob", "blocks"}};
  bool sideNames = false;
  for (const std::size_t i : indices) {
    const NandTableRow& row = rows[i];
    Line line{std::to_string(i)};
    std::copy(row.begin(), row.end(), line.begin() + 1);
    const auto [mainId, extId] = RowKeys(row);
    if (const std::string name = names.Find(mainId, extId); row[0] == kTextUnnamedPart && !name.empty()) {
      line[1] = name + "*";
      sideNames = true;
    }
    lines.push_back(line);
  }
  std::array<std::size_t, kNandTableColumnCount + 1> widths{};
  for (const Line& line : lines) {
    for (std::size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], line[c].size());
  }
  std::string out;
  for (const Line& line : lines) {
    std::string text;
    for (std::size_t c = 0; c < line.size(); ++c) {
      // Text columns to the left, numbers to the right.
      const std::string pad(widths[c] - line[c].size(), ' ');
      const bool left = c == 1 || c == 2 || c == 3;
      text += left ? line[c] + pad : pad + line[c];
      if (c + 1 < line.size()) text += "  ";
    }
    out += text.substr(0, text.find_last_not_of(' ') + 1) + '\n';
  }
  if (sideNames) {
    out += "* a name kept in " + PathToUtf8(names.File()) + ", as a record has no room for one\n";
  }
  return out;
}

// Empty for a table that cannot be read: the table's own reader has said so already.
std::vector<std::uint8_t> ReadNandTableBytes(Host& host) {
  std::vector<std::uint8_t> bytes;
  if (ReadNandTableFile(NandTablePath(host), bytes) != NandTableFileRead::kRead) bytes.clear();
  return bytes;
}

std::string DuplicateKeysWarning(std::span<const std::uint8_t> before,
                                 std::span<const std::uint8_t> after, std::uint32_t mainId,
                                 std::uint32_t extId) {
  std::vector<std::size_t> holders;
  for (std::size_t i = 0; i < NandPartCount(before); ++i) {
    const NandPartRecord record = ParseNandPart(before, i);
    if (record.mainId() == mainId && (record.extId() & 0xFFFFFF) == (extId & 0xFFFFFF)) {
      holders.push_back(i);
    }
  }
  if (holders.empty()) return {};
  const std::size_t added = NandPartCount(after) - 1;
  const NandMatch match = MatchNandPart(after, static_cast<std::uint16_t>(mainId), extId);
  std::string text = std::string(holders.size() == 1 ? "row " : "rows ") + RowList(holders) +
                     (holders.size() == 1 ? " already has" : " already have") + " the keys " +
                     KeysText(mainId, extId) + "; a chip with them gets ";
  if (match.outcome != NandMatchOutcome::kFound || !match.chosenRow) {
    text += "no row (the lookup finds no single match)";
  } else if (*match.chosenRow == added) {
    text += "the new row " + std::to_string(added);
  } else {
    text += "row " + std::to_string(*match.chosenRow) + ", not the new row " + std::to_string(added);
  }
  return text;
}

}  // namespace korvex::cli
