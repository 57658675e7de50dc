#include "nandtable/nand_cfg.h"

#include <system_error>
#include <vector>

#include "host/paths.h"
#include "nandtable/default_nand_parts.h"
#include "nandtable/nand_part_record.h"
#include "nandtable/nand_table_file.h"
#include "nandtable/nand_table_io.h"
#include "nandtable/nand_table_texts.h"

namespace korvex {

namespace {

constexpr std::uint32_t kExtIdMask = 0xFFFFFF;  // bits 24-31 of word 1 are not compared
constexpr std::uint32_t kPageSize2K = 2048;
constexpr std::uint32_t kPageSize4K = 4096;

NandGeometry GeometryOf(const NandPartRecord& record) {
  return {record.pageSize(),  record.blockSize(),  record.spareSize(),
          record.rowCycles(), record.goodBlocks(), record.totalBlocks()};
}

void ShowOnPort(DeviceSession& session, std::string_view text) {
  session.ShowBox(text, kApplicationCaption);
}

}  // namespace

std::filesystem::path NandTablePath(Host& host) {
  return ProgramDir(host) / PathFromUtf8(kNandTableFileName);
}

bool EnsureNandTable(Host& host) {
  const std::filesystem::path path = NandTablePath(host);
  std::error_code error;
  if (std::filesystem::exists(path, error)) return true;

  // Written whole or not at all: a table cut short by a full disk would pass for one.
  if (!ReplaceNandTableFile(path, DefaultNandTableBytes())) {
    host.ShowMessageBox({kTextTableCreateFailed, kSystemDefaultCaption, MessageButtons::Ok});
    return false;
  }
  return true;
}

NandMatch MatchNandPart(std::span<const std::uint8_t> table, std::uint16_t mainId,
                        std::uint32_t extId) {
  NandMatch match;
  match.recordCount = NandPartCount(table);
  std::size_t i = 0;
  for (; i < match.recordCount; ++i) {
    const NandPartRecord record = ParseNandPart(table, i);
    if (record.mainId() != mainId) continue;
    if (record.extId() == 0) {
      match.geometry = GeometryOf(record);
      match.chosenRow = i;
      ++match.matches;
      continue;
    }
    if ((record.extId() & kExtIdMask) == extId) {
      match.geometry = GeometryOf(record);
      match.chosenRow = i;
      ++match.matches;
      break;
    }
  }
  match.stopIndex = i;
  // When every record is a candidate for the chip (an empty or one-record table
  // included) the file is not a part list that tells parts apart; refuse it.
  if (match.matches >= match.recordCount) {
    match.outcome = NandMatchOutcome::kTooManyMatches;
  } else if (match.matches == 0) {
    match.outcome = NandMatchOutcome::kNoMatch;
  } else {
    match.outcome = NandMatchOutcome::kFound;
  }
  return match;
}

bool LookupNandPartWithId(DeviceSession& session, std::uint16_t mainId, std::uint32_t extId) {
  const std::filesystem::path path = NandTablePath(session.host());
  std::vector<std::uint8_t> table;
  switch (ReadNandTableFile(path, table)) {
    case NandTableFileRead::kMissing:
      ShowOnPort(session, kTextTableNotFound);
      return false;
    case NandTableFileRead::kUnreadable:
      ShowOnPort(session, kTextTableReadFailed);
      return false;
    case NandTableFileRead::kRead:
      break;
  }
  if (table.empty()) {
    ShowOnPort(session, kTextTableReadFailed);
    return false;
  }

  const NandMatch match = MatchNandPart(table, mainId, extId);
  switch (match.outcome) {
    case NandMatchOutcome::kTooManyMatches:
      ShowOnPort(session, PrintfText(kFormatTooManyMatches, static_cast<int>(match.recordCount),
                                     static_cast<int>(match.matches), unsigned{mainId},
                                     unsigned{extId}, static_cast<int>(match.stopIndex)));
      return false;
    case NandMatchOutcome::kNoMatch:
      ShowOnPort(session, PrintfText(kFormatUnknownChip, unsigned{mainId}, unsigned{extId}));
      return false;
    case NandMatchOutcome::kFound:
      break;
  }

  session.chipPart.Assign(
      NandPartName(ParseNandPart(table, *match.chosenRow).nameRef()).value_or(std::string_view{}));
  session.spareSize = match.geometry.spareSize;
  session.rowCycles = match.geometry.rowCycles;
  session.pageSize = match.geometry.pageSize;
  session.blockSize = match.geometry.blockSize;
  session.goodBlocks = match.geometry.goodBlocks;
  session.totalBlocks = match.geometry.totalBlocks;
  // The flag picks the 2K or 4K boot configuration; other page sizes have neither, so
  // the flag keeps what the port set before the open.
  if (session.pageSize == kPageSize2K) {
    session.is2KPage = 1;
  } else if (session.pageSize == kPageSize4K) {
    session.is2KPage = 0;
  }
  if (session.blockSize == 0 || session.pageSize == 0) {
    ShowOnPort(session, PrintfText(kFormatBadGeometry, unsigned{session.blockSize},
                                   unsigned{session.pageSize}));
    return false;
  }
  return true;
}

}  // namespace korvex
