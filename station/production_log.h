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
// Opened, but the write, the flush or the close failed (a full disk); the file was cut
// back to where the line began, so it never ends in part of a line.
inline constexpr int kLogNotWritten = -1;

// "%4d年%2d月 log.txt" of the stamp's year and month (UTF-8).
std::string LogFileName(const LocalTime& time);
// "%4d/%2d/%2d %2d:%2d:%2d:%4d : " of the stamp's first seven fields.
std::string LogLinePrefix(const LocalTime& time);

// Appends prefix + message + "\n" to this month's file in one write. kLogWritten only
// when the whole line is in the file; otherwise the line is lost, the station goes
// on, and the run's failure observer hears of it (see SetLogFailureObserver).
int WriteLogLine(Host& host, std::string_view message);

// Something that wants to see every line as it is written (the console's JSON
// stream). Called under the log lock, in file order; keep it quick.
using LogObserver = void (*)(void* context, std::string_view line);
void SetLogObserver(LogObserver observer, void* context);

// The shell that tells the operator a line was lost. `file` is the log file (UTF-8).
using LogFailureObserver = void (*)(void* context, std::string_view file);
// Registering an observer starts a run: it is called once, for the first line lost
// after this call, on that writer's thread and outside the log lock. It must not write
// to the log; a shell that shows a box hands it to its own thread. Passing nullptr
// stops the calls (after one under way has returned) and keeps what LogLineLost() says.
void SetLogFailureObserver(LogFailureObserver observer, void* context);
// True when a line was lost since an observer was last registered.
bool LogLineLost();
// What the shells tell the operator, once per run: kFormatLogLineLost for the file.
std::string LogLineLostText(std::string_view file);

}  // namespace korvex
