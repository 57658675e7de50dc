#pragma once
// The NAND parameter table: the file nand_cfg.bin beside the program, its creation
// from the built-in parts, and the lookup that turns a chip's ID into the geometry a
// burn needs. Nothing is cached: every call opens, reads and closes the file, so an
// edit in the table dialog takes effect at the next lookup.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

#include "device/device_session.h"
#include "host/host.h"

namespace korvex {

inline constexpr std::string_view kNandTableFileName = "nand_cfg.bin";

// The table file: the program's folder followed by nand_cfg.bin.
std::filesystem::path NandTablePath(Host& host);

// Start-up: true when the table file exists (its contents are not examined) or has
// just been written from kDefaultNandParts. When it cannot be created, shows
// kTextTableCreateFailed with the system's default caption and returns false; the
// station then ends.
bool EnsureNandTable(Host& host);

struct NandGeometry {
  std::uint32_t pageSize = 0;
  std::uint32_t blockSize = 0;  // bytes
  std::uint32_t spareSize = 0;
  std::uint32_t rowCycles = 0;
  std::uint32_t goodBlocks = 0;
  std::uint32_t totalBlocks = 0;

  bool operator==(const NandGeometry&) const = default;
};

enum class NandMatchOutcome {
  kFound,
  kTooManyMatches,  // matches not below the record count; also every empty table
  kNoMatch,
};

struct NandMatch {
  NandMatchOutcome outcome = NandMatchOutcome::kNoMatch;
  std::size_t recordCount = 0;  // whole records in the table
  std::size_t matches = 0;      // wildcard rows counted plus the exact row, if any
  std::size_t stopIndex = 0;    // the exact row, or recordCount after a full scan
  std::optional<std::size_t> chosenRow;  // the record the geometry comes from
  NandGeometry geometry;                 // zeros when nothing matched
};

// Finds the record for a chip in a table image. Rows with the chip's main ID are taken
// in file order: a wildcard row (ext ID 0) becomes the candidate and the scan goes on,
// so a later wildcard replaces an earlier one; the first row whose ext ID (low 24 bits)
// equals the chip's wins and ends the scan.
NandMatch MatchNandPart(std::span<const std::uint8_t> table, std::uint16_t mainId,
                        std::uint32_t extId);

// The lookup after the chip's ID has been read: finds the record in the table file and
// writes its geometry into the session (is2KPage: 1 for 2048-byte pages, 0 for 4096,
// unchanged otherwise). Shows a message on the session's port and returns false on
// every failure; a zero page or block size is written before it is reported.
bool LookupNandPartWithId(DeviceSession& session, std::uint16_t mainId, std::uint32_t extId);

}  // namespace korvex
