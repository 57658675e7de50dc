#include "win32/station_options.h"

#include <charconv>
#include <cstdint>

#include "boot/station_model.h"
#include "sim/sim_chips.h"

namespace korvex::win32 {

namespace {

// Whole-string unsigned numbers; base 16 takes an optional "0x".
std::optional<std::uint64_t> ParseNumber(std::string_view text, int base) {
  if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool ParseChip(std::string_view text, sim::ChipSpec& chip) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const auto mainId = ParseNumber(text.substr(0, colon), 16);
  const auto extId = ParseNumber(text.substr(colon + 1), 16);
  if (!mainId || !extId || *mainId > 0xFFFF || *extId > 0xFFFFFF) return false;
  chip.mainId = static_cast<std::uint16_t>(*mainId);
  chip.extId = static_cast<std::uint32_t>(*extId);
  return true;
}

bool ParseBlocks(std::string_view text, std::vector<std::uint32_t>& blocks) {
  while (true) {
    const std::size_t comma = text.find(',');
    const auto block = ParseNumber(text.substr(0, comma), 10);
    if (!block || *block > 0xFFFFFFFF) return false;
    blocks.push_back(static_cast<std::uint32_t>(*block));
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

}  // namespace

std::string_view StationUsage() {
  return "korvex.exe [--simulate N [--sim-model 7120|7130|7135|7105B] [--sim-chip MAIN:EXT] "
         "[--sim-bad-blocks B,B...] [--sim-seed S] [--sim-fault PLAN] [--sim-timing] "
         "[--sim-home DIR]]";
}

std::optional<StationOptions> ParseStationOptions(std::span<const std::string> args,
                                                  std::string& error) {
  StationOptions options;
  bool anySimOption = false;
  // Applied after the loop, in this order, so that a fault plan given after the bad
  // blocks or the seed does not replace them.
  std::optional<std::string_view> faultPlan, badBlocks, seed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    std::string_view value;
    bool hasValue = false;
    if (const std::size_t equals = name.find('='); equals != std::string_view::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      hasValue = true;
    }
    const auto takeValue = [&]() -> bool {
      if (hasValue) return true;
      if (i + 1 >= args.size()) {
        error = std::string(name) + " needs a value";
        return false;
      }
      value = args[++i];
      return true;
    };

    if (name == "--simulate") {
      if (!takeValue()) return std::nullopt;
      const auto boards = ParseNumber(value, 10);
      if (!boards || *boards > kMaxSimulatedBoards) {
        error = "--simulate takes a number of boards from 0 to 8";
        return std::nullopt;
      }
      options.simulatedBoards = static_cast<int>(*boards);
      continue;
    }
    if (name == "--sim-timing") {
      if (hasValue) {
        error = "--sim-timing takes no value";
        return std::nullopt;
      }
      options.timing = true;
      anySimOption = true;
      continue;
    }
    if (name != "--sim-model" && name != "--sim-chip" && name != "--sim-bad-blocks" &&
        name != "--sim-seed" && name != "--sim-fault" && name != "--sim-home") {
      error = "unknown option '" + std::string(args[i]) + "'";
      return std::nullopt;
    }
    if (!takeValue()) return std::nullopt;
    anySimOption = true;
    if (name == "--sim-model") {
      const auto model = ParseModelName(value);
      if (!model) {
        error = "--sim-model takes 7120, 7130, 7135 or 7105B";
        return std::nullopt;
      }
      options.board.model = *model;
    } else if (name == "--sim-chip") {
      if (!ParseChip(value, options.board.chip)) {
        error = "--sim-chip takes MAIN:EXT in hex, e.g. ECD3:589551";
        return std::nullopt;
      }
      if (!sim::FindSimChip(options.board.chip.mainId, options.board.chip.extId)) {
        error = "--sim-chip: " + sim::UnknownSimChipText(options.board.chip.mainId, options.board.chip.extId);
        return std::nullopt;
      }
    } else if (name == "--sim-bad-blocks") {
      badBlocks = value;
    } else if (name == "--sim-seed") {
      seed = value;
    } else if (name == "--sim-fault") {
      faultPlan = value;
    } else {
      options.simHome = std::string(value);
    }
  }
  if (faultPlan) {
    std::string planError;
    const auto plan = sim::ParseFaultPlan(*faultPlan, planError);
    if (!plan) {
      error = "--sim-fault: " + planError;
      return std::nullopt;
    }
    options.board.faults = *plan;
  }
  if (badBlocks && !ParseBlocks(*badBlocks, options.board.faults.badBlocks)) {
    error = "--sim-bad-blocks takes block numbers separated by commas, e.g. 12,40";
    return std::nullopt;
  }
  if (seed) {
    const auto number = ParseNumber(*seed, 10);
    if (!number) {
      error = "--sim-seed takes a decimal number";
      return std::nullopt;
    }
    options.board.faults.seed = *number;
  }
  if (anySimOption && !options.simulatedBoards) {
    error = "the --sim-... options need --simulate N";
    return std::nullopt;
  }
  return options;
}

}  // namespace korvex::win32
