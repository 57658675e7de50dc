#include "sim/sim_options.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "sim/sim_chips.h"
#include "sim/sim_models.h"

namespace korvex::sim {

namespace {

constexpr std::string_view kChipOption = "--sim-chip";
constexpr std::string_view kFaultOption = "--sim-fault";
constexpr std::string_view kBadBlocksOption = "--sim-bad-blocks";
constexpr std::string_view kSeedOption = "--sim-seed";
constexpr std::string_view kEventOption = "--sim-event";
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

bool Fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

// "MAIN:EXT" in hex.
bool ParseChipKeys(std::string_view text, ChipSpec& chip) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const auto mainId = ParseNumber(text.substr(0, colon), 16);
  const auto extId = ParseNumber(text.substr(colon + 1), 16);
  if (!mainId || !extId || *mainId > 0xFFFF || *extId > 0xFFFFFF) return false;
  chip.mainId = static_cast<std::uint16_t>(*mainId);
  chip.extId = static_cast<std::uint32_t>(*extId);
  return true;
}

// The limits of a made-up chip. A page is what a NAND page can be; a block holds a
// whole number of pages; the chip's page numbers must fit the 32-bit words the boards
// count them in.
constexpr std::uint64_t kMinPage = 512, kMaxPage = 16384;
constexpr std::uint64_t kMaxBlockKiB = 16384;
constexpr std::uint64_t kMaxBlocks = 65536;

std::string GeometryUsage() {
  return "--sim-chip takes MAIN:EXT or MAIN:EXT,page=P,block=KIB,spare=S,blocks=N, e.g. "
         "98DA:761590,page=2048,block=128,spare=64,blocks=2048";
}

// ",page=P,block=KIB,spare=S,blocks=N" after the keys: each field once, all four.
bool ParseChipGeometry(std::string_view text, ChipGeometry& geometry, std::string& error) {
  constexpr std::string_view kFields[] = {"page", "block", "spare", "blocks"};
  std::optional<std::uint64_t> values[4];
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    const std::size_t equals = item.find('=');
    const std::string_view name = item.substr(0, equals);
    const auto field = std::ranges::find(kFields, name);
    if (equals == std::string_view::npos || field == std::end(kFields)) {
      return Fail(error, GeometryUsage() + " (not a field: \"" + std::string(item) + "\")");
    }
    auto& value = values[field - std::begin(kFields)];
    if (value) return Fail(error, "--sim-chip: " + std::string(name) + "= is given twice");
    value = ParseNumber(item.substr(equals + 1), 10);
    if (!value) {
      return Fail(error, "--sim-chip: " + std::string(name) + "= takes a decimal number, not \"" +
                             std::string(item.substr(equals + 1)) + "\"");
    }
  }
  for (std::size_t i = 0; i < 4; ++i) {
    if (!values[i]) return Fail(error, "--sim-chip: " + std::string(kFields[i]) + "= is missing (" + GeometryUsage() + ")");
  }
  const std::uint64_t page = *values[0], blockKiB = *values[1], spare = *values[2], blocks = *values[3];
  if (page < kMinPage || page > kMaxPage || (page & (page - 1)) != 0) {
    return Fail(error, "--sim-chip: page=" + std::to_string(page) +
                           " is not a page size: a power of two from 512 to 16384 bytes");
  }
  if (blockKiB == 0 || blockKiB > kMaxBlockKiB || blockKiB * 1024 % page != 0) {
    return Fail(error, "--sim-chip: block=" + std::to_string(blockKiB) +
                           " is not a block: KiB from 1 to 16384 holding a whole number of " +
                           std::to_string(page) + "-byte pages");
  }
  if (spare > page / 4) {
    return Fail(error, "--sim-chip: spare=" + std::to_string(spare) +
                           " is more spare bytes than a " + std::to_string(page) +
                           "-byte page has (at most " + std::to_string(page / 4) + ")");
  }
  if (blocks < 2 || blocks > kMaxBlocks) {
    return Fail(error, "--sim-chip: blocks=" + std::to_string(blocks) + " is not from 2 to 65536");
  }
  geometry = {static_cast<std::uint32_t>(page), static_cast<std::uint32_t>(blockKiB * 1024),
              static_cast<std::uint32_t>(spare), static_cast<std::uint32_t>(blocks)};
  return true;
}

// "MAIN:EXT" names one of the simulator's chips; with the four fields it is any chip.
bool ParseChip(std::string_view text, ChipSpec& chip, std::string& error) {
  const std::size_t comma = text.find(',');
  if (!ParseChipKeys(text.substr(0, comma), chip)) {
    return Fail(error, comma == std::string_view::npos
                           ? "--sim-chip takes MAIN:EXT in hex, e.g. ECD3:589551"
                           : GeometryUsage());
  }
  if (comma == std::string_view::npos) {
    chip.geometry.reset();
    if (FindSimChip(chip.mainId, chip.extId)) return true;
    return Fail(error, "--sim-chip: " + UnknownSimChipText(chip.mainId, chip.extId));
  }
  ChipGeometry geometry;
  if (!ParseChipGeometry(text.substr(comma + 1), geometry, error)) return false;
  chip.geometry = geometry;
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

// Several texts for one target read as one plan, so an item given twice is refused
// as it is inside one text.
void Join(std::string& plan, std::string_view more) {
  if (more.find_first_not_of(" \t") == std::string_view::npos) return;
  if (plan.find_first_not_of(" \t") != std::string::npos) plan += ',';
  plan.append(more);
}

std::string PortFaultOption(int usbPort) {
  return std::string(kFaultOption) + " for port " + std::to_string(usbPort + 1);
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
                {kFaultOption, true, true},
                {kBadBlocksOption, true},
                {kSeedOption, true},
                {kEventOption, true, true},
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
    const auto model = SimModelOfFolder(value);
    if (!model) return Fail(error, std::string(name) + " takes 7120, 7130, 7135 or 7105B");
    line_.board.model = *model;
  } else if (name == boardsOption_) {
    const auto boards = ParseBoardCount(name, value, maxBoards_, error);
    if (!boards) return false;
    line_.boards = *boards;
  } else if (name == kChipOption) {
    return ParseChip(value, line_.board.chip, error);
  } else if (name == kFaultOption) {
    return ReadFault(value, error);
  } else if (name == kEventOption) {
    std::string why;
    const auto event = ParsePlugEvent(value, maxBoards_, why);
    if (!event) return Fail(error, "--sim-event \"" + std::string(value) + "\": " + why);
    line_.events.push_back(*event);
  } else if (name == kBadBlocksOption) {
    badBlocks_ = std::string(value);
  } else if (name == kSeedOption) {
    seed_ = std::string(value);
  } else {
    line_.timing = true;  // --sim-timing, the one option without a value
  }
  return true;
}

// "PLAN" is every board's, "N:PLAN" port N's (N as operators count).
bool SimOptionParser::ReadFault(std::string_view value, std::string& error) {
  const std::size_t colon = value.find(':');
  if (colon == std::string_view::npos) {
    Join(faultPlan_ ? *faultPlan_ : faultPlan_.emplace(), value);
    return true;
  }
  const auto port = ParseNumber(value.substr(0, colon), 10);
  if (!port || *port < 1 || *port > static_cast<std::uint64_t>(maxBoards_)) {
    return Fail(error, std::string(kFaultOption) + " \"" + std::string(value) + "\": port " +
                           std::string(value.substr(0, colon)) + " is not one of 1.." +
                           std::to_string(maxBoards_));
  }
  Join(portFaultPlans_[static_cast<int>(*port) - 1], value.substr(colon + 1));
  return true;
}

// A block past the chip's end would make the board refuse to be plugged in at all.
bool SimOptionParser::CheckBlocks(const std::vector<std::uint32_t>& blocks, std::string_view what,
                                  std::string_view option, std::string& error) const {
  const ChipSpec& chip = line_.board.chip;
  const SimChip* known = FindSimChip(chip.mainId, chip.extId);
  if (!chip.geometry && known == nullptr) return true;  // --sim-chip refused it already
  const std::uint32_t total = chip.geometry ? chip.geometry->totalBlocks : known->geometry.totalBlocks;
  for (const std::uint32_t block : blocks) {
    if (block >= total) {
      return Fail(error, std::string(option) + ": " + std::string(what) + std::to_string(block) +
                             " is past the chip's last block " + std::to_string(total - 1));
    }
  }
  return true;
}

bool SimOptionParser::CheckPlanBlocks(const FaultPlan& plan, std::string_view option,
                                      std::string& error) const {
  return CheckBlocks(plan.badBlocks, "bad block ", option, error) &&
         CheckBlocks(plan.programFailBlocks, "program-fail block ", option, error);
}

std::optional<SimulatedLine> SimOptionParser::Finish(std::string& error) const {
  SimulatedLine line = line_;
  FaultPlan& faults = line.board.faults;
  std::string planError;
  if (faultPlan_ && !ParseFaultPlanOnto(*faultPlan_, faults, planError)) {
    error = std::string(kFaultOption) + ": " + planError;
    return std::nullopt;
  }
  if (!CheckPlanBlocks(faults, kFaultOption, error)) return std::nullopt;
  if (badBlocks_) {
    std::vector<std::uint32_t> blocks;
    if (!ParseBlocks(*badBlocks_, blocks)) {
      error = "--sim-bad-blocks takes block numbers separated by commas, e.g. 12,40";
      return std::nullopt;
    }
    if (!CheckBlocks(blocks, "block ", kBadBlocksOption, error)) return std::nullopt;
    faults.badBlocks.insert(faults.badBlocks.end(), blocks.begin(), blocks.end());
  }
  if (seed_) {
    const auto seed = ParseNumber(*seed_, 10);
    if (!seed) {
      error = "--sim-seed takes a decimal number";
      return std::nullopt;
    }
    faults.seed = *seed;
    line.randomSeed = *seed;
  }
  std::ranges::stable_sort(line.events, {}, &PlugEvent::at);
  for (const auto& [port, text] : portFaultPlans_) {
    const std::string option = PortFaultOption(port);
    FaultPlan plan = faults;
    if (!ParseFaultPlanOnto(text, plan, planError)) {
      error = option + ": " + planError;
      return std::nullopt;
    }
    if (!CheckPlanBlocks(plan, option, error)) return std::nullopt;
    const bool plugged = port < line.boards || std::ranges::any_of(line.events, [port](const PlugEvent& e) {
      return e.usbPort == port && e.action == PlugAction::kPlug;
    });
    if (!plugged) {
      error = option + ": no board is ever plugged into port " + std::to_string(port + 1) + " (" +
              std::string(boardsOption_) + " " + std::to_string(line.boards) +
              ", and no --sim-event plugs one there)";
      return std::nullopt;
    }
    line.portFaults[port] = std::move(plan);
  }
  return line;
}

}  // namespace korvex::sim
