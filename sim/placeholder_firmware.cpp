#include "sim/placeholder_firmware.h"

#include <algorithm>

#include "sim/sim_models.h"

namespace korvex::sim {
namespace {

std::vector<std::uint8_t> Header(FirmwareStage stage, int model) {
  std::vector<std::uint8_t> header(kPlaceholderHeaderSize, 0);
  const std::string_view magic =
      stage == FirmwareStage::Stage1 ? kPlaceholderStage1Magic : kPlaceholderStage2Magic;
  std::copy(magic.begin(), magic.end(), header.begin());
  const std::string_view folder = SimModelFolder(model);
  const std::size_t n = std::min(folder.size(), kPlaceholderModelSize);
  std::copy_n(folder.begin(), n, header.begin() + kPlaceholderModelOffset);
  std::copy(kPlaceholderNotice.begin(), kPlaceholderNotice.end(),
            header.begin() + kPlaceholderNoticeOffset);
  return header;
}

}  // namespace

std::vector<std::uint8_t> MakePlaceholderFirmware(FirmwareStage stage, int model,
                                                  std::size_t size) {
  std::vector<std::uint8_t> image = Header(stage, model);
  image.resize(size, 0);
  // A fixed linear congruential filler: the same bytes on every platform and run.
  std::uint32_t state = 0x4B565800u + (stage == FirmwareStage::Stage1 ? 1u : 2u) * 16u +
                        static_cast<std::uint32_t>(model);
  for (std::size_t i = kPlaceholderHeaderSize; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    image[i] = static_cast<std::uint8_t>(state >> 24);
  }
  return image;
}

bool IsPlaceholderFirmware(std::span<const std::uint8_t> image, FirmwareStage stage, int model) {
  if (SimModelFolder(model).empty() || image.size() < kPlaceholderHeaderSize) return false;
  const std::vector<std::uint8_t> header = Header(stage, model);
  const auto same = [&](std::size_t from, std::size_t to) {
    return std::equal(header.begin() + static_cast<std::ptrdiff_t>(from),
                      header.begin() + static_cast<std::ptrdiff_t>(to),
                      image.begin() + static_cast<std::ptrdiff_t>(from));
  };
  return same(0, kPlaceholderArgsOffset) && same(kPlaceholderModelOffset, kPlaceholderHeaderSize);
}

}  // namespace korvex::sim
