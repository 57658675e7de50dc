#include "win32/station_options.h"

#include <vector>

#include "shell/option_help.h"

namespace korvex::win32 {

namespace {

constexpr std::string_view kSimulateOption = "--simulate";
constexpr std::string_view kModelOption = "--sim-model";
constexpr std::string_view kSimHomeOption = "--sim-home";
constexpr std::string_view kJobOption = "--job";

struct GivenOption {
  std::string_view name;
  std::string_view value;
};

// args[i] as "--name=value", or as "--name" followed by its value when it takes one;
// `i` ends on the last argument used.
std::optional<GivenOption> TakeOption(std::span<const std::string> args, std::size_t& i,
                                      const sim::SimOptionParser& parser, std::string& error) {
  std::string_view name = args[i];
  std::optional<std::string_view> value;
  if (const std::size_t equals = name.find('='); equals != std::string_view::npos) {
    value = name.substr(equals + 1);
    name = name.substr(0, equals);
  }
  const sim::SimOption* option = parser.Find(name);
  if (option == nullptr && name != kSimHomeOption && name != kJobOption) {
    error = "unknown option '" + args[i] + "'";
    return std::nullopt;
  }
  const bool takesValue = option == nullptr || option->takesValue;
  if (!takesValue && value) {
    error = std::string(name) + " takes no value";
    return std::nullopt;
  }
  if (takesValue && !value) {
    if (i + 1 >= args.size()) {
      error = std::string(name) + " needs a value";
      return std::nullopt;
    }
    value = args[++i];
  }
  return GivenOption{name, value.value_or(std::string_view())};
}

}  // namespace

std::string_view StationUsage() {
  return "korvex.exe [--job FILE] [--simulate N [--sim-model 7120|7130|7135|7105B] [--sim-chip MAIN:EXT] "
         "[--sim-bad-blocks B,B...] [--sim-seed S] [--sim-fault [PORT:]PLAN]... "
         "[--sim-event TIME:ACTION:PORT]... [--sim-timing] [--sim-home DIR]]";
}

std::string StationHelp() {
  const sim::SimOptionParser parser(kSimulateOption, kModelOption, kMaxSimulatedBoards);
  std::vector<OptionHelp> options = SimOptionHelp(
      parser,
      {kSimulateOption, "N",
       "run the window on N simulated boards (0..8), one per USB port, instead of the USB boot driver",
       "off: the USB boot driver"},
      {kModelOption, "M", "the SoC model of the simulated boards: 7120, 7130, 7135 or 7105B", "7135"});
  options.push_back({kSimHomeOption, "DIR",
                     "the simulated station's folder; it gets the placeholder model folders and sample "
                     "images the first time",
                     "sim-home beside korvex.exe"});
  options.push_back({kJobOption, "FILE",
                     "burn by the job file: its model, images and options, locked; its name in the title "
                     "and in every record",
                     "none: the operator picks"});
  options.push_back({"--version", "", "the version, the compiler and the device backend", ""});
  options.push_back({"--help", "", "this text", ""});
  return "usage: " + std::string(StationUsage()) + "\n\noptions:\n" + FormatOptionHelp(options) +
         "\nThe --sim-... options need --simulate N.\n";
}

InfoRequest FindInfoRequest(std::span<const std::string> args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h" || arg == "/?") return InfoRequest::kHelp;
    if (arg == "--version") return InfoRequest::kVersion;
  }
  return InfoRequest::kNone;
}

std::optional<StationOptions> ParseStationOptions(std::span<const std::string> args,
                                                  std::string& error) {
  sim::SimOptionParser parser(kSimulateOption, kModelOption, kMaxSimulatedBoards);
  StationOptions options;
  bool simulate = false;
  bool anySimOption = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const auto option = TakeOption(args, i, parser, error);
    if (!option) return std::nullopt;
    if (option->name == kJobOption) {
      if (option->value.empty()) {
        error = "--job takes the job file's path";
        return std::nullopt;
      }
      options.jobFile = std::string(option->value);
      continue;
    }
    if (option->name == kSimHomeOption) {
      options.simHome = std::string(option->value);
    } else if (!parser.Read(option->name, option->value, error)) {
      return std::nullopt;
    }
    (option->name == kSimulateOption ? simulate : anySimOption) = true;
    if (option->name == kModelOption) options.simModelGiven = true;
  }
  auto line = parser.Finish(error);
  if (!line) return std::nullopt;
  if (anySimOption && !simulate) {
    error = "the --sim-... options need --simulate N";
    return std::nullopt;
  }
  if (simulate) options.simulated = std::move(*line);
  return options;
}

}  // namespace korvex::win32
