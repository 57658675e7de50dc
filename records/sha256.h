#pragma once
// SHA-256 of the images a board was burned with, so a record says exactly which
// bytes went in. Files are hashed in chunks; ImageDigests (records/image_digests.h)
// hashes each image once per run.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

#include "records/board_record.h"

namespace korvex {

class Sha256 {
 public:
  Sha256();
  void Update(std::span<const std::uint8_t> bytes);
  void Update(std::string_view text);
  Sha256Digest Final();  // the object is spent afterwards

 private:
  void Blocks(const std::uint8_t* data, std::size_t count);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t totalBytes_ = 0;
};

// What hashes the blocks: the CPU's SHA instructions where it has them (several times
// faster, and the pre-flight hashes every image of a run), else portable code.
enum class Sha256Engine { kPortable, kCpuInstructions };
Sha256Engine ActiveSha256Engine();
// Makes the engine the one in use; false, changing nothing, when this CPU lacks it.
// For the tests, which run the standard vectors through each.
bool SelectSha256Engine(Sha256Engine engine);

// Size and digest of a whole file; false when it cannot be opened or read.
bool HashFile(const std::filesystem::path& file, std::uint64_t& size, Sha256Digest& digest);

}  // namespace korvex
