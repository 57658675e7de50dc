#include "cli/sim_options.h"

#include <iostream>
#include <stdexcept>

#include "cli/commands.h"
#include "host/paths.h"
#include "sim/sim_chips.h"

namespace korvex::cli {

namespace {

constexpr std::string_view kBoardsOption = "--sim";
constexpr std::string_view kModelOption = "--model";
constexpr std::string_view kDumpOption = "--sim-dump";

bool Fail(const std::string& message) {
  UsageError(message);
  return false;
}

bool ChooseDumpFolder(const std::string& folder, LineSetup& setup) {
  setup.dumpDir = folder;
  std::error_code ec;
  std::filesystem::create_directories(*setup.dumpDir, ec);
  if (!std::filesystem::is_directory(*setup.dumpDir)) {
    return Fail("--sim-dump: cannot use '" + folder + "' as a folder");
  }
  return true;
}

}  // namespace

bool ParseLineSetup(const ParsedArgs& args, int maxBoards, LineSetup& setup) {
  sim::SimOptionParser parser(kBoardsOption, kModelOption, maxBoards);
  std::string error;
  for (const sim::SimOption& option : parser.Options()) {
    if (!args.Has(option.name)) continue;
    const std::vector<std::string> values =
        option.repeatable ? args.GetAll(option.name) : std::vector{args.Get(option.name)};
    for (const std::string& value : values) {
      if (!parser.Read(option.name, value, error)) return Fail(error);
    }
  }
  auto line = parser.Finish(error);
  if (!line) return Fail(error);
  setup.line = std::move(*line);
  return !args.Has(kDumpOption) || ChooseDumpFolder(args.Get(kDumpOption), setup);
}

std::unique_ptr<sim::SimHost> MakeLineHost(const LineSetup& setup, const std::filesystem::path& home,
                                           bool plugNow) {
  auto host = std::make_unique<sim::SimHost>(setup.line.UsbPorts(), home);
  host->SetTimingEnabled(setup.line.timing);
  if (setup.line.randomSeed) host->SetRandomSeed(*setup.line.randomSeed);
  // Boards at memory speed need no settle time either; with the timing model the
  // station's waits for a board are slept as on a real line.
  host->SetInstantSleep(!setup.line.timing);
  if (plugNow && !PlugBoards(setup, *host)) return nullptr;
  return host;
}

bool PlugBoards(const LineSetup& setup, sim::SimHost& host) {
  try {
    host.StartLine(setup.line);
  } catch (const std::exception& error) {
    // A board the options describe but the simulator cannot build, e.g. a bad block
    // past the chip's last one.
    UsageError(error.what());
    return false;
  }
  return true;
}

const sim::ChipGeometry* SimulatedChipGeometry(const LineSetup& setup) {
  const sim::ChipSpec& chip = setup.line.board.chip;
  if (chip.geometry) return &*chip.geometry;
  const sim::SimChip* known = sim::FindSimChip(chip.mainId, chip.extId);
  return known != nullptr ? &known->geometry : nullptr;
}

void DumpBoards(const LineSetup& setup, const sim::SimHost& host) {
  if (!setup.dumpDir) return;
  for (int port = 0; port < host.UsbPortCount(); ++port) {
    if (host.HasBoard(port) && !host.DumpNand(port, *setup.dumpDir)) {
      std::cerr << "korvex: could not write board-" << port + 1 << ".nand into "
                << PathToUtf8(*setup.dumpDir) << "\n";
    }
  }
}

}  // namespace korvex::cli
