#pragma once
// Operator-facing texts of the NAND operations, each quoted once.

#include <string_view>

namespace korvex {

// A CPU model index outside 0..3: no opcode set to speak to its firmware.
inline constexpr std::string_view kCpuIdVersionErrorText = "cpu id version error!";

// An image zone ran out of good blocks before its image was written.
inline constexpr std::string_view kNandZoneUsedUpText =
    "Nand.bin zone have too many bad blocks,Nand is not usable!";
inline constexpr std::string_view kLoaderZoneUsedUpText =
    "Loader.bin zone have too many bad blocks,Nand is not usable!";
// The loader zone found used up by a retry of the image's last, partial block.
inline constexpr std::string_view kLoaderZoneUsedUpInTailRetryText =
    "loader.bin zone have too many bad blocks,Nand is not usable!";
inline constexpr std::string_view kDefBootZoneUsedUpText =
    "def_boot.bin zone have too many bad blocks,Nand is not usable!";
inline constexpr std::string_view kImgBootZoneUsedUpText =
    "img_boot.bin zone have too many bad blocks,Nand is not usable!";
inline constexpr std::string_view kMiniosZoneUsedUpText =
    "minios.bin zone have too many bad blocks,Nand is not usable!";
inline constexpr std::string_view kResZoneUsedUpText =
    "Res.bin zone have too many bad blocks,Nand is not usable!";

}  // namespace korvex
