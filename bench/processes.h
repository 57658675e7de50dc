#pragma once
// The benchmark's other processes and what /proc says of them: a round burned as the
// first thing a fresh process does, the console station left idle, the machine's load.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "bench/line.h"

namespace korvex::bench {

constexpr auto kIdleWait = std::chrono::seconds(10);

struct ChildRound {
  double seconds = 0;
  double cpuSeconds = 0;
  std::uint64_t bytes = 0;
  std::uint64_t peakKiB = 0;
};

// One round as the first thing a fresh process does.
std::optional<ChildRound> RunChildRound(const fs::path& self, const Line& line);
// `korvex_bench --child ...`: the round that RunChildRound asks of this process.
int ChildMain(int argc, char** argv);
// The console station with eight empty ports, as an operator leaves it before the
// boards come: its resident memory after kIdleWait.
std::optional<double> IdleStationMiB(const fs::path& korvex, const fs::path& home);
// The system's 1-minute load average: a reader of the timings needs to know whether
// other work shared the machine's cores.
std::string LoadAverage();

}  // namespace korvex::bench
