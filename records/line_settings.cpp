#include "records/line_settings.h"

#include <array>
#include <fstream>
#include <sstream>
#include <iterator>

#include "records/board_record.h"

namespace korvex {

std::string_view TrimSettingText(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

LineSettingsResult ParseLineSettings(std::string_view text) {
  LineSettingsResult result;
  constexpr std::array<std::string_view, 3> kKeys{"station", "verify", "records_db"};
  std::array<bool, kKeys.size()> seen{};
  int number = 0;
  // A UTF-8 byte order mark, as Notepad writes it, is not part of the first key.
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    const std::string_view raw = text.substr(0, newline);
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    ++number;
    const std::string_view line = TrimSettingText(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    const auto fail = [&](const std::string& why) {
      result.errors.push_back(std::string(kLineSettingsFileName) + " line " +
                              std::to_string(number) + ": " + why);
    };
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      fail("expected \"key = value\"");
      continue;
    }
    const std::string_view key = TrimSettingText(line.substr(0, equals));
    const std::string_view value = TrimSettingText(line.substr(equals + 1));
    std::size_t k = 0;
    while (k < kKeys.size() && kKeys[k] != key) ++k;
    if (k == kKeys.size()) {
      fail(std::string("unknown key '").append(key).append("' (known: station, verify, records_db)"));
      continue;
    }
    if (seen[k]) {
      fail(std::string("'").append(key).append("' is set twice"));
      continue;
    }
    seen[k] = true;
    if (key == "station") {
      if (IsValidStationName(value)) result.settings.station = value;
      else fail("station name must be 1 to 32 letters, digits, '-', '_' or '.'");
    } else if (key == "verify") {
      if (value == "on" || value == "off") result.settings.verify = value == "on";
      else fail("verify must be on or off");
    } else {
      if (!value.empty()) result.settings.recordsDb = value;
      else fail("records_db needs an ODBC connection string");
    }
  }
  return result;
}

LineSettingsResult ReadLineSettings(const std::filesystem::path& folder) {
  std::ifstream in(folder / kLineSettingsFileName, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return ParseLineSettings(text.str());
}

}  // namespace korvex
