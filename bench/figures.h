#pragma once
// What the measuring steps gather, and the report made of it: the table of figures, the
// lines beside it and the one JSON object.

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bench/line.h"
#include "sim/timing.h"

namespace korvex::bench {

// Best-of counts: the machine may be shared, and a burst of other work hits one try.
constexpr int kRoundPairs = 5;  // a fresh process's first round, then a warm round
constexpr int kTimedAttempts = 5;

// The command line's choices, which the report names.
struct Options {
  fs::path self;
  fs::path korvex;
  double timingScale = 4;
  bool records = true;
};

// A figure taken several times: its best and its median.
struct Samples {
  std::vector<double> values;
  void Add(double value) { values.push_back(value); }
  double Best() const { return *std::min_element(values.begin(), values.end()); }
  double Median() const {
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
};

// A line timed with the model, beside the zero-cost schedule of each run's charges.
struct TimedLine {
  Samples seconds;        // wall time of the burn
  Samples overModel;      // each run's time over its own zero-cost schedule
  double modelSeconds = 0;  // the last run's zero-cost schedule
  double linkSeconds = 0;   // the link's busy time in the last run
  std::vector<std::vector<sim::TimedCharge>> charges;  // the last run's

  void Add(const Round& round, const sim::TimingModel& model) {
    modelSeconds = sim::ZeroCostSeconds(model, round.charges);
    seconds.Add(round.seconds);
    overModel.Add(round.seconds / modelSeconds);
    linkSeconds = LinkSeconds(model, round.charges);
    charges = round.charges;
  }
};

struct VerifyCost {
  TimedLine without;
  TimedLine with;
};

// The rounds at memory speed: first rounds of fresh processes and warm rounds of this
// one, taken in turns so that other load on the machine falls on both alike.
struct SpeedFigures {
  Samples cold, warm;  // seconds
  double warmCpu = 0;
  std::uint64_t warmBytes = 0;
  Samples hashSeconds;  // the pre-flight's hashing of each warm round
  double warm4kSeconds = 0, samplesSeconds = 0;
};

// The rounds with the timing model, each beside its zero-cost schedule.
struct TimedFigures {
  std::array<TimedLine, 2> pages;  // 2048- and 4096-byte pages
  VerifyCost verify8, verify4;
  double plugStep = 0;  // seconds between boards plugged one after another
};

struct Figure {
  std::string key;
  std::optional<double> value;
  const char* target;
  std::string how;
};

std::vector<Figure> FiguresOf(const SpeedFigures& speed, const TimedFigures& timed, double largeRoundBytes,
                              std::optional<double> idleMiB, std::array<double, 2> peakMiB,
                              const Options& options);
// The lines beside the table: medians, link time, plugging schedules, four boards.
void PrintAlso(const SpeedFigures& speed, const TimedFigures& timed, const sim::TimingModel& model,
               double largeRoundBytes, double samplesRoundBytes);
// The header lines and the table of figures.
void PrintReport(const std::vector<Figure>& figures, const Options& options, const std::string& loadBefore,
                 double largeBytes, double sampleBytes);
// The one JSON object, on the last line.
void PrintJson(const std::vector<Figure>& figures, const SpeedFigures& speed, const TimedFigures& timed,
               bool records);

}  // namespace korvex::bench
