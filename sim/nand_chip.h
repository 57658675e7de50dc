#pragma once
// The NAND chip of a virtual board: page data only (no spare area), stored sparsely,
// with factory bad blocks and blocks whose programs fail. Not thread-safe on its own:
// its board guards it.

#include <cstdint>
#include <filesystem>
#include <vector>

#include "sim/board_setup.h"
#include "sim/sparse_store.h"

namespace korvex::sim {

// The geometry a chip gets: an explicit ChipSpec::geometry wins; otherwise the chip of
// SimChips() with exactly these keys. Throws std::invalid_argument for keys that name
// no simulated chip.
ChipGeometry ResolveChipGeometry(const ChipSpec& chip);

// `count` distinct blocks in 1..totalBlocks-1 that are not in `taken`, drawn from a
// mt19937_64 seeded with `seed`. Block 0 is never drawn: the boot code lives there.
// The mapping is our own modulo so that a seed gives the same blocks on every platform.
std::vector<std::uint32_t> DrawRandomBadBlocks(std::uint64_t seed, std::uint32_t count,
                                               std::uint32_t totalBlocks,
                                               const std::vector<std::uint32_t>& taken);

class NandChip {
 public:
  // Throws std::invalid_argument for an unusable geometry or a fault block past the end.
  NandChip(const ChipSpec& chip, const FaultPlan& faults);

  const ChipGeometry& geometry() const { return geometry_; }
  std::uint16_t mainId() const { return mainId_; }
  std::uint32_t extId() const { return extId_; }
  std::uint64_t sizeBytes() const { return sizeBytes_; }
  std::uint32_t BlockOf(std::uint64_t offset) const {
    return static_cast<std::uint32_t>(offset / geometry_.blockSize);
  }
  bool IsBad(std::uint32_t block) const;
  bool ProgramFails(std::uint32_t block) const;
  std::vector<std::uint32_t> BadBlocks() const;  // ascending

  // Bytes past the chip's end read 0xFF.
  void Read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const;
  std::vector<std::uint8_t> Read(std::uint64_t offset, std::size_t count) const;
  // Programs page data (bits only go from 1 to 0). The range must lie inside the chip.
  void Program(std::uint64_t offset, const std::uint8_t* data, std::size_t count);
  // Sets bytes outright, for seeding a scenario. Throws std::out_of_range past the end.
  void Seed(std::uint64_t offset, const std::vector<std::uint8_t>& bytes);
  // Erases [offset, offset + count) clipped to the chip, leaving bad blocks untouched.
  void Erase(std::uint64_t offset, std::uint64_t count);

  // The chip's bytes as 64 KiB pieces by offset, leaving out pieces that read all 0xFF.
  std::map<std::uint64_t, std::vector<std::uint8_t>> Pieces() const { return store_.Pieces(); }
  // End of the furthest byte ever programmed or seeded.
  std::uint64_t highWater() const { return highWater_; }
  // Writes bytes 0..highWater to `file`; false when it cannot be written.
  bool Dump(const std::filesystem::path& file) const;

 private:
  ChipGeometry geometry_;
  std::uint16_t mainId_;
  std::uint32_t extId_;
  std::uint64_t sizeBytes_;
  std::vector<bool> bad_;
  std::vector<bool> programFails_;
  SparseStore store_;
  std::uint64_t highWater_ = 0;
};

}  // namespace korvex::sim
