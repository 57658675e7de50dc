#pragma once
// The monthly production log beside the program. Workers, the window and the demo
// copy write to it at the same time; each line is opened, appended and closed under
// one process-wide lock so lines never interleave and no file stays open.

#include <string>
#include <string_view>

#include "host/host.h"

namespace korvex {

inline constexpr int kLogWritten = 1;
inline constexpr int kLogNotOpened = 0;

// "%4d年%2d月 log.txt" of the stamp's year and month (UTF-8).
std::string LogFileName(const LocalTime& time);
// "%4d/%2d/%2d %2d:%2d:%2d:%4d : " of the stamp's first seven fields.
std::string LogLinePrefix(const LocalTime& time);

// Appends prefix + message + "\n" to this month's file; kLogNotOpened when the file
// cannot be opened (the line is lost, the station goes on).
int WriteLogLine(Host& host, std::string_view message);

// Something that wants to see every line as it is written (the console's JSON
// stream). Called under the log lock, in file order; keep it quick.
using LogObserver = void (*)(void* context, std::string_view line);
void SetLogObserver(LogObserver observer, void* context);

}  // namespace korvex
