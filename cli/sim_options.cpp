#include "cli/sim_options.h"

#include <iostream>

#include "boot/station_model.h"
#include "cli/commands.h"

namespace korvex::cli {

namespace {

bool Fail(const std::string& message) {
  UsageError(message);
  return false;
}

// "12,40,41": physical block numbers.
bool ParseBlockList(const std::string& text, std::vector<std::uint32_t>& blocks) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const auto block = ParseUnsigned(item, 10);
    if (!block) return false;
    blocks.push_back(*block);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

}  // namespace

bool ParseLineSetup(const ParsedArgs& args, int maxBoards, LineSetup& setup) {
  if (args.Has("--model")) {
    const auto model = ParseModelName(args.Get("--model"));
    if (!model) return Fail("--model takes 7120, 7130, 7135 or 7105B");
    setup.model = *model;
  }
  setup.board.model = setup.model;
  if (args.Has("--sim")) {
    const auto boards = ParseUnsigned(args.Get("--sim"), 10);
    if (!boards || *boards > static_cast<std::uint32_t>(maxBoards)) {
      return Fail("--sim takes a number of boards from 0 to " + std::to_string(maxBoards));
    }
    setup.boards = static_cast<int>(*boards);
  }
  if (args.Has("--sim-chip")) {
    const std::string chip = args.Get("--sim-chip");
    const std::size_t colon = chip.find(':');
    const std::uint32_t mainId = ParseUnsigned(chip.substr(0, colon), 16).value_or(0x10000);
    const std::uint32_t extId = colon == std::string::npos
                                    ? 0x1000000
                                    : ParseUnsigned(chip.substr(colon + 1), 16).value_or(0x1000000);
    if (mainId > 0xFFFF || extId > 0xFFFFFF) {
      return Fail("--sim-chip takes MAIN:EXT in hex, e.g. ECD3:589551");
    }
    setup.board.chip.mainId = static_cast<std::uint16_t>(mainId);
    setup.board.chip.extId = extId;
  }
  std::string error;
  if (args.Has("--sim-fault")) {
    const auto plan = sim::ParseFaultPlan(args.Get("--sim-fault"), error);
    if (!plan) return Fail("--sim-fault: " + error);
    setup.board.faults = *plan;
  }
  if (args.Has("--sim-bad-blocks") &&
      !ParseBlockList(args.Get("--sim-bad-blocks"), setup.board.faults.badBlocks)) {
    return Fail("--sim-bad-blocks takes block numbers separated by commas, e.g. 12,40");
  }
  if (args.Has("--sim-seed")) {
    const auto seed = ParseUnsigned(args.Get("--sim-seed"), 10);
    if (!seed) return Fail("--sim-seed takes a decimal number");
    setup.board.faults.seed = *seed;
  }
  setup.timing = args.Has("--sim-timing");
  if (args.Has("--sim-dump")) {
    setup.dumpDir = args.Get("--sim-dump");
    std::error_code ec;
    std::filesystem::create_directories(*setup.dumpDir, ec);
    if (!std::filesystem::is_directory(*setup.dumpDir)) {
      return Fail("--sim-dump: cannot use '" + args.Get("--sim-dump") + "' as a folder");
    }
  }
  return true;
}

std::unique_ptr<sim::SimHost> MakeLineHost(const LineSetup& setup, const std::filesystem::path& home,
                                           bool plugNow) {
  auto host = std::make_unique<sim::SimHost>(setup.boards, home);
  host->SetTimingEnabled(setup.timing);
  if (plugNow) PlugBoards(setup, *host);
  return host;
}

void PlugBoards(const LineSetup& setup, sim::SimHost& host) {
  for (int port = 0; port < setup.boards; ++port) host.Plug(port, setup.board);
}

void DumpBoards(const LineSetup& setup, const sim::SimHost& host) {
  if (!setup.dumpDir) return;
  for (int port = 0; port < setup.boards; ++port) {
    if (!host.DumpNand(port, *setup.dumpDir)) {
      std::cerr << "korvex: could not write board-" << port << ".nand into "
                << setup.dumpDir->string() << "\n";
    }
  }
}

}  // namespace korvex::cli
