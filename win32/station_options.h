#pragma once
// The command line of korvex.exe. Without options the station runs on the USB boot
// driver; --simulate N runs the same window on N simulated boards instead, for
// rehearsing a line or showing the station without hardware.
//
//   korvex.exe [--job FILE] [--simulate N [--sim-model M] [--sim-chip MAIN:EXT]
//              [--sim-bad-blocks B,B...] [--sim-seed S] [--sim-fault [PORT:]PLAN]...
//              [--sim-event TIME:ACTION:PORT]... [--sim-timing] [--sim-home DIR]]
//   korvex.exe --help | --version
//
// The --sim-... options are read by sim/sim_options.h, as the console's are.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "sim/sim_options.h"

namespace korvex::win32 {

inline constexpr int kMaxSimulatedBoards = 8;

struct StationOptions {
  // Set by --simulate: the boards plugged at start-up, one per virtual USB port, and
  // what they are.
  std::optional<sim::SimulatedLine> simulated;
  // The simulated station's folder (model folders, table, logs); empty for the
  // default beside the program.
  std::string simHome;
  // --job: the job file the window runs by (UTF-8); empty for none.
  std::string jobFile;
  // Whether --sim-model was given: without it the simulated boards are the job's model.
  bool simModelGiven = false;
};

// Options as given (UTF-8, program name excluded); nullopt with a one-line `error`
// for anything it cannot use.
std::optional<StationOptions> ParseStationOptions(std::span<const std::string> args,
                                                  std::string& error);

// The usage text shown with an error.
std::string_view StationUsage();

// --help: the usage line and every option with its default.
std::string StationHelp();

// What --help or --version among the arguments asks for; nothing when neither is there.
enum class InfoRequest { kNone, kHelp, kVersion };
InfoRequest FindInfoRequest(std::span<const std::string> args);

}  // namespace korvex::win32
