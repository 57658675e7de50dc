#pragma once
// How each simulated SoC model boots: what its boot ROM and stage 1 answer and which
// downloads they take. The numbers are the board's own; the station computes its
// addresses independently and must arrive at the same ones.

#include <cstdint>
#include <span>
#include <string_view>

namespace korvex::sim {

struct BootModel {
  std::string_view romText;      // request 0 in the boot ROM and while stage 1 runs
  std::uint32_t stage1Address;   // the one load and start address of stage 1
  std::uint32_t stage2Address;   // the one load and start address of stage 2
  bool stage1ReadsFirmwareArgs;  // models 1..3; model 0's stage 1 has fixed settings
};

// Model 0..3; throws std::out_of_range for another.
const BootModel& BootModelOf(int model);

// On-chip memory takes a stage 1 of at most this many bytes.
inline constexpr std::uint32_t kBootRomMaxImage = 16384;
inline constexpr std::uint64_t kSdramBase = 0x80000000;
// Model 0's stage 1 brings up a fixed 32 MiB.
inline constexpr std::uint64_t kModel0SdramBytes = 32ull * 1024 * 1024;
inline constexpr std::size_t kFirmwareArgsBytes = 28;

// Stage 1 of models 1..3 reading the 28 FirmwareArgs bytes at image offset 8: the SDRAM
// size it brings up, 2^(row + col) x (2 - width) x (banks + 1) x 4 bytes, or 0 when the
// settings are implausible and SDRAM stays off. Plausible means:
//   12 <= extClk <= 27; cpuMult >= 1, extClk x cpuMult a multiple of 12 and <= 400 MHz;
//   1 <= phmDiv <= 32; sdramWidth, sdramBanks, sdramIsMobile, sdramIsBusShare <= 1;
//   11 <= sdramRowAddr <= 13; 8 <= sdramColAddr <= 11.
std::uint64_t SdramBytesFromFirmwareArgs(std::span<const std::uint8_t, kFirmwareArgsBytes> args);

}  // namespace korvex::sim
