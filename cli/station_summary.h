#pragma once
// The station's last word: one row per board (result, reason, duration, UID, bad
// blocks skipped), then the totals and where the production log is. Text for a
// person, JSON objects for a program.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/board_tracker.h"

namespace korvex::cli {

struct RunTotals {
  int boards = 0;
  int burned = 0;
  int failed = 0;  // every board that did not burn, the three below included
  int unplugged = 0;
  int interrupted = 0;
  int notStarted = 0;
  int demoFailed = 0;  // burned boards whose demo copy failed
  std::uint64_t bytesWritten = 0;
  // From the first board's start to the last one's end: the time boards burned, not
  // the wait for the demo timer or Ctrl-C after them.
  double burnSeconds = 0;
};

RunTotals CountTotals(const std::vector<BoardJob>& jobs);

// "1.5 MiB", "132.1 MiB", "12 KiB", "900 B".
std::string FormatBytes(std::uint64_t bytes);

// The table and the totals, for a run that took wallSeconds.
std::string FormatSummary(const BoardTracker& tracker, double wallSeconds, std::string_view logPath);

// {"type":"result",...} for an ended board; {"type":"summary",...} for the run.
std::string ResultJson(const BoardJob& job, const JobPlan& plan);
std::string SummaryJson(const BoardTracker& tracker, double wallSeconds, std::string_view logPath);

}  // namespace korvex::cli
