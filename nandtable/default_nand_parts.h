#pragma once
// The built-in list of known NAND parts, written out as nand_cfg.bin when the station
// finds no table file.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "nandtable/nand_part_record.h"

namespace korvex {

inline constexpr std::size_t kDefaultNandPartCount = 92;
inline constexpr std::size_t kDefaultNandTableSize = kDefaultNandPartCount * kNandPartRecordSize;

extern const std::array<NandPartRecord, kDefaultNandPartCount> kDefaultNandParts;

// The table file image of kDefaultNandParts, record after record.
std::vector<std::uint8_t> DefaultNandTableBytes();

// The built-in part name a name reference (word 15) stands for, if any. References
// are 0x4E000000 | the name's place in a fixed, append-only list of the built-in names;
// 0, which added records carry, and every other value name nothing.
std::optional<std::string_view> NandPartName(std::uint32_t nameRef);

}  // namespace korvex
