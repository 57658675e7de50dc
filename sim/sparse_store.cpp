#include "sim/sparse_store.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace korvex::sim {

namespace {

constexpr std::uint8_t kErased = 0xFF;
constexpr std::size_t kPage = SparseStore::kPageSize;
constexpr std::size_t kLeafPages = 512;  // one leaf maps 1 MiB of the array

using Word = std::uint64_t;
constexpr Word kAllOnes = ~Word{0};

Word LoadWord(const std::uint8_t* p) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

void StoreWord(std::uint8_t* p, Word word) { std::memcpy(p, &word, sizeof word); }

bool AllErased(const std::uint8_t* bytes, std::size_t count) {
  std::size_t i = 0;
  for (; i + 32 <= count; i += 32) {
    const Word all = LoadWord(bytes + i) & LoadWord(bytes + i + 8) & LoadWord(bytes + i + 16) &
                     LoadWord(bytes + i + 24);
    if (all != kAllOnes) return false;
  }
  for (; i < count; ++i) {
    if (bytes[i] != kErased) return false;
  }
  return true;
}

// A 64-bit hash of one page: four independent multiply-rotate lanes, so the CPU works
// on them in parallel, then a final mix. Equal hashes are always confirmed by
// comparing the bytes, so the hash only has to spread pages well.
std::uint64_t HashPage(const std::uint8_t* bytes) {
  constexpr Word kMulA = 0x9E3779B185EBCA87ull;
  constexpr Word kMulB = 0xC2B2AE3D27D4EB4Full;
  const auto mix = [](Word lane, Word input) { return std::rotl(lane + input * kMulB, 31) * kMulA; };
  Word a = kMulA, b = kMulB, c = ~kMulA, d = ~kMulB;
  for (std::size_t i = 0; i < kPage; i += 32) {
    a = mix(a, LoadWord(bytes + i));
    b = mix(b, LoadWord(bytes + i + 8));
    c = mix(c, LoadWord(bytes + i + 16));
    d = mix(d, LoadWord(bytes + i + 24));
  }
  Word hash = std::rotl(a, 1) + std::rotl(b, 7) + std::rotl(c, 12) + std::rotl(d, 18);
  hash ^= hash >> 33;
  hash *= kMulB;
  hash ^= hash >> 29;
  hash *= kMulA;
  hash ^= hash >> 32;
  return hash;
}

// Calls visit(pageIndex, offsetInPage, offsetInRange, length) for every page piece of
// [offset, offset + count).
template <typename Visit>
void ForEachPiece(std::uint64_t offset, std::uint64_t count, Visit&& visit) {
  std::uint64_t done = 0;
  while (done < count) {
    const std::uint64_t at = offset + done;
    const std::size_t inPage = static_cast<std::size_t>(at % kPage);
    const std::size_t length =
        static_cast<std::size_t>(std::min<std::uint64_t>(count - done, kPage - inPage));
    visit(at / kPage, inPage, static_cast<std::size_t>(done), length);
    done += length;
  }
}

}  // namespace

namespace {
struct Slab;
}  // namespace

// Immutable once published: only its reference count changes.
class SharedPage {
 public:
  std::atomic<std::uint32_t> refs{1};
  std::uint64_t hash = 0;
  Slab* slab = nullptr;        // where its memory comes from
  SharedPage* next = nullptr;  // the slab's next free page, while free
  std::uint8_t bytes[kPage];
};

namespace {

// One huge page of the processor where the system has them.
constexpr std::size_t kSlabBytes = 2 * 1024 * 1024;
constexpr std::size_t kSlabPages = kSlabBytes / sizeof(SharedPage);

// Fresh memory for a slab, left untouched. On Linux it is a mapping of its own, aligned
// to a huge page and marked for one: a first burn then takes one page fault per 2 MiB
// instead of one per 4 KiB, and a freed slab goes straight back to the system.
unsigned char* MapSlabMemory() {
#if defined(__linux__)
  void* const mapped =
      mmap(nullptr, 2 * kSlabBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  auto* const start = static_cast<unsigned char*>(mapped);
  const std::size_t lead = (kSlabBytes - reinterpret_cast<std::uintptr_t>(start) % kSlabBytes) % kSlabBytes;
  if (lead > 0) munmap(start, lead);
  munmap(start + lead + kSlabBytes, kSlabBytes - lead);
  madvise(start + lead, kSlabBytes, MADV_HUGEPAGE);
  return start + lead;
#else
  return new unsigned char[kSlabBytes];
#endif
}

void UnmapSlabMemory(unsigned char* memory) {
#if defined(__linux__)
  munmap(memory, kSlabBytes);
#else
  delete[] memory;
#endif
}

struct Slab {
  Slab() = default;
  Slab(const Slab&) = delete;
  Slab& operator=(const Slab&) = delete;
  ~Slab() { UnmapSlabMemory(memory); }

  Slab* prev = nullptr;  // in the list of slabs with free pages
  Slab* next = nullptr;
  std::size_t used = 0;
  std::size_t carved = 0;  // pages handed out at least once
  SharedPage* free = nullptr;
  unsigned char* const memory = MapSlabMemory();
};

// Page memory in slabs of kSlabPages. Taking pages one by one from the C library
// grows its per-thread heaps a page at a time, and each growth stalls the page faults
// of every thread: a fresh process's first burn ran at half speed. A slab whose last
// page goes back is freed unless it is the only one with room.
class PageSlabs {
 public:
  SharedPage* Allocate() {
    Slab* slab = nullptr;
    void* memory = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (open_ == nullptr) Link(new Slab);
      slab = open_;
      if (slab->free != nullptr) {
        memory = slab->free;
        slab->free = slab->free->next;
      } else {
        memory = slab->memory + sizeof(SharedPage) * slab->carved++;
      }
      if (++slab->used == kSlabPages) Unlink(slab);
    }
    // Built outside the lock: the first touch of fresh memory is the slow part.
    SharedPage* const page = new (memory) SharedPage;
    page->slab = slab;
    return page;
  }

  void Free(SharedPage* page) {
    std::lock_guard lock(mutex_);
    Slab* const slab = page->slab;
    if (slab->used-- == kSlabPages) Link(slab);
    page->next = slab->free;
    slab->free = page;
    if (slab->used == 0 && (slab->prev != nullptr || slab->next != nullptr)) {
      Unlink(slab);
      delete slab;
    }
  }

 private:
  void Link(Slab* slab) {
    slab->prev = nullptr;
    slab->next = open_;
    if (open_ != nullptr) open_->prev = slab;
    open_ = slab;
  }

  void Unlink(Slab* slab) {
    if (slab->prev != nullptr) slab->prev->next = slab->next;
    if (slab->next != nullptr) slab->next->prev = slab->prev;
    if (open_ == slab) open_ = slab->next;
    slab->prev = slab->next = nullptr;
  }

  std::mutex mutex_;
  Slab* open_ = nullptr;  // slabs with free pages
};

// A shard lock is held for a probe and a reference count, well under a microsecond,
// and boards burning the same images want the same shard at nearly the same time: a
// waiter retries for a moment first, as sleeping and being woken costs far more.
class ShardMutex {
 public:
  void lock() {
    for (int i = 0; i < kTries; ++i) {
      if (mutex_.try_lock()) return;
    }
    mutex_.lock();
  }
  void unlock() { mutex_.unlock(); }

 private:
  static constexpr int kTries = 100;
  std::mutex mutex_;
};

// Every distinct page content of the process, found by its hash. The table is split
// into shards with a lock each, so eight boards programming at once rarely meet. A
// shard is an open-addressing table that keeps each page's hash beside its pointer, so
// a lookup touches page bytes only to confirm a match.
class PagePool {
 public:
  // A page holding `bytes`, with one more reference for the caller.
  SharedPage* Intern(const std::uint8_t* bytes) {
    const std::uint64_t hash = HashPage(bytes);
    Shard& shard = ShardOf(hash);
    // Boards burning the same images look up the same page, so the same shard, at
    // nearly the same time: the lock covers only the probe and the reference, and the
    // bytes are compared after it. A page of the same hash but other bytes is all but
    // impossible; the slow path below sorts it out.
    SharedPage* candidate = nullptr;
    {
      std::lock_guard lock(shard.mutex);
      candidate = FirstOfHashLocked(shard, hash);
      if (candidate != nullptr) candidate->refs.fetch_add(1, std::memory_order_relaxed);
    }
    if (candidate != nullptr) {
      if (std::memcmp(candidate->bytes, bytes, kPage) == 0) return candidate;
      Release(candidate);
    }
    // Filled outside the lock: touching fresh memory is the slow part.
    SharedPage* const fresh = slabs_.Allocate();
    fresh->hash = hash;
    std::memcpy(fresh->bytes, bytes, kPage);
    {
      std::lock_guard lock(shard.mutex);
      if (SharedPage* found = FindLocked(shard, hash, bytes)) {
        // Another board brought the same page meanwhile.
        slabs_.Free(fresh);
        return found;
      }
      InsertLocked(shard, fresh);
    }
    return fresh;
  }

  void Release(SharedPage* page) {
    // Only the last reference needs the shard: a count only falls to zero under its
    // lock, so a lookup never finds a page that is being freed.
    std::uint32_t refs = page->refs.load(std::memory_order_relaxed);
    while (refs > 1) {
      if (page->refs.compare_exchange_weak(refs, refs - 1, std::memory_order_acq_rel,
                                           std::memory_order_relaxed)) {
        return;
      }
    }
    Shard& shard = ShardOf(page->hash);
    {
      std::lock_guard lock(shard.mutex);
      if (page->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
      RemoveLocked(shard, page);
    }
    slabs_.Free(page);
  }

  std::size_t Count() {
    std::size_t count = 0;
    for (Shard& shard : shards_) {
      std::lock_guard lock(shard.mutex);
      count += shard.used;
    }
    return count;
  }

 private:
  static constexpr int kShardBits = 6;  // the hash's top bits pick the shard
  static constexpr std::size_t kFirstSlots = 256;

  struct Slot {
    std::uint64_t hash = 0;
    SharedPage* page = nullptr;  // nullptr: free
  };

  // At most half full, a power of two in size; linear probing from hash & mask.
  struct alignas(64) Shard {
    ShardMutex mutex;
    std::vector<Slot> slots;
    std::size_t used = 0;
  };

  Shard& ShardOf(std::uint64_t hash) { return shards_[hash >> (64 - kShardBits)]; }

  static SharedPage* FirstOfHashLocked(const Shard& shard, std::uint64_t hash) {
    if (shard.slots.empty()) return nullptr;
    const std::size_t mask = shard.slots.size() - 1;
    for (std::size_t i = hash & mask; shard.slots[i].page != nullptr; i = (i + 1) & mask) {
      if (shard.slots[i].hash == hash) return shard.slots[i].page;
    }
    return nullptr;
  }

  // The page holding `bytes` with one more reference, or nullptr.
  static SharedPage* FindLocked(Shard& shard, std::uint64_t hash, const std::uint8_t* bytes) {
    if (shard.slots.empty()) return nullptr;
    const std::size_t mask = shard.slots.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = shard.slots[i];
      if (slot.page == nullptr) return nullptr;
      if (slot.hash == hash && std::memcmp(slot.page->bytes, bytes, kPage) == 0) {
        slot.page->refs.fetch_add(1, std::memory_order_relaxed);
        return slot.page;
      }
    }
  }

  static void PlaceLocked(std::vector<Slot>& slots, const Slot& slot) {
    const std::size_t mask = slots.size() - 1;
    std::size_t i = slot.hash & mask;
    while (slots[i].page != nullptr) i = (i + 1) & mask;
    slots[i] = slot;
  }

  static void InsertLocked(Shard& shard, SharedPage* page) {
    if (2 * (shard.used + 1) > shard.slots.size()) {
      std::vector<Slot> grown(std::max(kFirstSlots, 2 * shard.slots.size()));
      for (const Slot& slot : shard.slots) {
        if (slot.page != nullptr) PlaceLocked(grown, slot);
      }
      shard.slots.swap(grown);
    }
    PlaceLocked(shard.slots, Slot{page->hash, page});
    ++shard.used;
  }

  // Frees the page's slot and moves later slots of its probe run back into the gap,
  // so every lookup still reaches its page before a free slot.
  static void RemoveLocked(Shard& shard, const SharedPage* page) {
    std::vector<Slot>& slots = shard.slots;
    const std::size_t mask = slots.size() - 1;
    std::size_t gap = page->hash & mask;
    while (slots[gap].page != page) gap = (gap + 1) & mask;
    for (std::size_t next = (gap + 1) & mask; slots[next].page != nullptr; next = (next + 1) & mask) {
      const std::size_t home = slots[next].hash & mask;
      // The slot may move into the gap when its home is not in (gap, next], cyclically.
      const bool homeAfterGap = gap < next ? (home > gap && home <= next) : (home > gap || home <= next);
      if (!homeAfterGap) {
        slots[gap] = slots[next];
        gap = next;
      }
    }
    slots[gap] = Slot{};
    --shard.used;
  }

  std::array<Shard, std::size_t{1} << kShardBits> shards_;
  PageSlabs slabs_;
};

// Never destroyed: a store in a static object may be destroyed after any other static.
PagePool& Pool() {
  static PagePool* const pool = new PagePool;
  return *pool;
}

}  // namespace

struct SparseStore::Leaf {
  std::array<SharedPage*, kLeafPages> pages{};
  std::size_t used = 0;
};

SparseStore::SparseStore() = default;

SparseStore::~SparseStore() {
  for (const auto& leaf : leaves_) {
    if (!leaf) continue;
    for (SharedPage* page : leaf->pages) {
      if (page != nullptr) Pool().Release(page);
    }
  }
}

std::size_t SparseStore::SharedPageCount() { return Pool().Count(); }

SharedPage* SparseStore::PageAt(std::uint64_t index) const {
  const std::uint64_t leaf = index / kLeafPages;
  if (leaf >= leaves_.size() || !leaves_[leaf]) return nullptr;
  return leaves_[leaf]->pages[index % kLeafPages];
}

void SparseStore::Assign(std::uint64_t index, SharedPage* page) {
  const auto leafIndex = static_cast<std::size_t>(index / kLeafPages);
  if (leafIndex >= leaves_.size()) {
    if (page == nullptr) return;
    leaves_.resize(leafIndex + 1);
  }
  std::unique_ptr<Leaf>& leaf = leaves_[leafIndex];
  if (!leaf) {
    if (page == nullptr) return;
    leaf = std::make_unique<Leaf>();
  }
  SharedPage*& slot = leaf->pages[index % kLeafPages];
  SharedPage* const old = slot;
  slot = page;
  if (page != nullptr) ++leaf->used, ++pages_;
  if (old != nullptr) {
    --leaf->used, --pages_;
    Pool().Release(old);
  }
  if (leaf->used == 0) leaf.reset();
}

void SparseStore::SetPage(std::uint64_t index, const std::uint8_t* bytes) {
  const SharedPage* const current = PageAt(index);
  if (current != nullptr && std::memcmp(current->bytes, bytes, kPage) == 0) return;
  Assign(index, AllErased(bytes, kPage) ? nullptr : Pool().Intern(bytes));
}

void SparseStore::Read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
  ForEachPiece(offset, count, [&](std::uint64_t index, std::size_t inPage, std::size_t at,
                                  std::size_t length) {
    const SharedPage* const page = PageAt(index);
    if (page == nullptr) {
      std::memset(out + at, kErased, length);
    } else {
      std::memcpy(out + at, page->bytes + inPage, length);
    }
  });
}

void SparseStore::Write(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
  ForEachPiece(offset, count, [&](std::uint64_t index, std::size_t inPage, std::size_t at,
                                  std::size_t length) {
    if (length == kPage) {
      SetPage(index, data + at);
      return;
    }
    std::array<std::uint8_t, kPage> bytes;
    Read(index * kPage, bytes.data(), kPage);
    std::memcpy(bytes.data() + inPage, data + at, length);
    SetPage(index, bytes.data());
  });
}

void SparseStore::And(std::uint64_t offset, const std::uint8_t* data, std::size_t count) {
  ForEachPiece(offset, count, [&](std::uint64_t index, std::size_t inPage, std::size_t at,
                                  std::size_t length) {
    const std::uint8_t* const piece = data + at;
    const SharedPage* const current = PageAt(index);
    if (current == nullptr) {
      // An erased page becomes the data itself; an all-0xFF piece changes nothing.
      if (AllErased(piece, length)) return;
      if (length == kPage) {
        Assign(index, Pool().Intern(piece));
        return;
      }
    }
    std::array<std::uint8_t, kPage> bytes;
    if (current != nullptr) {
      std::memcpy(bytes.data(), current->bytes, kPage);
    } else {
      bytes.fill(kErased);
    }
    // Word by word where the piece allows; `cleared` collects the bits that change.
    std::uint8_t* const target = bytes.data() + inPage;
    Word cleared = 0;
    std::size_t i = 0;
    for (; i + sizeof(Word) <= length; i += sizeof(Word)) {
      const Word old = LoadWord(target + i);
      const Word now = old & LoadWord(piece + i);
      cleared |= old ^ now;
      StoreWord(target + i, now);
    }
    for (; i < length; ++i) {
      const auto now = static_cast<std::uint8_t>(target[i] & piece[i]);
      cleared |= target[i] ^ now;
      target[i] = now;
    }
    if (cleared == 0 && current != nullptr) return;
    Assign(index, Pool().Intern(bytes.data()));
  });
}

SparseStore::SparseStore(SparseStore&& other) noexcept
    : leaves_(std::move(other.leaves_)), pages_(std::exchange(other.pages_, 0)) {}

std::map<std::uint64_t, std::vector<std::uint8_t>> SparseStore::Pieces() const {
  std::map<std::uint64_t, std::vector<std::uint8_t>> pieces;
  for (std::uint64_t leaf = 0; leaf < leaves_.size(); ++leaf) {
    if (!leaves_[leaf]) continue;
    for (std::uint64_t index = leaf * kLeafPages; index < (leaf + 1) * kLeafPages; ++index) {
      if (PageAt(index) == nullptr) continue;
      std::vector<std::uint8_t> bytes(kPage);
      Read(index * kPage, bytes.data(), bytes.size());
      pieces.emplace(index * kPage, std::move(bytes));
    }
  }
  return pieces;
}

void SparseStore::Erase(std::uint64_t offset, std::uint64_t count) {
  const std::uint64_t end = offset + count;
  while (offset < end) {
    const std::uint64_t index = offset / kPage;
    const std::uint64_t leaf = index / kLeafPages;
    if (leaf >= leaves_.size()) return;  // nothing stored from here on
    if (!leaves_[leaf]) {
      // A whole leaf of erased pages: step over it.
      offset = std::min(end, (leaf + 1) * kLeafPages * kPage);
      continue;
    }
    const std::size_t inPage = static_cast<std::size_t>(offset % kPage);
    const std::uint64_t length = std::min<std::uint64_t>(end - offset, kPage - inPage);
    const SharedPage* const current = PageAt(index);
    if (current != nullptr) {
      if (length == kPage) {
        Assign(index, nullptr);
      } else {
        std::array<std::uint8_t, kPage> bytes;
        std::memcpy(bytes.data(), current->bytes, kPage);
        std::memset(bytes.data() + inPage, kErased, static_cast<std::size_t>(length));
        SetPage(index, bytes.data());
      }
    }
    offset += length;
  }
}

}  // namespace korvex::sim
