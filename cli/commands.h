#pragma once
// The korvex subcommands. Each gets what main() parsed for everyone: the station's
// home folder, the output style and its own arguments.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace korvex {
class RecordKeeper;
}

namespace korvex::cli {

struct CommandContext {
  std::filesystem::path home;  // program folder: nand_cfg.bin, model folders, logs
  bool json = false;           // one JSON object per line
  bool quiet = false;          // results and errors only
  bool verbose = false;        // also each board's requests, from the simulator's trace
  std::vector<std::string> args;  // after the command name
};

int RunNandTable(const CommandContext& context);
int RunDevices(const CommandContext& context);
int RunCheckConfig(const CommandContext& context);
int RunStation(const CommandContext& context, const std::shared_ptr<RecordKeeper>& keeper);
int RunReadback(const CommandContext& context);
int RunSimHome(const CommandContext& context);
int RunRecords(const CommandContext& context);
int RunReport(const CommandContext& context);
int RunJob(const CommandContext& context);

// "korvex: <message>" on stderr; returns kExitUsage for one-line returns. With --json
// the same message also goes to stdout as an "error" object.
int UsageError(const std::string& message);
// An error that ends a command with exit code 1, told the same two ways.
int CommandError(const std::string& message);
// Whether the errors also go to stdout as JSON; main() sets it once.
void SetJsonErrors(bool json);

}  // namespace korvex::cli
