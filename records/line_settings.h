#pragma once
// The line's settings file beside the program, korvex.ini:
//
//   # the line's third station
//   station = LINE3
//   verify = on
//   records_db = Driver={PostgreSQL Unicode};Server=db.line;Database=korvex;Uid=station
//
// One "key = value" per line; blank lines and lines starting with '#' or ';' are
// comments. Every key is optional; an unknown key, a repeated key or a bad value is
// an error naming its line, so a typo never passes for a default.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

// A korvex.ini or job file value without the spaces, tabs and CR around it.
std::string_view TrimSettingText(std::string_view text);

inline constexpr std::string_view kLineSettingsFileName = "korvex.ini";
inline constexpr std::string_view kDefaultStationName = "korvex";

struct LineSettings {
  std::string station{kDefaultStationName};
  bool verify = false;
  std::string recordsDb;  // ODBC connection string; empty: local record files only

  bool operator==(const LineSettings&) const = default;
};

struct LineSettingsResult {
  LineSettings settings;            // defaults where the file says nothing or is wrong
  std::vector<std::string> errors;  // "korvex.ini line 3: ...", in line order
};

LineSettingsResult ParseLineSettings(std::string_view text);

// korvex.ini of the folder; defaults without errors when there is none.
LineSettingsResult ReadLineSettings(const std::filesystem::path& folder);

}  // namespace korvex
