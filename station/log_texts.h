#pragma once
// Texts of the production log, each defined once.

#include <string_view>

namespace korvex {

// Told once per run when the log refused a line. Argument: the log file.
inline constexpr std::string_view kFormatLogLineLost =
    "The production log %s cannot be written: lines of this run are missing from it. "
    "Burning goes on.";

}  // namespace korvex
