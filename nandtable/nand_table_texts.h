#pragma once
// Every text the NAND parameter table shows, defined once. The messages with printf
// conversions are format strings; they are filled in with snprintf so that "%#x"
// prints exactly as the operators know it (0 as "0", others as "0x..").

#include <string_view>

namespace korvex {

// Caption of the station's own message boxes.
inline constexpr std::string_view kApplicationCaption = "Korvex";
// An empty caption asks the host for the system's default one.
inline constexpr std::string_view kSystemDefaultCaption = "";

// Start-up.
inline constexpr std::string_view kTextTableCreateFailed = "建立nandflash信息列表失败";

// Lookup before a burn or read-back.
inline constexpr std::string_view kTextTableNotFound = "找不到nand_cfg.bin!!!";
inline constexpr std::string_view kTextTableReadFailed = "读取nand_cfg.bin失败!!!";
// Arguments: record count, matches, main ID, ext ID, index where the scan stopped.
inline constexpr std::string_view kFormatTooManyMatches =
    "k = %d, IDCounter = %d, dwNandID = %#x, dwNandExtID = %#x, i = %d.";
// Arguments: main ID, ext ID.
inline constexpr std::string_view kFormatUnknownChip =
    "Flash: ID=%#x, ExtID=%#x. Use default para burning!";
// Arguments: block size, page size.
inline constexpr std::string_view kFormatBadGeometry =
    "ERROR:BlockSize = %#x, nandpagesize = %#x.";

// The table dialog.
inline constexpr std::string_view kTextTableMissing = "nand_cfg.bin不存在!!";
inline constexpr std::string_view kTextTableListReadFailed = "nand_cfg.bin读取失败!!";
inline constexpr std::string_view kTextTableWriteFailed = "写nand_cfg.bin失败!!!";
// Add refusing a row the station could not burn: the reason fills the sentence.
inline constexpr std::string_view kFormatRecordNotAdded = "The record was not added: %s.";
// Arguments: page size.
inline constexpr std::string_view kFormatPageSizeNotBurnable =
    "page size %u is not a power of two from 512 to 16384 bytes";
// Arguments: block KiB.
inline constexpr std::string_view kFormatBlockOverOneWrite =
    "a block of %llu KiB is more than the 1024 KiB one write carries";
// Arguments: block KiB, page size.
inline constexpr std::string_view kFormatBlockNotWholePages =
    "a block of %llu KiB is not a whole number of %u-byte pages";
// Arguments: pages per block.
inline constexpr std::string_view kFormatBlockOverSmallestZone =
    "a block of %llu pages is more than the 256 pages of the smallest image zone";
// Arguments: total blocks (only 1 gives no good block).
inline constexpr std::string_view kFormatNoGoodBlocks =
    "%u block in all leaves no good block (999 of every 1024 count as good)";
// Add after a file cut inside a record. Arguments: bytes dropped, the new row.
inline constexpr std::string_view kFormatPartialRecordDropped =
    "nand_cfg.bin ended in %u bytes of a cut-off record; they were dropped and the new "
    "record added as row %u.";
// The name cell of a record whose name reference names no built-in part.
inline constexpr std::string_view kTextUnnamedPart = "(unnamed)";

inline constexpr std::string_view kTableDialogTitle = "Flash型号参数表";
inline constexpr std::string_view kButtonAdd = "添加";
inline constexpr std::string_view kButtonDelete = "删除";
inline constexpr std::string_view kGroupFields = "参数配置";
inline constexpr std::string_view kGroupList = "支持型号参数表";
inline constexpr std::string_view kLabelName = "Flash型号名称：";
inline constexpr std::string_view kLabelMainId = "主 ID";
inline constexpr std::string_view kLabelExtId = "扩展ID";
inline constexpr std::string_view kLabelPageSize = "页大小";
inline constexpr std::string_view kLabelBlockSize = "块大小";
inline constexpr std::string_view kLabelSpareSize = "Oob区";
inline constexpr std::string_view kLabelTotalBlocks = "总块数";
inline constexpr std::string_view kUnitBytes = "Bytes";
inline constexpr std::string_view kUnitKiB = "K";

// List columns, left to right, with their widths in pixels. Three columns share the
// text of their edit field's label.
inline constexpr std::string_view kColumnName = "型号名称";
inline constexpr std::string_view kColumnMainId = "主ID";
inline constexpr std::string_view kColumnSpareSize = "Oob区大小";
struct NandTableColumn {
  std::string_view title;
  int width;
};
inline constexpr NandTableColumn kNandTableColumns[] = {
    {kColumnName, 90},     {kColumnMainId, 50},    {kLabelExtId, 60},
    {kLabelPageSize, 60},  {kLabelBlockSize, 60},  {kColumnSpareSize, 70},
    {kLabelTotalBlocks, 60},
};

}  // namespace korvex
