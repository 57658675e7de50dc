#pragma once
// Explicit little-endian packing: the bytes on the wire never depend on struct layout.

#include <cstddef>
#include <cstdint>

namespace korvex {

template <typename Bytes>
void PutLe32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
  bytes[offset + 0] = static_cast<std::uint8_t>(value);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
  bytes[offset + 2] = static_cast<std::uint8_t>(value >> 16);
  bytes[offset + 3] = static_cast<std::uint8_t>(value >> 24);
}

template <typename Bytes>
std::uint32_t GetLe32(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) |
         static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

}  // namespace korvex
