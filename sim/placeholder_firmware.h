#pragma once
// Stand-ins for fw.bin and korvex.bin that only the simulated boards run. The real
// images are board firmware we do not ship; these carry a header that says in plain
// ASCII what they are, and the simulated boot ROM and stage 1 start nothing else.
//
// Layout (all offsets in bytes):
//   0..7    magic: "KVXSIM1\0" for stage 1, "KVXSIM2\0" for stage 2
//   8..35   the FirmwareArgs slot: zero in the file, the station writes into it
//   36..43  model folder the image belongs to, NUL-padded ("7130\0\0\0\0")
//   44..95  kPlaceholderNotice, NUL-padded
//   96..    deterministic filler, so an image has a realistic size

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace korvex::sim {

enum class FirmwareStage { Stage1, Stage2 };

inline constexpr std::string_view kPlaceholderStage1Magic{"KVXSIM1\0", 8};
inline constexpr std::string_view kPlaceholderStage2Magic{"KVXSIM2\0", 8};
inline constexpr std::string_view kPlaceholderNotice =
    "KORVEX SIMULATOR PLACEHOLDER - NOT BOARD FIRMWARE";
inline constexpr std::size_t kPlaceholderArgsOffset = 8;
inline constexpr std::size_t kPlaceholderModelOffset = 36;
inline constexpr std::size_t kPlaceholderModelSize = 8;
inline constexpr std::size_t kPlaceholderNoticeOffset = 44;
inline constexpr std::size_t kPlaceholderHeaderSize = 96;

// The placeholder of `stage` for `model` (0..3), `size` bytes; a size below the header
// gives the header cut short, which no board accepts.
std::vector<std::uint8_t> MakePlaceholderFirmware(FirmwareStage stage, int model, std::size_t size);

// Whether `image` is the placeholder of that stage for that model: the whole header
// except the FirmwareArgs slot must match. The filler is not looked at.
bool IsPlaceholderFirmware(std::span<const std::uint8_t> image, FirmwareStage stage, int model);

}  // namespace korvex::sim
