#include "sim/sim_chips.h"

#include <cstdio>

namespace korvex::sim {
namespace {

constexpr std::uint32_t kKiB = 1024;

// Page data bytes, block bytes, spare bytes per page, blocks: each part's data sheet.
// TC58NVG1S3E is a chip the station's built-in table does not know, so a rehearsal can
// show the station's answer to an unknown chip.
constexpr SimChip kChips[] = {
    {"ECD3:589551", "Samsung K9K8G08U0A", {0xEC, 0xD3, 0x51, 0x95, 0x58}, {2048, 128 * kKiB, 64, 8192}},
    {"ECD5:74B614", "Samsung K9GAG08U0M", {0xEC, 0xD5, 0x14, 0xB6, 0x74}, {4096, 512 * kKiB, 128, 4096}},
    {"ECD7:78B655", "Samsung K9LBG08U0M", {0xEC, 0xD7, 0x55, 0xB6, 0x78}, {4096, 512 * kKiB, 128, 8192}},
    {"ADD3:34A514", "Hynix HY27UT088G2A", {0xAD, 0xD3, 0x14, 0xA5, 0x34}, {2048, 256 * kKiB, 64, 4096}},
    {"2CD7:843E94", "Micron MT29F32G08CBAAA", {0x2C, 0xD7, 0x94, 0x3E, 0x84}, {4096, 512 * kKiB, 218, 8192}},
    {"98DA:761590", "Toshiba TC58NVG1S3E", {0x98, 0xDA, 0x90, 0x15, 0x76}, {2048, 128 * kKiB, 64, 2048}},
};

constexpr std::uint32_t HexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<std::uint32_t>(c - 'A' + 10);
  return 0x100;  // poisons the value: no key may hold anything else
}

constexpr std::uint32_t HexValue(std::string_view text) {
  std::uint32_t value = 0;
  for (const char c : text) value = value * 16 + HexDigit(c);
  return value;
}

// A key is typed by hand from the ID bytes; the two must name the same chip.
constexpr bool KeysMatchIdBytes() {
  for (const SimChip& chip : kChips) {
    const std::size_t colon = chip.key.find(':');
    if (colon == std::string_view::npos) return false;
    if (HexValue(chip.key.substr(0, colon)) != chip.mainId()) return false;
    if (HexValue(chip.key.substr(colon + 1)) != chip.extId()) return false;
  }
  return true;
}
static_assert(KeysMatchIdBytes(), "a chip's key does not spell its ID bytes");

}  // namespace

std::span<const SimChip> SimChips() { return kChips; }

const SimChip* FindSimChip(std::uint16_t mainId, std::uint32_t extId) {
  for (const SimChip& chip : kChips) {
    if (chip.mainId() == mainId && chip.extId() == extId) return &chip;
  }
  return nullptr;
}

std::string UnknownSimChipText(std::uint16_t mainId, std::uint32_t extId) {
  char keys[32];
  std::snprintf(keys, sizeof keys, "%04X:%X", static_cast<unsigned>(mainId), static_cast<unsigned>(extId));
  std::string text = "no simulated chip " + std::string(keys) + " (known:";
  for (const SimChip& chip : kChips) {
    text += ' ';
    text += chip.key;
  }
  return text + ")";
}

}  // namespace korvex::sim
