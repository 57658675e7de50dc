#pragma once
// Texts only the Windows shell shows, each defined once. UTF-8 like every text of the
// core; converted to UTF-16 where a window takes them.

#include <string_view>

namespace korvex::win32 {

// Start-up, when another station already holds the single-instance mutex.
inline constexpr std::string_view kCaptionStartUp = "启动提示";

// The system menu's item that opens the About box.
inline constexpr std::string_view kTextAboutMenuItem = "关于 Korvex(&A)...";

// Appended to the main window's title when the boards are simulated, so nobody takes
// a rehearsal for a production run.
inline constexpr std::string_view kTitleSimulatedSuffix = " [SIMULATED]";
// korvex.ini asks for every write to be read back and compared.
inline constexpr std::string_view kTitleVerifySuffix = " [VERIFY]";
// Before the other suffixes when the window runs by a job: the job's name follows.
inline constexpr std::string_view kTitleJobPrefix = " - job ";

// Command-line errors.
inline constexpr std::string_view kCaptionUsage = "Korvex";
// A simulated station whose folder cannot be prepared.
inline constexpr std::string_view kTextSimHomeFailed = "Cannot prepare the simulated station folder: ";

}  // namespace korvex::win32
