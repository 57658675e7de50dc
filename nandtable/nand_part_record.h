#pragma once
// One 64-byte record of the NAND parameter table: sixteen little-endian 32-bit words.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace korvex {

inline constexpr std::size_t kNandPartRecordSize = 64;
inline constexpr std::size_t kNandPartWordCount = 16;

// Word numbers of the fields the station reads.
enum NandPartWord : std::size_t {
  kWordMainId = 0,       // maker code * 256 + device code
  kWordExtId = 1,        // 3rd | 4th << 8 | 5th << 16; 0 makes a wildcard row
  kWordPageSize = 9,     // bytes
  kWordBlockSize = 10,   // bytes
  kWordSpareSize = 11,   // OOB bytes per page
  kWordRowCycles = 12,
  kWordGoodBlocks = 13,
  kWordTotalBlocks = 14,
  kWordNameRef = 15,     // which built-in part name the row shows
};

struct NandPartRecord {
  std::array<std::uint32_t, kNandPartWordCount> words{};

  std::uint32_t mainId() const { return words[kWordMainId]; }
  std::uint32_t extId() const { return words[kWordExtId]; }
  std::uint32_t pageSize() const { return words[kWordPageSize]; }
  std::uint32_t blockSize() const { return words[kWordBlockSize]; }
  std::uint32_t spareSize() const { return words[kWordSpareSize]; }
  std::uint32_t rowCycles() const { return words[kWordRowCycles]; }
  std::uint32_t goodBlocks() const { return words[kWordGoodBlocks]; }
  std::uint32_t totalBlocks() const { return words[kWordTotalBlocks]; }
  std::uint32_t nameRef() const { return words[kWordNameRef]; }
};

using NandPartBytes = std::array<std::uint8_t, kNandPartRecordSize>;

NandPartBytes SerializeNandPart(const NandPartRecord& record);
// Reads record `index` of a table image; the caller ensures it lies wholly inside.
NandPartRecord ParseNandPart(std::span<const std::uint8_t> table, std::size_t index);
// Whole records in a table image; bytes past the last whole record are ignored.
inline std::size_t NandPartCount(std::span<const std::uint8_t> table) {
  return table.size() / kNandPartRecordSize;
}

}  // namespace korvex
