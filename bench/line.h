#pragma once
// The simulated line a benchmark round burns: its boards, their chip, the image set and
// the timing model, and one round of it burned in this process.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sim/timing.h"

namespace korvex::bench {

namespace fs = std::filesystem;

constexpr int kBoards = 8;

struct Line {
  fs::path home;
  fs::path images;
  std::uint64_t bytesPerBoard = 0;
  int boards = kBoards;
  int pageSize = 2048;
  std::optional<sim::TimingModel> timing;
  bool verify = false;  // every write read back and compared
  fs::path records;     // the board records' folder; empty for a station without records
};

struct Round {
  double seconds = 0;     // the burn: from the scan to the last worker's end
  double hashSeconds = 0; // the pre-flight's hashing of the images, before the burn
  double cpuSeconds = 0;  // the whole process, setting up and tearing down the line too
  std::uint64_t bytes = 0;
  std::vector<std::vector<sim::TimedCharge>> charges;  // per board, with the timing model
};

// The default model with every rate `scale` times faster, so a timed run takes seconds.
sim::TimingModel ScaledTiming(double scale);
// Writes the large set (about 120 MB a board) into `dir`; false with `error` when an
// image does not fit its zone or cannot be written.
bool WriteLargeSet(const fs::path& dir, std::uint64_t& bytesPerBoard, std::string& error);
// One round burned in this process. Exits with 1 when the line cannot be brought up
// or a board does not finish: no figure would mean anything.
Round BurnRound(const Line& line);
// Seconds the shared link is busy carrying the charges' bulk bytes, queueing aside.
double LinkSeconds(const sim::TimingModel& model, const std::vector<std::vector<sim::TimedCharge>>& boards);

}  // namespace korvex::bench
