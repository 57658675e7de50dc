#pragma once
// One-line JSON objects for --json output. Every text goes out as valid UTF-8: bytes
// that are not (GBK from a configuration file, say) become U+FFFD.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::cli {

std::string JsonQuote(std::string_view text);
// ["a","b"]
std::string JsonArray(const std::vector<std::string>& texts);

class JsonObject {
 public:
  JsonObject& Add(std::string_view key, std::string_view value);
  JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
  JsonObject& Add(std::string_view key, const std::string& value) { return Add(key, std::string_view(value)); }
  JsonObject& Add(std::string_view key, std::int64_t value);
  JsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<std::int64_t>(value)); }
  JsonObject& Add(std::string_view key, double value, int decimals);
  JsonObject& Add(std::string_view key, bool value);
  JsonObject& AddNull(std::string_view key);
  JsonObject& AddRaw(std::string_view key, std::string_view json);  // already JSON
  std::string Str() const { return body_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string body_ = "{";
};

}  // namespace korvex::cli
