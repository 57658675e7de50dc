#pragma once
// The simulator's options, read alike by the console station and by korvex.exe: how
// many boards, of which model, with which chip and faults, and whether exchanges take
// wall-clock time. Each shell brings its own command-line syntax and names the count
// and model options its own way (--sim and --model in the console, --simulate and
// --sim-model in the window); error lines quote the shell's names.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/board_setup.h"

namespace korvex::sim {

struct SimulatedLine {
  int boards = 0;       // plugged at start, one per USB port from the first
  BoardSpec board;      // what every one of them is, its model included
  bool timing = false;  // the timing model
};

struct SimOption {
  std::string_view name;
  bool takesValue;
};

// "N" for a count of boards up to `maxBoards`; nullopt with the error line otherwise.
std::optional<int> ParseBoardCount(std::string_view option, std::string_view text, int maxBoards,
                                   std::string& error);

class SimOptionParser {
 public:
  SimOptionParser(std::string_view boardsOption, std::string_view modelOption, int maxBoards);

  // Every option it reads, in the order a shell without an order of its own gives them.
  std::span<const SimOption> Options() const { return options_; }
  // nullptr for an option it does not read.
  const SimOption* Find(std::string_view name) const;

  // One option as given; false with a one-line error. The count, model and chip are
  // checked at once, the fault plan, bad blocks and seed by Finish.
  bool Read(std::string_view name, std::string_view value, std::string& error);

  // The fault plan goes first, the bad blocks and seed onto it, so a plan given after
  // them does not replace them. nullopt with a one-line error.
  std::optional<SimulatedLine> Finish(std::string& error) const;

 private:
  std::string_view boardsOption_;
  std::string_view modelOption_;
  std::array<SimOption, 7> options_;
  int maxBoards_;
  SimulatedLine line_;
  std::optional<std::string> faultPlan_, badBlocks_, seed_;
};

}  // namespace korvex::sim
