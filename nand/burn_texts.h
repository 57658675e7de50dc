#pragma once
// Texts of the burn and the read-back, each defined once: message boxes an operator
// must answer, and the production-log lines of a board (each written behind the
// board's unique-ID text). Lines with %d are format strings of page numbers.

#include <array>
#include <string_view>

#include "station/port_context.h"

namespace korvex {

// Message boxes.
inline constexpr std::string_view kTextDownloadFailed = "API_DwondLoad_FW faileed!";
inline constexpr std::string_view kTextChipUnknown = "Please check nand_cfg.h file!";
inline constexpr std::string_view kTextNoImageIncluded = "USB 0::Please choose one file!";
inline constexpr std::string_view kTextAllPathsEmpty = "USB 0::Make sure that you choose a file!";
inline constexpr std::string_view kTextRealGeometryForEraseFailed =
    "Set flash real parameter error!";
inline constexpr std::string_view kTextImageConfigureFailed = "API init nand.bin error!";
inline constexpr std::string_view kTextOpenDeviceFailed = "Open Device file!";
// %u block bytes, %u page bytes.
inline constexpr std::string_view kTextGeometryNotBurnable =
    "NAND block of %u bytes (pages of %u bytes) is not burnable: one write carries at most "
    "1048576 bytes and every zone must hold a whole block. Nothing was erased.";
// %s image file name, %u page.
inline constexpr std::string_view kTextVerifyFailed =
    "%s verify failed: page %u reads back different from what was written!";
// %s image file name, %llu its size now.
inline constexpr std::string_view kTextImageOutgrewZone =
    "%s grew to %llu bytes after the start; it no longer fits its zone";
inline constexpr std::string_view kTextReadBackLinkLost =
    "Read back stopped: the board was disconnected.";

// Log lines.
inline constexpr std::string_view kLogEraseNand = ": erase nand!";
inline constexpr std::string_view kLogSystemReset = ": system reset!";
// %s image file name, %d page.
inline constexpr std::string_view kLogVerifyFailed = ": %s verify Error at page %d!";
// A board gone during a step that is no image's: erase, format or reset.
inline constexpr std::string_view kLogBoardDisconnected = ": board disconnected!";
inline constexpr std::string_view kLogInfo1Written = ": Write nand ifo1 to page %d finished!";
inline constexpr std::string_view kLogInfo2Written = ": Write nand info2 to page %d finished!";
inline constexpr std::string_view kLogUidWritten = ": Write UID to page %d finished!";
inline constexpr std::string_view kLogIdentityPageFailed = ": Write UID to page %d Error!";
inline constexpr std::string_view kLogLoaderErrorRange = ": ERROR:loader.bin Page from %d to %d.";

struct ImageLogTexts {
  std::string_view unplugged;
  std::string_view openFailed;
  std::string_view writeError;
  std::string_view succeeded;
  std::string_view pageRange;  // start page, nandEnd
};

// Indexed by ImageId.
inline constexpr std::array<ImageLogTexts, kImageCount> kImageLogTexts{{
    {": nand.bin disconnected!", ": Open nand.bin failure!", ": nand.bin write Error!",
     ": Update nand.bin succeeded!", ": nand.bin Page from %d to %d."},
    {": loader.bin disconnected!", ": Open loader.bin failure!", ": loader.bin write Error!",
     ": Update loader.bin succeeded!", ": loader.bin Page from %d to %d."},
    {": def_boot.bin disconnected!", ": Open def_boot.bin failure!", ": def_boot.bin write Error!",
     ": Update def_boot.bin succeeded!", ": def_boot.bin Page from %d to %d."},
    {": img_boot.bin disconnected!", ": Open img_boot.bin failure!", ": img_boot.bin write Error!",
     ": Update img_boot.bin succeeded!", ": img_boot.bin Page from %d to %d."},
    {": minios.bin disconnected!", ": Open minios.bin failure!", ": minios.bin write Error!",
     ": Update minios.bin succeeded!", ": minios.bin Page from %d to %d."},
    {": res.bin disconnected!", ": Open res.bin failure!", ": res.bin write Error!",
     ": Update res.bin succeeded!", ": res.bin Page from %d to %d."},
}};

}  // namespace korvex
