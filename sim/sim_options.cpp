#include "sim/sim_options.h"

#include <charconv>
#include <cstdint>

#include "boot/station_model.h"
#include "sim/sim_chips.h"

namespace korvex::sim {

namespace {

constexpr std::string_view kChipOption = "--sim-chip";
constexpr std::string_view kFaultOption = "--sim-fault";
constexpr std::string_view kBadBlocksOption = "--sim-bad-blocks";
constexpr std::string_view kSeedOption = "--sim-seed";
constexpr std::string_view kTimingOption = "--sim-timing";

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

// "MAIN:EXT" in hex.
bool ParseChip(std::string_view text, ChipSpec& chip) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const auto mainId = ParseNumber(text.substr(0, colon), 16);
  const auto extId = ParseNumber(text.substr(colon + 1), 16);
  if (!mainId || !extId || *mainId > 0xFFFF || *extId > 0xFFFFFF) return false;
  chip.mainId = static_cast<std::uint16_t>(*mainId);
  chip.extId = static_cast<std::uint32_t>(*extId);
  return true;
}

// "12,40,41": physical block numbers.
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

bool Fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

}  // namespace

std::optional<int> ParseBoardCount(std::string_view option, std::string_view text, int maxBoards,
                                   std::string& error) {
  const auto boards = ParseNumber(text, 10);
  if (!boards || *boards > static_cast<std::uint64_t>(maxBoards)) {
    error = std::string(option) + " takes a number of boards from 0 to " + std::to_string(maxBoards);
    return std::nullopt;
  }
  return static_cast<int>(*boards);
}

SimOptionParser::SimOptionParser(std::string_view boardsOption, std::string_view modelOption,
                                 int maxBoards)
    : boardsOption_(boardsOption),
      modelOption_(modelOption),
      // The order the console has always checked them in.
      options_{{{modelOption, true},
                {boardsOption, true},
                {kChipOption, true},
                {kFaultOption, true},
                {kBadBlocksOption, true},
                {kSeedOption, true},
                {kTimingOption, false}}},
      maxBoards_(maxBoards) {}

const SimOption* SimOptionParser::Find(std::string_view name) const {
  for (const SimOption& option : options_) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

bool SimOptionParser::Read(std::string_view name, std::string_view value, std::string& error) {
  if (Find(name) == nullptr) return Fail(error, "unknown option '" + std::string(name) + "'");
  if (name == modelOption_) {
    const auto model = ParseModelName(value);
    if (!model) return Fail(error, std::string(name) + " takes 7120, 7130, 7135 or 7105B");
    line_.board.model = *model;
  } else if (name == boardsOption_) {
    const auto boards = ParseBoardCount(name, value, maxBoards_, error);
    if (!boards) return false;
    line_.boards = *boards;
  } else if (name == kChipOption) {
    if (!ParseChip(value, line_.board.chip)) {
      return Fail(error, "--sim-chip takes MAIN:EXT in hex, e.g. ECD3:589551");
    }
    const ChipSpec& chip = line_.board.chip;
    if (!FindSimChip(chip.mainId, chip.extId)) {
      return Fail(error, "--sim-chip: " + UnknownSimChipText(chip.mainId, chip.extId));
    }
  } else if (name == kFaultOption) {
    faultPlan_ = std::string(value);
  } else if (name == kBadBlocksOption) {
    badBlocks_ = std::string(value);
  } else if (name == kSeedOption) {
    seed_ = std::string(value);
  } else {
    line_.timing = true;  // --sim-timing, the one option without a value
  }
  return true;
}

std::optional<SimulatedLine> SimOptionParser::Finish(std::string& error) const {
  SimulatedLine line = line_;
  FaultPlan& faults = line.board.faults;
  if (faultPlan_) {
    std::string planError;
    const auto plan = ParseFaultPlan(*faultPlan_, planError);
    if (!plan) {
      error = "--sim-fault: " + planError;
      return std::nullopt;
    }
    faults = *plan;
  }
  if (badBlocks_ && !ParseBlocks(*badBlocks_, faults.badBlocks)) {
    error = "--sim-bad-blocks takes block numbers separated by commas, e.g. 12,40";
    return std::nullopt;
  }
  if (seed_) {
    const auto seed = ParseNumber(*seed_, 10);
    if (!seed) {
      error = "--sim-seed takes a decimal number";
      return std::nullopt;
    }
    faults.seed = *seed;
  }
  return line;
}

}  // namespace korvex::sim
