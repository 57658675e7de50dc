#pragma once
// Closing the station while boards burn. Every board's job stops at its next block,
// and the close line is the last line the production log receives: board lines that
// come after it are dropped, never written behind it.

#include <chrono>
#include <cstdint>
#include <string_view>

#include "host/host.h"

namespace korvex {

// Workers' jobs see Cancelled() from now on and end as interrupted.
void RequestWorkersStop();
bool WorkersStopRequested();

// True when no worker runs any more, waiting up to `patience` of real time for the
// last ones. A console may wait; the window must not (its workers wait for it).
bool WaitForWorkers(std::chrono::milliseconds patience);

// A board's log line, unless the close line has been written.
void WriteBoardLogLine(Host& host, std::string_view line);

// Logs the close line as the close command does (OK answered) and drops every board
// line after it.
void WriteCloseLineLast(Host& host, std::uint32_t& windowCopy);

// Back to a station that runs: no stop requested, board lines written again.
void ReopenStation();

}  // namespace korvex
