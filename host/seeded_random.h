#pragma once
// A reproducible stand-in for the operating system's random source, for the hosts
// that are not a real station (the simulator, dry runs, tests): the same seed gives
// the same bytes, in the order they are asked for, whichever thread asks.

#include <cstdint>
#include <mutex>
#include <span>

namespace korvex {

class SeededRandom {
 public:
  explicit SeededRandom(std::uint64_t seed = kDefaultSeed) : state_(seed) {}

  void Seed(std::uint64_t seed) {
    std::lock_guard lock(mutex_);
    state_ = seed;
    left_ = 0;
  }

  // One stream of bytes: however the draws are cut, they read the same sequence.
  void Fill(std::span<std::uint8_t> out) {
    std::lock_guard lock(mutex_);
    for (std::uint8_t& byte : out) {
      if (left_ == 0) word_ = Next(), left_ = 8;
      byte = static_cast<std::uint8_t>(word_);
      word_ >>= 8;
      --left_;
    }
  }

  static constexpr std::uint64_t kDefaultSeed = 0x6B6F72766578ull;  // "korvex"

 private:
  // SplitMix64: small, and every seed gives a full-period sequence.
  std::uint64_t Next() {
    std::uint64_t z = state_ += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  std::mutex mutex_;
  std::uint64_t state_;
  std::uint64_t word_ = 0;
  int left_ = 0;
};

}  // namespace korvex
