#pragma once
// A large byte array that costs memory only where it was written. Unwritten bytes
// read 0xFF, the value of erased NAND, so a fresh multi-gigabyte chip is free.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

namespace korvex::sim {

class SparseStore {
 public:
  static constexpr std::size_t kChunkSize = 64 * 1024;

  void Read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const;
  void Write(std::uint64_t offset, const std::uint8_t* data, std::size_t count);
  // new = old AND data, the only change a NAND program can make.
  void And(std::uint64_t offset, const std::uint8_t* data, std::size_t count);
  void Erase(std::uint64_t offset, std::uint64_t count);  // back to 0xFF
  std::size_t ChunkCount() const { return chunks_.size(); }
  // Every chunk that holds a byte other than 0xFF, by offset: what the store holds,
  // without the bytes that read 0xFF anyway.
  std::map<std::uint64_t, std::vector<std::uint8_t>> Pieces() const;

 private:
  using Chunk = std::array<std::uint8_t, kChunkSize>;
  Chunk& ChunkAt(std::uint64_t index);

  std::unordered_map<std::uint64_t, std::unique_ptr<Chunk>> chunks_;
};

}  // namespace korvex::sim
