#pragma once
// Operator-facing texts of device access, each quoted once so tests and code agree.

#include <string_view>

namespace korvex {

// Caption of every message box the station shows.
inline constexpr std::string_view kMessageCaption = "Korvex";

// More driver instances than the instance table holds.
inline constexpr std::string_view kTooManyDriversText = "ERROR::Please Delete some device driver!!";
// One failed attempt to open a board's device path.
inline constexpr std::string_view kInvalidHandleText = "Invalid handle!";

}  // namespace korvex
