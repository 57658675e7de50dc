#pragma once
// Every korvex command's options in one place: the parsers read their option specs
// from these lists and `korvex COMMAND --help` prints them, so what a command takes
// and what its help says cannot part.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_args.h"
#include "shell/option_help.h"

namespace korvex::cli {

struct CommandHelp {
  std::string_view name;
  std::string_view usage;    // after "korvex [global options] "
  std::string_view brief;    // a line for the list of commands
  std::string_view summary;  // what it does, one paragraph
  std::vector<OptionHelp> options;
  std::string_view details;  // more lines after the options; may be empty
};

// Options of the commands that drive boards: the simulator's and --sim-dump.
std::vector<OptionHelp> BoardOptionHelp();

// nullptr for a name that is no command.
const CommandHelp* FindCommandHelp(std::string_view name);

// `korvex --help`: the commands, the global options and the exit codes.
std::string GlobalUsage();
// `korvex COMMAND --help`.
std::string CommandHelpText(const CommandHelp& command);

std::vector<OptionSpec> SpecsOf(std::span<const OptionHelp> options);

// A command's options as its help lists them, no positional argument allowed;
// nullopt after a usage message.
std::optional<ParsedArgs> ParseCommandOptions(std::string_view command,
                                              std::span<const std::string> arguments);

}  // namespace korvex::cli
