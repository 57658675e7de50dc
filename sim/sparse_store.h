#pragma once
// A large byte array that costs memory only where it was written. Unwritten bytes
// read 0xFF, the value of erased NAND, so a fresh multi-gigabyte chip is free.
//
// The array is cut into pages of kPageSize bytes. A page that reads all 0xFF is not
// stored at all; any other page is a reference to one immutable, reference-counted
// copy of its bytes, kept once per process whichever stores hold it. Eight simulated
// boards burned with the same images so hold their pages once, not eight times. A
// change to a page builds its new bytes and swaps the reference (copy on write), so
// one store never changes what another reads.
//
// A store is not thread-safe on its own (its chip's board guards it); different
// stores may be used from different threads at once.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace korvex::sim {

class SharedPage;

class SparseStore {
 public:
  // A program of whole 2048- or 4096-byte pages touches whole store pages; a smaller
  // or unaligned change rebuilds the store page around it.
  static constexpr std::size_t kPageSize = 2048;

  SparseStore();
  ~SparseStore();
  SparseStore(const SparseStore&) = delete;
  SparseStore& operator=(const SparseStore&) = delete;
  // A board pulled and plugged again takes its NAND along: the pages change hands,
  // their references stay as they are.
  SparseStore(SparseStore&& other) noexcept;
  SparseStore& operator=(SparseStore&&) = delete;

  void Read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const;
  void Write(std::uint64_t offset, const std::uint8_t* data, std::size_t count);
  // new = old AND data, the only change a NAND program can make.
  void And(std::uint64_t offset, const std::uint8_t* data, std::size_t count);
  void Erase(std::uint64_t offset, std::uint64_t count);  // back to 0xFF

  // Pages of this store that do not read all 0xFF.
  std::size_t PageCount() const { return pages_; }
  // Distinct page contents held for every store of the process.
  static std::size_t SharedPageCount();
  // Every page that holds a byte other than 0xFF, by offset: what the store holds,
  // without the bytes that read 0xFF anyway.
  std::map<std::uint64_t, std::vector<std::uint8_t>> Pieces() const;

 private:
  struct Leaf;

  SharedPage* PageAt(std::uint64_t index) const;
  // Puts `page` (whose reference the store takes over; nullptr = erased) at index and
  // drops the reference held there before.
  void Assign(std::uint64_t index, SharedPage* page);
  // Makes page `index` hold `bytes` (kPageSize of them).
  void SetPage(std::uint64_t index, const std::uint8_t* bytes);

  std::vector<std::unique_ptr<Leaf>> leaves_;  // nullptr: a range never written or all erased
  std::size_t pages_ = 0;
};

}  // namespace korvex::sim
