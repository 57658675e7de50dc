#include "records/sha256.h"

#include <atomic>
#include <fstream>
#include <vector>

#include "host/paths.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define KORVEX_SHA_INSTRUCTIONS 1
#endif

namespace korvex {
namespace {

constexpr std::array<std::uint32_t, 64> kRoundConstants{
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

using State = std::array<std::uint32_t, 8>;

void PortableBlock(State& state, const std::uint8_t* block) {
  std::array<std::uint32_t, 64> w{};
  for (std::size_t i = 0; i < 16; ++i) {
    w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
           std::uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
  }
  for (std::size_t i = 16; i < 64; ++i) {
    const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  auto [a, b, c, d, e, f, g, h] = state;
  for (std::size_t i = 0; i < 64; ++i) {
    const std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) +
                             kRoundConstants[i] + w[i];
    const std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
  }
  const State add{a, b, c, d, e, f, g, h};
  for (std::size_t i = 0; i < 8; ++i) state[i] += add[i];
}

#ifdef KORVEX_SHA_INSTRUCTIONS
// The same rounds on the SHA extensions: the state is kept as the instructions want it
// (ABEF and CDGH), four rounds' message words a step, the schedule in four registers.
__attribute__((target("sha,sse4.1"))) void CpuBlocks(State& state, const std::uint8_t* data, std::size_t count) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
  __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
  const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  for (; count > 0; --count, data += 64) {
    const __m128i abefBefore = abef, cdghBefore = cdgh;
    __m128i words[4];  // the last four steps' message words
    for (std::size_t step = 0; step < 16; ++step) {
      __m128i w;
      if (step < 4) {
        w = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * step)), byteSwap);
      } else {
        const __m128i& oldest = words[step % 4];  // words i-16 .. i-13
        const __m128i& older = words[(step + 1) % 4];
        const __m128i& old = words[(step + 2) % 4];
        const __m128i& last = words[(step + 3) % 4];  // words i-4 .. i-1
        w = _mm_add_epi32(_mm_sha256msg1_epu32(oldest, older), _mm_alignr_epi8(last, old, 4));
        w = _mm_sha256msg2_epu32(w, last);
      }
      words[step % 4] = w;
      __m128i rounds =
          _mm_add_epi32(w, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * step])));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, rounds);
      rounds = _mm_shuffle_epi32(rounds, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, rounds);
    }
    abef = _mm_add_epi32(abef, abefBefore);
    cdgh = _mm_add_epi32(cdgh, cdghBefore);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  dcba = _mm_blend_epi16(feba, dchg, 0xF0);
  hgfe = _mm_alignr_epi8(dchg, feba, 8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), dcba);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), hgfe);
}

bool CpuHasShaInstructions() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("sha") && __builtin_cpu_supports("sse4.1");
}
#else
bool CpuHasShaInstructions() { return false; }
#endif

std::atomic<Sha256Engine> g_engine{CpuHasShaInstructions() ? Sha256Engine::kCpuInstructions
                                                           : Sha256Engine::kPortable};

}  // namespace

Sha256Engine ActiveSha256Engine() { return g_engine.load(std::memory_order_relaxed); }

bool SelectSha256Engine(Sha256Engine engine) {
  if (engine == Sha256Engine::kCpuInstructions && !CpuHasShaInstructions()) return false;
  g_engine = engine;
  return true;
}

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab,
             0x5be0cd19} {}

void Sha256::Blocks(const std::uint8_t* data, std::size_t count) {
#ifdef KORVEX_SHA_INSTRUCTIONS
  if (ActiveSha256Engine() == Sha256Engine::kCpuInstructions) {
    CpuBlocks(state_, data, count);
    return;
  }
#endif
  for (std::size_t i = 0; i < count; ++i) PortableBlock(state_, data + 64 * i);
}

void Sha256::Update(std::span<const std::uint8_t> bytes) {
  totalBytes_ += bytes.size();
  std::size_t at = 0;
  if (buffered_ > 0) {
    while (buffered_ < 64 && at < bytes.size()) buffer_[buffered_++] = bytes[at++];
    if (buffered_ < 64) return;
    Blocks(buffer_.data(), 1);
    buffered_ = 0;
  }
  const std::size_t whole = (bytes.size() - at) / 64;
  Blocks(bytes.data() + at, whole);
  at += whole * 64;
  while (at < bytes.size()) buffer_[buffered_++] = bytes[at++];
}

void Sha256::Update(std::string_view text) {
  Update(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

Sha256Digest Sha256::Final() {
  const std::uint64_t bits = totalBytes_ * 8;
  // A one bit, zeros up to 56 bytes into the last block, then the length in bits.
  std::array<std::uint8_t, 72> tail{};
  tail[0] = 0x80;
  const std::size_t zeros = (buffered_ < 56 ? 56 - buffered_ : 120 - buffered_) - 1;
  for (std::size_t i = 0; i < 8; ++i) tail[1 + zeros + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  Update(std::span(tail.data(), 1 + zeros + 8));
  Sha256Digest digest{};
  for (std::size_t i = 0; i < 8; ++i) {
    for (std::size_t j = 0; j < 4; ++j) {
      digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (24 - 8 * j));
    }
  }
  return digest;
}

bool HashFile(const std::filesystem::path& file, std::uint64_t& size, Sha256Digest& digest) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  Sha256 hash;
  std::vector<std::uint8_t> chunk(1 << 20);
  size = 0;
  while (in) {
    in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    hash.Update(std::span(chunk.data(), got));
    size += got;
  }
  if (in.bad()) return false;
  digest = hash.Final();
  return true;
}

}  // namespace korvex
