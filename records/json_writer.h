#pragma once
// JSON objects written field by field into a string: the board records, and what a
// job's hooks are given. Each field writes the comma before all but the first.
//
//   JsonWriter(out).Open().Text("job", name).Number("port", 3).Close();

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "records/board_record.h"
#include "records/json_reader.h"

namespace korvex {

class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  JsonWriter& Open() { return out_ += '{', first_ = true, *this; }
  JsonWriter& Close() { return out_ += '}', first_ = false, *this; }
  JsonWriter& Key(std::string_view key) {
    if (!first_) out_ += ',';
    first_ = false;
    AppendJsonString(out_, key);
    out_ += ':';
    return *this;
  }
  JsonWriter& Text(std::string_view key, std::string_view value) {
    Key(key);
    AppendJsonString(out_, value);
    return *this;
  }
  JsonWriter& Number(std::string_view key, std::uint64_t value) {
    Key(key);
    char digits[24];
    std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(value));
    out_ += digits;
    return *this;
  }
  JsonWriter& Flag(std::string_view key, bool value) {
    Key(key);
    out_ += value ? "true" : "false";
    return *this;
  }
  JsonWriter& Hex(std::string_view key, std::span<const std::uint8_t> bytes) {
    Key(key);
    out_ += '"';
    AppendHex(out_, bytes);
    out_ += '"';
    return *this;
  }
  JsonWriter& HexNumber(std::string_view key, std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return Text(key, text);
  }

 private:
  std::string& out_;
  bool first_ = true;
};

}  // namespace korvex
