#pragma once
// Small helpers shared by the table's readers and writers.

#include <cstdio>
#include <string>
#include <string_view>

namespace korvex {

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
