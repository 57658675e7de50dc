#include "sim/sparse_store.h"

#include <algorithm>
#include <cstring>

namespace korvex::sim {
namespace {

constexpr std::uint8_t kErased = 0xFF;

// Calls visit(chunkIndex, offsetInChunk, offsetInRange, length) for every chunk piece
// of [offset, offset + count).
template <typename Visit>
void ForEachPiece(std::uint64_t offset, std::uint64_t count, Visit&& visit) {
  std::uint64_t done = 0;
  while (done < count) {
    const std::uint64_t at = offset + done;
    const std::uint64_t index = at / SparseStore::kChunkSize;
    const std::size_t inChunk = static_cast<std::size_t>(at % SparseStore::kChunkSize);
    const std::size_t length = static_cast<std::size_t>(
        std::min<std::uint64_t>(count - done, SparseStore::kChunkSize - inChunk));
    visit(index, inChunk, static_cast<std::size_t>(done), length);
    done += length;
  }
}

}  // namespace

SparseStore::Chunk& SparseStore::ChunkAt(std::uint64_t index) {
  auto& slot = chunks_[index];
  if (!slot) {
    slot = std::make_unique<Chunk>();
    slot->fill(kErased);
  }
  return *slot;
}

void SparseStore::Read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
  ForEachPiece(offset, count, [&](std::uint64_t index, std::size_t inChunk, std::size_t at,
                                  std::size_t length) {
    const auto found = chunks_.find(index);
    if (found == chunks_.end()) {
      std::memset(out + at, kErased, length);
    } else {
      std::memcpy(out + at, found->second->data() + inChunk, length);
    }
  });
}

void SparseStore::Write(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
  ForEachPiece(offset, count, [&](std::uint64_t index, std::size_t inChunk, std::size_t at,
                                  std::size_t length) {
    std::memcpy(ChunkAt(index).data() + inChunk, data + at, length);
  });
}

void SparseStore::And(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
  ForEachPiece(offset, count, [&](std::uint64_t index, std::size_t inChunk, std::size_t at,
                                  std::size_t length) {
    const std::uint8_t* piece = data + at;
    // An all-0xFF piece changes nothing; leave untouched chunks unallocated.
    if (std::all_of(piece, piece + length, [](std::uint8_t b) { return b == kErased; })) return;
    std::uint8_t* target = ChunkAt(index).data() + inChunk;
    for (std::size_t i = 0; i < length; ++i) target[i] &= piece[i];
  });
}

std::map<std::uint64_t, std::vector<std::uint8_t>> SparseStore::Pieces() const {
  std::map<std::uint64_t, std::vector<std::uint8_t>> pieces;
  for (const auto& [index, chunk] : chunks_) {
    if (std::all_of(chunk->begin(), chunk->end(), [](std::uint8_t b) { return b == kErased; })) continue;
    pieces.emplace(index * kChunkSize, std::vector<std::uint8_t>(chunk->begin(), chunk->end()));
  }
  return pieces;
}

void SparseStore::Erase(std::uint64_t offset, std::uint64_t count) {
  ForEachPiece(offset, count, [&](std::uint64_t index, std::size_t inChunk, std::size_t,
                                  std::size_t length) {
    const auto found = chunks_.find(index);
    if (found == chunks_.end()) return;
    if (length == kChunkSize) {
      chunks_.erase(found);
    } else {
      std::memset(found->second->data() + inChunk, kErased, length);
    }
  });
}

}  // namespace korvex::sim
