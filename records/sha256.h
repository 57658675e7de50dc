#pragma once
// SHA-256 of the images a board was burned with, so a record says exactly which
// bytes went in. Files are hashed in chunks; eight workers burning the same images
// share one digest per file through the cache.

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
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
  void Block(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t totalBytes_ = 0;
};

// Size and digest of a whole file; false when it cannot be opened or read.
bool HashFile(const std::filesystem::path& file, std::uint64_t& size, Sha256Digest& digest);

// Fills the image's size, digest and `hashed` from its file through the cache.
class ImageDigestCache {
 public:
  void Fill(ImageRecord& image);

 private:
  struct Entry {
    std::filesystem::file_time_type modified;
    std::uint64_t size = 0;
    Sha256Digest digest{};
  };
  std::mutex mutex_;
  std::map<std::string, Entry, std::less<>> entries_;  // by the file's text as given
};

}  // namespace korvex
