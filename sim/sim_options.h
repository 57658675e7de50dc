#pragma once
// The simulator's options, read alike by the console station and by korvex.exe: how
// many boards, of which model, with which chip and faults (of every board or of one
// port), the plug events scripted for chosen moments, and whether exchanges take
// wall-clock time. Each shell brings its own command-line syntax and names the count
// and model options its own way (--sim and --model in the console, --simulate and
// --sim-model in the window); error lines quote the shell's names.

#include <array>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/board_setup.h"
#include "sim/simulated_line.h"

namespace korvex::sim {

struct SimOption {
  std::string_view name;
  bool takesValue;
  bool repeatable = false;  // each time it is given counts, not only the last
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

  // One option as given; false with a one-line error. The count, model, chip, a
  // fault's port and the events are checked at once, the fault plans, bad blocks and
  // seed by Finish. A repeatable option adds to what it was given before; any other
  // given again replaces its earlier value.
  bool Read(std::string_view name, std::string_view value, std::string& error);

  // Every board's fault plan goes first, the bad blocks and seed onto it, so a plan
  // given after them does not replace them; each port's faults then go over that.
  // Blocks past the chip's end, and faults of a port no board is ever plugged into,
  // are refused here. nullopt with a one-line error.
  std::optional<SimulatedLine> Finish(std::string& error) const;

 private:
  bool ReadFault(std::string_view value, std::string& error);
  bool CheckBlocks(const std::vector<std::uint32_t>& blocks, std::string_view what,
                   std::string_view option, std::string& error) const;
  bool CheckPlanBlocks(const FaultPlan& plan, std::string_view option, std::string& error) const;

  std::string_view boardsOption_;
  std::string_view modelOption_;
  std::array<SimOption, 8> options_;
  int maxBoards_;
  SimulatedLine line_;
  std::optional<std::string> badBlocks_, seed_;
  // The --sim-fault texts of every board, and of each port (from 0), joined by commas.
  std::optional<std::string> faultPlan_;
  std::map<int, std::string> portFaultPlans_;
};

}  // namespace korvex::sim
