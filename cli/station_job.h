#pragma once
// What `korvex station`'s options ask for: the burn's settings, the line to run it on
// and how the run ends, read and checked before anything starts.

#include <chrono>
#include <optional>
#include <span>
#include <string>

#include "app/line_job.h"
#include "app/port_scheduler.h"
#include "cli/sim_options.h"
#include "records/board_record.h"

namespace korvex::cli {

inline constexpr WindowHandle kConsoleWindowHandle = 1;
inline constexpr auto kDemoPeriod = std::chrono::milliseconds(3000);  // the window's timer 5

struct StationJob {
  std::chrono::milliseconds demoPeriod = kDemoPeriod;
  LineSetup setup;
  StationSettings settings;
  bool simulated = false;  // --sim given, even for no boards
  std::optional<std::string> demoFile;
  bool untilDone = false;
  // An operator plugs boards into a running station: the ports stay empty this long.
  std::optional<std::chrono::seconds> plugAfter;
  bool checkOnly = false;
  bool advanced = false;
  std::optional<JobFile> jobFile;  // --job: the released recipe the run burns by
  JobIdentity identity;
};

// nullopt after a usage message.
std::optional<StationJob> ParseStationJob(std::span<const std::string> arguments);

}  // namespace korvex::cli
