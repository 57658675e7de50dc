#pragma once
// The 88-byte configuration record a board receives before it may touch its NAND.
// Fields are kept as plain members; the bytes on the wire come from
// SerializeBootConfig, which places every field at its offset, little-endian.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace korvex {

inline constexpr std::size_t kBootConfigSize = 88;
inline constexpr std::size_t kFirmwareArgsOffset = 60;  // FirmwareArgs: bytes 60..87
inline constexpr std::size_t kFirmwareArgsSize = 28;

struct BootConfig {
  std::uint32_t reserved0 = 0;          // 0
  std::uint32_t nandBusWidth = 0;       // 4
  std::uint32_t nandRowCycles = 0;      // 8
  std::uint32_t nandPageSize = 0;       // 12
  std::uint32_t nandPagesPerBlock = 0;  // 16
  std::uint32_t nandForceErase = 0;     // 20
  std::uint32_t nandPageNumber = 0;     // 24
  std::uint32_t nandOobSize = 0;        // 28
  std::uint32_t nandEccPos = 0;         // 32
  std::uint32_t nandBadBlockPage = 0;   // 36
  std::uint32_t nandBadBlockPos = 0;    // 40
  std::uint32_t reserved44 = 0;         // 44
  std::uint32_t nandBchBits = 0;        // 48
  std::uint32_t nandWpPin = 0;          // 52
  std::uint32_t nandBlocksPerChip = 0;  // 56
  std::uint32_t cpuId = 0;              // 60  (FirmwareArgs start here)
  std::uint8_t extClk = 0;              // 64
  std::uint8_t cpuMult = 0;             // 65
  std::uint8_t phmDiv = 0;              // 66
  std::uint8_t useUart = 0;             // 67
  std::uint32_t baudRate = 0;           // 68
  std::uint8_t sdramWidth = 0;          // 72
  std::uint8_t sdramBanks = 0;          // 73
  std::uint8_t sdramRowAddr = 0;        // 74
  std::uint8_t sdramColAddr = 0;        // 75
  std::uint8_t sdramIsMobile = 0;       // 76
  std::uint8_t sdramIsBusShare = 0;     // 77
  std::uint8_t bootFlag = 0;            // 78
  std::uint8_t reserved79 = 0;          // 79
  std::uint32_t reserved80 = 0;         // 80
  std::uint32_t reserved84 = 0;         // 84
};

using BootConfigBytes = std::array<std::uint8_t, kBootConfigSize>;

BootConfigBytes SerializeBootConfig(const BootConfig& config);

// One field of the record as the wire sees it, for reports.
struct BootConfigFieldValue {
  std::string_view name;  // the member's name
  std::size_t offset;
  std::size_t size;       // 1 or 4
  std::uint32_t value;
};

// Every field, reserved ones included, in offset order.
std::vector<BootConfigFieldValue> ListBootConfigFields(const BootConfig& config);

}  // namespace korvex
