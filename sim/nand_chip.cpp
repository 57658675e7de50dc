#include "sim/nand_chip.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "sim/sim_chips.h"

namespace korvex::sim {
namespace {

void CheckGeometry(const ChipGeometry& g) {
  if (g.pageSize == 0 || g.blockSize < g.pageSize || g.blockSize % g.pageSize != 0 ||
      g.totalBlocks == 0) {
    throw std::invalid_argument(
        "chip geometry unusable: page " + std::to_string(g.pageSize) + " bytes, block " +
        std::to_string(g.blockSize) + " bytes, " + std::to_string(g.totalBlocks) +
        " blocks (the block must be a whole number of pages)");
  }
}

std::vector<bool> BlockSet(const std::vector<std::uint32_t>& blocks, std::uint32_t total,
                           const char* what) {
  std::vector<bool> set(total, false);
  for (const std::uint32_t block : blocks) {
    if (block >= total) {
      throw std::invalid_argument(std::string(what) + " block " + std::to_string(block) +
                                  " is past the chip's last block " + std::to_string(total - 1));
    }
    set[block] = true;
  }
  return set;
}

}  // namespace

ChipGeometry ResolveChipGeometry(const ChipSpec& chip) {
  if (chip.geometry) return *chip.geometry;
  if (const SimChip* known = FindSimChip(chip.mainId, chip.extId)) return known->geometry;
  throw std::invalid_argument(UnknownSimChipText(chip.mainId, chip.extId));
}

std::vector<std::uint32_t> DrawRandomBadBlocks(std::uint64_t seed, std::uint32_t count,
                                               std::uint32_t totalBlocks,
                                               const std::vector<std::uint32_t>& taken) {
  std::vector<bool> used(totalBlocks, false);
  std::uint32_t free = totalBlocks > 0 ? totalBlocks - 1 : 0;  // block 0 never
  for (const std::uint32_t block : taken) {
    if (block != 0 && block < totalBlocks && !used[block]) {
      used[block] = true;
      --free;
    }
  }
  count = std::min(count, free);
  std::mt19937_64 engine(seed);
  std::vector<std::uint32_t> drawn;
  drawn.reserve(count);
  while (drawn.size() < count) {
    const auto block = static_cast<std::uint32_t>(1 + engine() % (totalBlocks - 1));
    if (used[block]) continue;
    used[block] = true;
    drawn.push_back(block);
  }
  return drawn;
}

NandChip::NandChip(const ChipSpec& chip, const FaultPlan& faults)
    : geometry_(ResolveChipGeometry(chip)), mainId_(chip.mainId), extId_(chip.extId) {
  CheckGeometry(geometry_);
  sizeBytes_ = static_cast<std::uint64_t>(geometry_.blockSize) * geometry_.totalBlocks;
  bad_ = BlockSet(faults.badBlocks, geometry_.totalBlocks, "bad");
  programFails_ = BlockSet(faults.programFailBlocks, geometry_.totalBlocks, "program-fail");
  for (const std::uint32_t block :
       DrawRandomBadBlocks(faults.seed, faults.randomBadBlocks, geometry_.totalBlocks,
                           faults.badBlocks)) {
    bad_[block] = true;
  }
}

bool NandChip::IsBad(std::uint32_t block) const { return block < bad_.size() && bad_[block]; }

bool NandChip::ProgramFails(std::uint32_t block) const {
  return block < programFails_.size() && programFails_[block];
}

std::vector<std::uint32_t> NandChip::BadBlocks() const {
  std::vector<std::uint32_t> blocks;
  for (std::uint32_t b = 0; b < bad_.size(); ++b) {
    if (bad_[b]) blocks.push_back(b);
  }
  return blocks;
}

void NandChip::Read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
  const auto inside = offset >= sizeBytes_ ? std::size_t{0}
                                           : static_cast<std::size_t>(std::min<std::uint64_t>(
                                                 count, sizeBytes_ - offset));
  store_.Read(offset, out, inside);
  std::fill(out + inside, out + count, 0xFF);
}

std::vector<std::uint8_t> NandChip::Read(std::uint64_t offset, std::size_t count) const {
  std::vector<std::uint8_t> bytes(count);
  Read(offset, bytes.data(), count);
  return bytes;
}

void NandChip::Program(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
  store_.And(offset, data, count);
  highWater_ = std::max(highWater_, offset + count);
}

void NandChip::Seed(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
  if (offset > sizeBytes_ || bytes.size() > sizeBytes_ - offset) {
    throw std::out_of_range("seeding " + std::to_string(bytes.size()) + " bytes at " +
                            std::to_string(offset) + " runs past the chip's " +
                            std::to_string(sizeBytes_) + " bytes");
  }
  store_.Write(offset, bytes.data(), bytes.size());
  if (!bytes.empty()) highWater_ = std::max(highWater_, offset + bytes.size());
}

void NandChip::Erase(std::uint64_t offset, std::uint64_t count) {
  if (offset >= sizeBytes_) return;
  const std::uint64_t end = offset + std::min(count, sizeBytes_ - offset);
  // One physical block at a time, so a bad block keeps every byte it holds.
  while (offset < end) {
    const std::uint32_t block = BlockOf(offset);
    const std::uint64_t blockEnd = (static_cast<std::uint64_t>(block) + 1) * geometry_.blockSize;
    const std::uint64_t pieceEnd = std::min(end, blockEnd);
    if (!IsBad(block)) store_.Erase(offset, pieceEnd - offset);
    offset = pieceEnd;
  }
}

bool NandChip::Dump(const std::filesystem::path& file) const {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  std::vector<std::uint8_t> piece(1024 * 1024);
  for (std::uint64_t at = 0; at < highWater_;) {
    const auto length =
        static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), highWater_ - at));
    Read(at, piece.data(), length);
    out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(length));
    at += length;
  }
  out.close();
  return static_cast<bool>(out);
}

}  // namespace korvex::sim
