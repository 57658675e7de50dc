#pragma once
// The simulated line behind the station and readback commands: how many boards, of
// which model, with which chip and faults, and where their NAND goes at exit.

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "cli/cli_args.h"
#include "sim/sim_host.h"
#include "sim/sim_options.h"

namespace korvex::cli {

struct LineSetup {
  sim::SimulatedLine line;  // its board model is the station's model too
  std::optional<std::filesystem::path> dumpDir;
};

// Reads the board options; false after a one-line usage message.
bool ParseLineSetup(const ParsedArgs& args, int maxBoards, LineSetup& setup);

// The host for the setup: simulated boards plugged into the first USB ports (left
// empty when plugNow is false). Without --sim this build has no USB boot driver, so
// the driver's list is empty. nullptr after a usage message for boards the simulator
// cannot build.
std::unique_ptr<sim::SimHost> MakeLineHost(const LineSetup& setup, const std::filesystem::path& home,
                                           bool plugNow = true);
// Plugs the setup's boards into the first USB ports; false after a usage message for
// boards the simulator cannot build.
bool PlugBoards(const LineSetup& setup, sim::SimHost& host);

// The simulated boards' chip geometry: the made-up one the options describe, else the
// simulator's chip of those keys; nullptr when neither is known.
const sim::ChipGeometry* SimulatedChipGeometry(const LineSetup& setup);

// Writes board-<k>.nand of every plugged board into the dump folder, if one was asked for.
void DumpBoards(const LineSetup& setup, const sim::SimHost& host);

}  // namespace korvex::cli
