#pragma once
// One-line JSON objects for --json output.

#include <cstdint>
#include <string>
#include <string_view>

namespace korvex::cli {

std::string JsonQuote(std::string_view text);

class JsonObject {
 public:
  JsonObject& Add(std::string_view key, std::string_view value);
  JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
  JsonObject& Add(std::string_view key, std::int64_t value);
  JsonObject& Add(std::string_view key, bool value);
  JsonObject& AddRaw(std::string_view key, std::string_view json);  // already JSON
  std::string Str() const { return body_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string body_ = "{";
};

}  // namespace korvex::cli
