#pragma once
// printf formatting of the station's fixed texts. They keep C's conversions because
// their output ("%#x" prints 0 as "0", "%d" a page as a signed number) is what
// operators read. The formats are the constants of the *_texts.h headers, not
// literals at the call, so the compiler cannot check them here: callers pass ints,
// unsigned ints, doubles and C strings only.

#include <cstdio>
#include <string>
#include <string_view>

namespace korvex {

template <typename... Args>
std::string PrintfText(std::string_view format, Args... args) {
  const std::string terminated(format);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
  const int length = std::snprintf(nullptr, 0, terminated.c_str(), args...);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), terminated.c_str(), args...);
#pragma GCC diagnostic pop
  text.pop_back();
  return text;
}

}  // namespace korvex
