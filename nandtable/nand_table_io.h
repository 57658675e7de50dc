#pragma once
// Small helpers shared by the table's readers and writers.

#include <cstdint>
#include <cstdio>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

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

// printf formatting of one of the table's texts. The texts keep C's conversions
// because their output ("%#x" prints 0 as "0") is what operators read.
template <typename... Args>
std::string PrintfText(std::string_view format, Args... args) {
  // The format texts are literals, so data() is NUL-terminated.
  const int length = std::snprintf(nullptr, 0, format.data(), args...);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), format.data(), args...);
  text.pop_back();
  return text;
}

}  // namespace korvex
