// korvex: the station's command line.

#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/command_help.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/station_line.h"
#include "cli/json.h"
#include "cli/station_records.h"
#include "host/paths.h"
#include "shell/about.h"

namespace korvex::cli {
namespace {

}  // namespace

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
std::optional<CommandLine> ParseCommandLine(std::span<const std::string> argv) {
  CommandLine line;
  const std::size_t argc = argv.size();
  for (std::size_t i = 1; i < argc; ++i) {
    const std::string& arg = argv[i];
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
  SetJsonErrors(line.context.json);
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
    folder = ProgramFolder(argv0);
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

int Main(std::span<const std::string> args, const char* argv0) {
  auto line = ParseCommandLine(args);
  if (!line) return kExitUsage;
  SetJsonErrors(line->context.json);
  if (line->version) {
    if (line->context.json) {
      std::cout << JsonObject()
                       .Add("type", "version")
                       .Add("program", "korvex")
                       .Add("version", VersionNumber())
                       .Add("commit", BuildCommit())
                       .Add("compiler", CompilerText())
                       .Add("backend", DeviceBackendText())
                       .Str()
                << "\n";
    } else {
      std::cout << VersionText("korvex", DeviceBackendText());
    }
    return kExitOk;
  }
  if (line->help) {
    if (line->command.empty()) {
      std::cout << GlobalUsage();
      return kExitOk;
    }
    const CommandHelp* help = FindCommandHelp(line->command);
    // `records generate-demo --help`: an action's own options.
    if (help != nullptr && !line->context.args.empty()) {
      if (const CommandHelp* action = FindCommandHelp(line->command + " " + line->context.args[0])) help = action;
    }
    if (help == nullptr) return UsageError("unknown command '" + line->command + "'");
    std::cout << CommandHelpText(*help);
    return kExitOk;
  }
  if (line->command.empty()) {
    std::cerr << GlobalUsage();
    return UsageError("give a command: station, readback, devices, nand-table, check-config, sim-home, records "
                      "or report (`korvex --help` lists them)");
  }
  if (FindCommandHelp(line->command) == nullptr) {
    return UsageError("unknown command '" + line->command + "'");
  }
  if (!ChooseHome(*line, argv0, line->context.home)) return kExitUsage;
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
  int code = kExitFailed;
  try {
    const std::vector<std::string> args = PrepareConsole(argc, argv);
    code = Main(args, argv[0]);
  } catch (const std::exception& error) {
    CommandError("error: " + OneLine(error.what()));
  } catch (...) {
    CommandError("error: an unknown exception");
  }
  EndProcess(code);
}
