#include "nandtable/nand_table_edit.h"

#include <algorithm>
#include <bit>
#include <filesystem>
#include <functional>

#include "nandtable/default_nand_parts.h"
#include "nandtable/nand_cfg.h"
#include "nandtable/nand_table_file.h"
#include "nandtable/nand_table_io.h"
#include "nandtable/nand_table_texts.h"

namespace korvex {

namespace {

constexpr unsigned kKiBShift = 10;  // the dialog shows and takes blocks in KiB

void ShowInDialog(Host& host, std::string_view text) {
  host.ShowMessageBox({text, kApplicationCaption, MessageButtons::Ok, kNoPort});
}

// C's "%d" of a 32-bit word, as the list has always shown it.
std::string Decimal(std::uint32_t value) {
  return PrintfText("%d", static_cast<int>(value));
}

std::string Hex(std::uint32_t value) { return PrintfText("%x", unsigned{value}); }

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 36;  // not a digit in any base up to 36
}

}  // namespace

NandTableRow NandTableRowOf(const NandPartRecord& record) {
  const std::optional<std::string_view> name = NandPartName(record.nameRef());
  return {std::string(name.value_or(kTextUnnamedPart)),
          Hex(record.mainId()),
          Hex(record.extId()),
          Decimal(record.pageSize()),
          Decimal(record.blockSize() >> kKiBShift),
          Decimal(record.spareSize()),
          Decimal(record.totalBlocks())};
}

NandRefreshResult RefreshNandTable(Host& host, std::vector<NandTableRow>& rows) {
  rows.clear();
  std::vector<std::uint8_t> table;
  switch (ReadNandTableFile(NandTablePath(host), table)) {
    case NandTableFileRead::kMissing:
      ShowInDialog(host, kTextTableMissing);
      return NandRefreshResult::kNoTable;
    case NandTableFileRead::kUnreadable:
      ShowInDialog(host, kTextTableReadFailed);
      return NandRefreshResult::kUnreadable;
    case NandTableFileRead::kRead:
      break;
  }
  if (table.empty()) {
    ShowInDialog(host, kTextTableListReadFailed);
    return NandRefreshResult::kReadFailed;
  }
  const std::size_t count = NandPartCount(table);
  rows.reserve(count);
  for (std::size_t i = 0; i < count; ++i) rows.push_back(NandTableRowOf(ParseNandPart(table, i)));
  return NandRefreshResult::kListed;
}

std::uint32_t ParseFieldNumber(std::string_view text, int base) {
  constexpr std::uint64_t kMax = 0xFFFFFFFF;
  std::size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  // "0x" counts as a prefix only when a hex digit follows; "0xg" reads as 0.
  if (base == 16 && text.size() - at >= 3 && text[at] == '0' &&
      (text[at + 1] == 'x' || text[at + 1] == 'X') && DigitValue(text[at + 2]) < 16) {
    at += 2;
  }
  std::uint64_t value = 0;
  bool overflow = false;
  bool anyDigit = false;
  for (; at < text.size() && DigitValue(text[at]) < base; ++at) {
    anyDigit = true;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(text[at]));
    if (value > kMax) {
      overflow = true;
      value = kMax;
    }
  }
  if (!anyDigit) return 0;
  if (overflow) return static_cast<std::uint32_t>(kMax);
  const auto result = static_cast<std::uint32_t>(value);
  return negative ? static_cast<std::uint32_t>(0u - result) : result;
}

std::uint32_t DefaultGoodBlocks(std::uint32_t totalBlocks) {
  return static_cast<std::uint32_t>(std::uint64_t{totalBlocks} * 999 / 1024);
}

NandPartRecord NandPartFromFields(const NandPartFields& fields) {
  NandPartRecord record;
  auto& w = record.words;
  w[kWordMainId] = ParseFieldNumber(fields.mainId, 16);
  w[kWordExtId] = ParseFieldNumber(fields.extId, 16);
  w[kWordPageSize] = ParseFieldNumber(fields.pageSize, 10);
  w[kWordBlockSize] = ParseFieldNumber(fields.blockSize, 10) << kKiBShift;
  w[kWordSpareSize] = ParseFieldNumber(fields.spareSize, 10);
  w[kWordTotalBlocks] = ParseFieldNumber(fields.totalBlocks, 10);
  w[kWordRowCycles] = kAddedRowCycles;
  w[kWordGoodBlocks] = DefaultGoodBlocks(w[kWordTotalBlocks]);
  return record;
}

NandPartCheck CheckNandPartFields(const NandPartFields& fields) {
  const NandPartRecord record = NandPartFromFields(fields);
  // The ext ID may be 0 (a wildcard row); every other key and size must be given.
  if (record.mainId() == 0) return {NandAddResult::kMissingMainId, {}};
  if (record.pageSize() == 0) return {NandAddResult::kMissingPageSize, {}};
  if (record.blockSize() == 0) return {NandAddResult::kMissingBlockSize, {}};
  if (record.spareSize() == 0) return {NandAddResult::kMissingSpareSize, {}};
  if (record.totalBlocks() == 0) return {NandAddResult::kMissingTotalBlocks, {}};

  const std::uint32_t page = record.pageSize();
  if (!std::has_single_bit(page) || page < kMinBurnablePageSize || page > kMaxBurnablePageSize) {
    return {NandAddResult::kPageSizeNotBurnable, PrintfText(kFormatPageSizeNotBurnable, page)};
  }
  // From the field itself: the record's 32 bits can wrap a huge block to a small one.
  const unsigned long long blockKiB = ParseFieldNumber(fields.blockSize, 10);
  const unsigned long long blockBytes = blockKiB << kKiBShift;
  if (blockBytes > kMaxBurnableBlockBytes) {
    return {NandAddResult::kBlockOverOneWrite, PrintfText(kFormatBlockOverOneWrite, blockKiB)};
  }
  if (blockBytes % page != 0) {
    return {NandAddResult::kBlockNotWholePages,
            PrintfText(kFormatBlockNotWholePages, blockKiB, page)};
  }
  if (blockBytes / page > kMaxBurnablePagesPerBlock) {
    return {NandAddResult::kBlockOverSmallestZone,
            PrintfText(kFormatBlockOverSmallestZone, blockBytes / page)};
  }
  if (record.goodBlocks() == 0) {
    return {NandAddResult::kNoGoodBlocks, PrintfText(kFormatNoGoodBlocks, record.totalBlocks())};
  }
  return {};
}

NandAddResult AddNandPart(Host& host, const NandPartFields& fields) {
  const NandPartCheck check = CheckNandPartFields(fields);
  if (check.result != NandAddResult::kAdded) {
    if (!check.reason.empty()) {
      ShowInDialog(host, PrintfText(kFormatRecordNotAdded, check.reason.c_str()));
    }
    return check.result;
  }

  const std::filesystem::path path = NandTablePath(host);
  std::vector<std::uint8_t> table;
  switch (ReadNandTableFile(path, table)) {
    case NandTableFileRead::kMissing:
      ShowInDialog(host, kTextTableMissing);
      return NandAddResult::kNoTable;
    case NandTableFileRead::kUnreadable:
      ShowInDialog(host, kTextTableReadFailed);
      return NandAddResult::kReadFailed;
    case NandTableFileRead::kRead:
      break;
  }
  // Bytes past the last whole record are no record the lookup reads; appending after
  // them would shift every later record off its 64-byte boundary.
  const std::size_t rows = NandPartCount(table);
  const std::size_t stray = table.size() - rows * kNandPartRecordSize;
  table.resize(rows * kNandPartRecordSize);
  const NandPartBytes bytes = SerializeNandPart(NandPartFromFields(fields));
  table.insert(table.end(), bytes.begin(), bytes.end());
  if (!ReplaceNandTableFile(path, table)) {
    ShowInDialog(host, kTextTableWriteFailed);
    return NandAddResult::kWriteFailed;
  }
  if (stray != 0) {
    ShowInDialog(host, PrintfText(kFormatPartialRecordDropped, static_cast<unsigned>(stray),
                                  static_cast<unsigned>(rows)));
  }
  return NandAddResult::kAdded;
}

NandDeleteResult DeleteNandParts(Host& host, const std::vector<std::size_t>& selectedRows) {
  const std::filesystem::path path = NandTablePath(host);
  std::vector<std::uint8_t> table;
  switch (ReadNandTableFile(path, table)) {
    case NandTableFileRead::kMissing:
      ShowInDialog(host, kTextTableMissing);
      return NandDeleteResult::kNoTable;
    case NandTableFileRead::kUnreadable:
      ShowInDialog(host, kTextTableReadFailed);
      return NandDeleteResult::kReadFailed;
    case NandTableFileRead::kRead:
      break;
  }
  if (table.empty()) {
    ShowInDialog(host, kTextTableReadFailed);
    return NandDeleteResult::kReadFailed;
  }
  if (selectedRows.empty()) return NandDeleteResult::kNothingSelected;

  std::vector<NandPartRecord> records;
  for (std::size_t i = 0; i < NandPartCount(table); ++i) records.push_back(ParseNandPart(table, i));
  // Last to first, so that removing a row does not move the rows still to be removed.
  std::vector<std::size_t> doomed = selectedRows;
  std::sort(doomed.begin(), doomed.end(), std::greater<>());
  doomed.erase(std::unique(doomed.begin(), doomed.end()), doomed.end());
  for (const std::size_t row : doomed) {
    // A list older than the file may select rows the file no longer has.
    if (row < records.size()) records.erase(records.begin() + static_cast<std::ptrdiff_t>(row));
  }

  std::vector<std::uint8_t> kept;
  kept.reserve(records.size() * kNandPartRecordSize);
  for (const NandPartRecord& record : records) {
    const NandPartBytes bytes = SerializeNandPart(record);
    kept.insert(kept.end(), bytes.begin(), bytes.end());
  }
  if (!ReplaceNandTableFile(path, kept)) {
    ShowInDialog(host, kTextTableWriteFailed);
    return NandDeleteResult::kWriteFailed;
  }
  return NandDeleteResult::kDeleted;
}

}  // namespace korvex
