// korvex: the station's command line.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/station_records.h"
#include "host/paths.h"

namespace korvex::cli {
namespace {

constexpr const char* kUsage =
    "usage: korvex [--home DIR] [--json] COMMAND ...\n"
    "\n"
    "commands:\n"
    "  devices [--sim N]            driver instances and the port each linked board holds\n"
    "  nand-table list              the NAND parameter table, one row per record\n"
    "  nand-table lookup MAIN [EXT] the geometry a chip with these ID keys gets\n"
    "  nand-table add --main H --ext H --page N --block KIB --oob N --blocks N\n"
    "  nand-table delete ROW...     remove records by row number (0-based)\n"
    "  station [options]            the station's main job: burn every linked board\n"
    "  readback --from A --to B --out FILE   read port 1's board, pages A..B-1\n"
    "  sim-home                     write model folders and sample images for simulated boards\n"
    "  check-config [--model M] [FILE]  vet a boot configuration file (M: 7120, 7130,\n"
    "                               7135, 7105B; FILE: the model folder's Korvex2K.cfg)\n"
    "  records [--from DAY] [--to DAY] [--uid TEXT] [--result R] [--csv]\n"
    "                               the board records (DAY: YYYY-MM-DD; R: passed, failed\n"
    "                               or a reason code; --json for JSON Lines)\n"
    "  records sync [--records-db CONN]  send the records the line's database lacks\n"
    "  records generate-demo [--start DAY] [--days N] [--boards N] [--seed S]\n"
    "                               demo data: a week of a made-up station DEMO\n"
    "  report [--from DAY] [--to DAY] [--db CONN] --out FILE  the line's HTML report\n"
    "\n"
    "station --records-db CONN      also send each board's record to the line's database\n"
    "\n"
    "--home DIR  the station's folder (nand_cfg.bin, model folders, logs);\n"
    "            default: the folder of this program\n"
    "--json      JSON output, one object per line\n";

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
  bool help = false;  // nothing after --help is looked at
};

// nullopt after a usage message.
std::optional<CommandLine> ParseCommandLine(int argc, char** argv) {
  CommandLine line;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      line.context.json = true;
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
      return line;
    } else if (line.command.empty() && arg.rfind("--", 0) != 0) {
      line.command = arg;
    } else {
      line.context.args.push_back(arg);
    }
  }
  return line;
}

// The folder given with --home, or the program's own; false after a usage message.
bool ChooseHome(const std::string& home, const char* argv0, std::filesystem::path& folder) {
  if (home.empty()) {
    folder = ExecutableDir(argv0);
    return true;
  }
  folder = PathFromUtf8(home);
  if (!std::filesystem::is_directory(folder)) {
    UsageError("home folder '" + home + "' is not a folder");
    return false;
  }
  return true;
}

int RunCommand(const std::string& command, const CommandContext& context) {
  if (command == "nand-table") return RunNandTable(context);
  if (command == "devices") return RunDevices(context);
  if (command == "check-config") return RunCheckConfig(context);
  if (command == "station") return RunWithStationRecords(context, RunStation);
  if (command == "records") return RunRecords(context);
  if (command == "report") return RunReport(context);
  if (command == "readback") return RunReadback(context);
  if (command == "sim-home") return RunSimHome(context);
  return UsageError("unknown command '" + command + "'");
}

}  // namespace
}  // namespace korvex::cli

int main(int argc, char** argv) {
  using namespace korvex::cli;
  auto line = ParseCommandLine(argc, argv);
  if (!line) return kExitUsage;
  if (line->help) {
    std::cout << kUsage;
    return kExitOk;
  }
  if (line->command.empty()) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  if (!ChooseHome(line->home, argv[0], line->context.home)) return kExitUsage;
  return RunCommand(line->command, line->context);
}
