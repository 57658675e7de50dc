#pragma once
// Texts of the side tools, each defined once: the demo copy's message boxes (the
// one with %s is a format of the uid.txt path and the ID buffer as text) and its
// production-log lines (each written behind the board's unique-ID text).

#include <string_view>

namespace korvex {

// Message boxes of the demo copy.
inline constexpr std::string_view kTextDemoUidFile = "pFileName = %s, p = %s";
inline constexpr std::string_view kTextOpenUidFailed = "open vedio failed!";
inline constexpr std::string_view kTextReadUidFailed = "fread uid failed!";
inline constexpr std::string_view kTextCantCreateCopyThread = "Can't Create ThreadFileFunc!!";

// Log lines of the demo copy.
inline constexpr std::string_view kLogDemoSucceeded = ": Update Demo succeed!";
inline constexpr std::string_view kLogDemoFailed = ": Update Demo failure!";

// What the station looks for on a board's volume: the entry at the root, the file
// inside it, and the suffix that names the demo copy beside the entry.
inline constexpr std::string_view kVideoEntryName = "VIDEO";
inline constexpr std::string_view kUidFileName = "uid.txt";
inline constexpr std::string_view kDemoTargetSuffix = "VEDIO";

}  // namespace korvex
