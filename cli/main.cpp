// korvex: the station's command line.

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/command_help.h"
#include "cli/commands.h"
#include "cli/station_records.h"
#include "host/paths.h"
#include "shell/about.h"

namespace korvex::cli {
namespace {

// This build reaches boards only through the simulator.
constexpr std::string_view kDeviceBackend =
    "none on this platform: boards are simulated (--sim N); the USB boot driver is korvex.exe's";

std::filesystem::path ExecutableDir(const char* argv0) {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.parent_path();
  return std::filesystem::absolute(argv0, ec).parent_path();
}

}  // namespace

int UsageError(const std::string& message) {
  std::cerr << "korvex: " << message << "\n";
  return kExitUsage;
}

namespace {

// What comes before, between and after the command's own arguments.
struct CommandLine {
  CommandContext context;
  std::string command;
  std::string home;   // as given; empty for the program's folder
  bool help = false;
  bool version = false;
};

// nullopt after a usage message.
std::optional<CommandLine> ParseCommandLine(int argc, char** argv) {
  CommandLine line;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      line.context.json = true;
    } else if (arg == "--quiet") {
      line.context.quiet = true;
    } else if (arg == "--verbose") {
      line.context.verbose = true;
    } else if (arg == "--home") {
      if (i + 1 >= argc) {
        UsageError("option '--home' needs a value");
        return std::nullopt;
      }
      line.home = argv[++i];
    } else if (arg.rfind("--home=", 0) == 0) {
      line.home = arg.substr(7);
    } else if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else if (line.command.empty() && arg.rfind("--", 0) != 0) {
      line.command = arg;
    } else {
      line.context.args.push_back(arg);
    }
  }
  if (line.context.quiet && line.context.verbose) {
    UsageError("--quiet and --verbose exclude each other");
    return std::nullopt;
  }
  return line;
}

// The folder given with --home, or the program's own; false after a usage message.
// sim-home makes its folder, parents and all; every other command needs it to exist.
bool ChooseHome(const CommandLine& line, const char* argv0, std::filesystem::path& folder) {
  if (line.home.empty()) {
    folder = ExecutableDir(argv0);
    return true;
  }
  folder = PathFromUtf8(line.home);
  if (line.command == "sim-home") {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
  }
  if (std::filesystem::is_directory(folder)) return true;
  UsageError("home folder '" + line.home + "' " +
             (std::filesystem::exists(folder) ? "is not a folder"
                                              : "does not exist (`korvex --home DIR sim-home` "
                                                "writes one for simulated boards)"));
  return false;
}

int RunCommand(const std::string& command, const CommandContext& context) {
  if (command == "nand-table") return RunNandTable(context);
  if (command == "devices") return RunDevices(context);
  if (command == "check-config") return RunCheckConfig(context);
  if (command == "station") return RunWithStationRecords(context, RunStation);
  if (command == "records") return RunRecords(context);
  if (command == "report") return RunReport(context);
  if (command == "job") return RunJob(context);
  if (command == "readback") return RunReadback(context);
  if (command == "sim-home") return RunSimHome(context);
  return UsageError("unknown command '" + command + "'");
}

int Main(int argc, char** argv) {
  auto line = ParseCommandLine(argc, argv);
  if (!line) return kExitUsage;
  if (line->version) {
    std::cout << VersionText("korvex", kDeviceBackend);
    return kExitOk;
  }
  if (line->help) {
    if (line->command.empty()) {
      std::cout << GlobalUsage();
      return kExitOk;
    }
    const CommandHelp* help = FindCommandHelp(line->command);
    if (help == nullptr) return UsageError("unknown command '" + line->command + "'");
    std::cout << CommandHelpText(*help);
    return kExitOk;
  }
  if (line->command.empty()) {
    std::cerr << GlobalUsage();
    return kExitUsage;
  }
  if (FindCommandHelp(line->command) == nullptr) {
    return UsageError("unknown command '" + line->command + "'");
  }
  if (!ChooseHome(*line, argv[0], line->context.home)) return kExitUsage;
  return RunCommand(line->command, line->context);
}

// The error in one line, whatever it says.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace
}  // namespace korvex::cli

// No exception ends the program unreported: it gets one line and exit code 1.
int main(int argc, char** argv) {
  using namespace korvex::cli;
  try {
    return Main(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "korvex: error: " << OneLine(error.what()) << "\n";
  } catch (...) {
    std::cerr << "korvex: error: an unknown exception\n";
  }
  return kExitFailed;
}
