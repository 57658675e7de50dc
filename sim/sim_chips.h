#pragma once
// The NAND chips a simulated board can carry, written from their data sheets. The
// simulator keeps its own list rather than reading the station's part table, so a
// wrong row or word index on the station's side shows as a disagreement in the tests
// instead of being mirrored by the boards.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "sim/board_setup.h"

namespace korvex::sim {

struct SimChip {
  std::string_view key;                  // MAIN:EXT as --sim-chip takes it
  std::string_view part;                 // the maker's part number
  std::array<std::uint8_t, 5> idBytes;   // read-ID bytes: maker, device, 3rd, 4th, 5th
  ChipGeometry geometry;

  constexpr std::uint16_t mainId() const { return static_cast<std::uint16_t>(idBytes[0] << 8 | idBytes[1]); }
  constexpr std::uint32_t extId() const {
    return idBytes[2] | std::uint32_t{idBytes[3]} << 8 | std::uint32_t{idBytes[4]} << 16;
  }
};

std::span<const SimChip> SimChips();

// The chip with exactly these keys; nullptr for a chip the simulator does not emulate.
const SimChip* FindSimChip(std::uint16_t mainId, std::uint32_t extId);

// "no simulated chip 1234:56 (known: ECD3:589551 ...)", for an option or a Plug.
std::string UnknownSimChipText(std::uint16_t mainId, std::uint32_t extId);

}  // namespace korvex::sim
