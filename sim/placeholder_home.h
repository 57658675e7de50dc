#pragma once
// A station home for the simulator: the four model folders with placeholder firmware
// and sample configuration files, plus six sample images to burn. Everything is
// generated, the same bytes on every run, so nothing binary needs to be kept anywhere.
//
//   <home>/7120/  fw.bin korvex.bin Korvex2K.cfg Korvex4K.cfg   (NAND-only grammar)
//   <home>/7130/, 7135/, 7105B/  the same files                (full grammar)
//   <home>/images/  nand.bin loader.bin def_boot.bin img_boot.bin minios.bin res.bin

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::sim {

inline constexpr std::size_t kPlaceholderStage1Bytes = 4 * 1024;
inline constexpr std::size_t kPlaceholderStage2Bytes = 256 * 1024;

// The text of the sample Korvex2K.cfg (pages4K false) or Korvex4K.cfg of a model 0..3.
// Models 1..3 use the full grammar; model 0's clocks and SDRAM are fixed, so its files
// have a [NAND] section only.
std::string SampleConfigText(int model, bool pages4K);

// The sample images: sizes of real jobs that fit their zones with 2048-byte pages and
// some bad blocks, none a whole number of 128 KiB blocks, so the last write of each
// image is a partial one. nand.bin leaves pages 61..63 blank (0xFF): the station
// programs its identity pages there after the image, and programming only clears bits.
struct SampleImage {
  std::string_view name;
  std::size_t bytes;
  std::size_t blankOffset = 0;  // a range left 0xFF
  std::size_t blankBytes = 0;
};
inline constexpr std::array<SampleImage, 6> kSampleImages{{
    {"nand.bin", 1536 * 1024 + 12345, 61 * 2048, 3 * 2048},
    {"loader.bin", 300 * 1024},
    {"def_boot.bin", 200 * 1024},
    {"img_boot.bin", 3 * 1024 * 1024 + 777},
    {"minios.bin", 4 * 1024 * 1024 + 4321},
    {"res.bin", 8 * 1024 * 1024 + 54321},
}};
inline constexpr std::string_view kSampleImagesFolder = "images";

// An ASCII line naming the image ("KORVEX SAMPLE IMAGE nand.bin\n"), then pseudo-random
// bytes seeded by the name.
std::vector<std::uint8_t> SampleImageBytes(const SampleImage& image);

// Writes (or overwrites) the whole home. False with a sentence in `error` when a folder
// or file cannot be written.
bool WritePlaceholderHome(const std::filesystem::path& home, std::string& error);
// Only one model's folder (model 0..3), the same way.
bool WritePlaceholderModelFolder(const std::filesystem::path& home, int model, std::string& error);

}  // namespace korvex::sim
