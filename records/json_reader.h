#pragma once
// A small JSON reader for the record files: objects, arrays, strings, integers,
// true, false and null. Anything else, and anything cut short, is not JSON here, so
// a line torn by a crash is told apart from a whole record.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvex {

struct JsonValue {
  enum class Kind { kNull, kBool, kInteger, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  std::int64_t integer = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;

  // The member of that name, or nullptr (also when this is no object).
  const JsonValue* Find(std::string_view name) const;
};

// The whole text as one value (surrounding white space allowed), or nothing.
std::optional<JsonValue> ParseJson(std::string_view text);

// The bytes of the UTF-8 character at text[i], or 0 when the bytes there are not one
// (a stray continuation byte, a cut sequence, an overlong form, a surrogate, a
// code point past U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i);

// A JSON string literal of the text, quotes included. Bytes that are not UTF-8 go out
// as U+FFFD, so the literal is valid JSON whatever the text held.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace korvex
