#pragma once
// Small helpers shared by the table's readers and writers.

#include <cstdint>
#include <cstdio>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "station/printf_text.h"

namespace korvex {

// Reads a stream from its start to its end. False when that delivers no byte, which
// includes an empty file; the table has nothing to offer then.
inline bool ReadWholeStream(std::istream& stream, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  stream.seekg(0, std::ios::end);
  const std::streamoff size = stream.tellg();
  if (!stream || size <= 0) return false;
  stream.seekg(0, std::ios::beg);
  bytes.resize(static_cast<std::size_t>(size));
  stream.read(reinterpret_cast<char*>(bytes.data()), size);
  // A file that shrank meanwhile yields only what was really read.
  bytes.resize(static_cast<std::size_t>(stream.gcount()));
  return !bytes.empty();
}


}  // namespace korvex
