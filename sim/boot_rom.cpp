#include "sim/boot_rom.h"

#include <array>
#include <stdexcept>
#include <string>

namespace korvex::sim {
namespace {

// Model 2 has no ROM name of its own in the station's boot table; it is a Qx7130
// derivative and answers like one, so the station records cpuId 0x7130 for it.
constexpr std::array<BootModel, 4> kBootModels{{
    {"QX7120V1", 0x80000000, 0x81D00000, false},
    {"QX7130V1", 0x80002000, 0x80900000, true},
    {"QX7130V1", 0x80002000, 0x80900000, true},
    {"QX7105B1", 0x80002000, 0x80900000, true},
}};

// Offsets inside FirmwareArgs (record offset - 60).
constexpr std::size_t kExtClk = 4, kCpuMult = 5, kPhmDiv = 6, kSdramWidth = 12, kSdramBanks = 13,
                      kRowAddr = 14, kColAddr = 15, kIsMobile = 16, kIsBusShare = 17;
constexpr unsigned kMaxCpuMhz = 400;

}  // namespace

const BootModel& BootModelOf(int model) {
  if (model < 0 || model >= static_cast<int>(kBootModels.size())) {
    throw std::out_of_range("board model " + std::to_string(model) + " is unknown");
  }
  return kBootModels[static_cast<std::size_t>(model)];
}

std::uint64_t SdramBytesFromFirmwareArgs(std::span<const std::uint8_t, kFirmwareArgsBytes> args) {
  const unsigned extClk = args[kExtClk];
  const unsigned cpuMhz = extClk * args[kCpuMult];
  const bool clocks = extClk >= 12 && extClk <= 27 && cpuMhz > 0 && cpuMhz % 12 == 0 &&
                      cpuMhz <= kMaxCpuMhz && args[kPhmDiv] >= 1 && args[kPhmDiv] <= 32;
  const bool flags = args[kSdramWidth] <= 1 && args[kSdramBanks] <= 1 && args[kIsMobile] <= 1 &&
                     args[kIsBusShare] <= 1;
  const unsigned row = args[kRowAddr];
  const unsigned col = args[kColAddr];
  const bool geometry = row >= 11 && row <= 13 && col >= 8 && col <= 11;
  if (!clocks || !flags || !geometry) return 0;
  return (std::uint64_t{1} << (row + col)) * (2u - args[kSdramWidth]) * (args[kSdramBanks] + 1u) *
         4u;
}

}  // namespace korvex::sim
