#pragma once
// The operations of the table dialog "Flash型号参数表", free of any window: the Win32
// dialog and the command line both call them. Each opens, reads or writes and closes
// nand_cfg.bin on its own; the dialog refreshes its list after Add and Delete.
// Messages go to the window's message box (kApplicationCaption, no port).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "nandtable/nand_part_record.h"

namespace korvex {

// Cells of one list row: name, main ID and ext ID in hex, page size, block size in
// KiB, spare bytes and total blocks in decimal (columns of kNandTableColumns).
inline constexpr std::size_t kNandTableColumnCount = 7;
using NandTableRow = std::array<std::string, kNandTableColumnCount>;

NandTableRow NandTableRowOf(const NandPartRecord& record);

enum class NandRefreshResult {
  kListed,
  kNoTable,  // no file; kTextTableMissing shown
  kReadFailed,  // the file is empty; kTextTableListReadFailed shown
  kUnreadable,  // not a regular file, too large or unreadable; kTextTableReadFailed shown
};

// Replaces rows with one row per whole record of the file, in file order; rows stay
// empty on failure.
NandRefreshResult RefreshNandTable(Host& host, std::vector<NandTableRow>& rows);

// The seven edit fields as typed.
struct NandPartFields {
  std::string name;  // up to 20 characters; a record has no room for it, so not stored
  std::string mainId;       // hex, "0x" optional
  std::string extId;        // hex; empty or 0 makes a wildcard row
  std::string pageSize;     // bytes
  std::string blockSize;    // KiB
  std::string spareSize;    // bytes
  std::string totalBlocks;
};

// A field as the C library's strtoul reads it into a 32-bit unsigned long: leading
// blanks skipped, an optional sign, for base 16 an optional "0x", then digits up to
// the first other character. No digits give 0; a value past 32 bits gives 0xFFFFFFFF.
std::uint32_t ParseFieldNumber(std::string_view text, int base);

// Defaults for what the dialog has no field for. Row cycles: 3, as in all but three
// built-in rows. Good blocks: 999 of every 1024, the guarantee most built-in rows
// give (3996 of 4096, 7992 of 8192). Words 2-8 are the part's own data that nothing
// in the station reads; they stay 0. The name reference stays 0, which names no part.
inline constexpr std::uint32_t kAddedRowCycles = 3;
std::uint32_t DefaultGoodBlocks(std::uint32_t totalBlocks);

// The record Add appends for the fields.
NandPartRecord NandPartFromFields(const NandPartFields& fields);

// Geometry the station can burn, as BurnBoard checks it before erasing (nand/ holds
// the same limits and checks them against its own at compile time).
inline constexpr std::uint32_t kMinBurnablePageSize = 512;
inline constexpr std::uint32_t kMaxBurnablePageSize = 16384;
inline constexpr std::uint32_t kMaxBurnableBlockBytes = 0x100000;  // what one write carries
inline constexpr std::uint32_t kMaxBurnablePagesPerBlock = 256;    // the smallest image zone

enum class NandAddResult {
  kAdded,
  // A required field is 0 or has no number; nothing is written and nothing shown.
  kMissingMainId,
  kMissingPageSize,
  kMissingBlockSize,
  kMissingSpareSize,
  kMissingTotalBlocks,
  // Geometry the station could not burn; nothing is written, the reason is shown.
  kPageSizeNotBurnable,    // not a power of two from 512 to 16384
  kBlockOverOneWrite,      // more than kMaxBurnableBlockBytes
  kBlockNotWholePages,
  kBlockOverSmallestZone,  // more than kMaxBurnablePagesPerBlock pages
  kNoGoodBlocks,           // so few blocks that DefaultGoodBlocks gives 0
  kNoTable,   // no file; kTextTableMissing shown
  kReadFailed,   // not a regular file, too large or unreadable; kTextTableReadFailed shown
  kWriteFailed,  // kTextTableWriteFailed shown; the file is as it was
};

struct NandPartCheck {
  NandAddResult result = NandAddResult::kAdded;  // kAdded: nothing to refuse
  std::string reason;  // one line for a geometry refusal, e.g. "page size 3000 is ..."
};

// What Add would refuse about the fields, without touching the file: a missing field
// first (no reason given: the shells name their own field), then the geometry.
NandPartCheck CheckNandPartFields(const NandPartFields& fields);

// Appends the record for the fields after the last whole record, by writing the new
// table beside the file and renaming it over. A record with the keys of an existing
// one is appended all the same: the lookup keeps choosing the earlier exact row. A
// file that ends in part of a record loses that part, and a message says so.
NandAddResult AddNandPart(Host& host, const NandPartFields& fields);

enum class NandDeleteResult {
  kDeleted,
  kNothingSelected,  // the file is left byte for byte as it was
  kNoTable,       // no file; kTextTableMissing shown
  kReadFailed,       // empty, not a regular file, too large or unreadable;
                     // kTextTableReadFailed shown; file unchanged
  kWriteFailed,      // kTextTableWriteFailed shown; the file is as it was
};

// Removes the records shown in the selected list rows (row i shows record i) and
// replaces the file with the rest, in their order, as Add does.
NandDeleteResult DeleteNandParts(Host& host, const std::vector<std::size_t>& selectedRows);

}  // namespace korvex
