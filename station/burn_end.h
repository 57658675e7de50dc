#pragma once
// How a board's job ended. The codes are stable: records, reports and the console's
// JSON keep them, so a new way to end gets a new code and no code changes meaning.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace korvex {

enum class BurnEnd : std::int32_t {
  kNone = 0,         // not ended (or never started)
  kBurned,           // every image, the identity pages and the reset went through
  kBootFailed,       // the two-stage boot or its configuration record failed
  kConfigFailed,     // a configuration record before an image was refused
  kChipUnknown,      // no usable row for the chip in nand_cfg.bin
  kGeometryRefused,  // the chip's blocks do not fit one write or a zone
  kNoImage,          // nothing included, or every path empty
  kOpenFailed,       // an image file could not be opened or read
  kZoneFull,         // a zone ran out of good blocks
  kWriteError,       // an identity page was not written
  kCpuMismatch,      // the board answered as a model the station cannot burn
  kLinkLost,         // an exchange failed at the host: the board went away
  kUnplugged,        // the station noticed the board was gone
  kInterrupted,      // the station was closed while the board was burning
  kVerifyMismatch,   // a block read back differs from what was written
  kImageChanged,     // an image is no longer the job's: nothing was written
  kHookRefused,      // the job's hook_before said no or did not answer: nothing was written
};

inline constexpr std::array<std::string_view, 17> kBurnEndCodes{
    "none",         "burned",      "boot-failed", "config-failed", "chip-unknown",
    "geometry",     "no-image",    "open-failed", "zone-full",     "write-error",
    "cpu-mismatch", "link-lost",   "unplugged",   "interrupted",   "verify-mismatch",
    "image-changed", "hook-refused"};

// For people: the report's legend and tables, and a record's explanation when the
// burn had nothing of its own to say.
inline constexpr std::array<std::string_view, kBurnEndCodes.size()> kBurnEndLabels{
    "Not ended",
    "Burned",
    "Board did not boot",
    "Board refused its configuration",
    "NAND chip not in the table",
    "Chip geometry not burnable",
    "No image to write",
    "Image file could not be opened",
    "Image zone full of bad blocks",
    "Identity page not written",
    "Board is another model",
    "USB link lost",
    "Board unplugged during the burn",
    "Station closed during the burn",
    "Read-back differs from the image",
    "Image differs from the job's",
    "Refused by the job's hook"};

constexpr std::string_view BurnEndCode(BurnEnd end) {
  return kBurnEndCodes[static_cast<std::size_t>(end)];
}
constexpr std::string_view BurnEndLabel(BurnEnd end) {
  return kBurnEndLabels[static_cast<std::size_t>(end)];
}
constexpr std::optional<BurnEnd> BurnEndFromCode(std::string_view code) {
  for (std::size_t i = 0; i < kBurnEndCodes.size(); ++i) {
    if (kBurnEndCodes[i] == code) return static_cast<BurnEnd>(i);
  }
  return std::nullopt;
}

}  // namespace korvex
