// korvex check-config [--model 7120|7130|7135|7105B] [FILE]: vets a model folder's
// configuration file before a shift. Exit 0 when it passes, 1 when not, 2 on bad usage.
// Without --model the file's own folder names the model (7120/Korvex2K.cfg is a 7120
// file), since each model's grammar differs.

#include <iostream>
#include <optional>

#include "boot/check_config.h"
#include "boot/station_model.h"
#include "cli/cli_args.h"
#include "cli/command_help.h"
#include "cli/commands.h"
#include "cli/file_checks.h"
#include "cli/json.h"
#include "host/paths.h"
#include "sim/sim_host.h"

namespace korvex::cli {

namespace {

// The model --model names, else the one whose folder holds the file, else the default.
std::optional<int> ChooseModel(const ParsedArgs& args) {
  if (args.Has("--model")) {
    const auto parsed = ParseModelName(args.Get("--model"));
    if (!parsed) UsageError("--model takes 7120, 7130, 7135 or 7105B");
    return parsed;
  }
  if (!args.positional.empty()) {
    const std::filesystem::path folder = PathFromUtf8(args.positional[0]).parent_path().filename();
    if (const auto model = ParseModelName(PathToUtf8(folder))) return model;
  }
  return kDefaultCpuModel;
}

std::string RecordHex(const BootConfig& config) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const std::uint8_t byte : SerializeBootConfig(config)) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

void PrintJson(const CheckConfigResult& result) {
  std::vector<std::string> diagnostics, failures;
  for (const auto& d : result.diagnostics) diagnostics.push_back(d.text);
  for (const auto& f : result.ruleFailures) failures.push_back(f.text);
  std::cout << JsonObject()
                   .Add("type", "check-config")
                   .Add("file", PathToUtf8(result.path))
                   .Add("model", ParsedModel(result.model).folder)
                   .Add("parseResult", static_cast<std::int64_t>(result.parseResult))
                   .AddRaw("diagnostics", JsonArray(diagnostics))
                   .AddRaw("messages", JsonArray(result.messages))
                   .Add("record", RecordHex(result.config))
                   .Add("sdramBytes", static_cast<std::int64_t>(result.sdramBytes))
                   .AddRaw("failedRules", JsonArray(failures))
                   .Add("pass", result.Passed())
                   .Str()
            << "\n";
}

}  // namespace

int RunCheckConfig(const CommandContext& context) {
  std::string error;
  const auto args = ParseArgs(context.args, SpecsOf(FindCommandHelp("check-config")->options), error);
  if (!args) return UsageError(error);
  if (args->positional.size() > 1) return UsageError("check-config takes at most one FILE");
  const std::optional<int> model = ChooseModel(*args);
  if (!model) return kExitUsage;
  sim::SimHost host(0, context.home);  // the program folder only; no boards involved
  const CpuModelInfo& info = ParsedModel(*model);
  const std::filesystem::path path = args->positional.empty()
                                         ? ModelFilePath(host, info, kConfig2KFileName)
                                         : PathFromUtf8(args->positional[0]);
  // A FIFO, a device or a huge file would be read without end.
  if (const std::string problem = ConfigFileProblem(path); !problem.empty()) return UsageError(problem);
  const CheckConfigResult result = RunCheckConfig(host, *model, path);
  if (result.parseResult == kParseCannotOpen) {
    return UsageError("cannot read '" + PathToUtf8(path) + "'");
  }
  if (context.json) {
    PrintJson(result);
  } else {
    std::cout << FormatCheckConfigReport(result);
  }
  return result.Passed() ? kExitOk : kExitFailed;
}

}  // namespace korvex::cli
