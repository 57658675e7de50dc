#pragma once
// Operator-facing texts of the NAND operations, each quoted once.

#include <string_view>

namespace korvex {

// A CPU model index outside 0..3: no opcode set to speak to its firmware.
inline constexpr std::string_view kCpuIdVersionErrorText = "cpu id version error!";

}  // namespace korvex
