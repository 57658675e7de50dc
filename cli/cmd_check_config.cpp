// korvex check-config [--model 7120|7130|7135|7105B] [FILE]: vets a model folder's
// configuration file before a shift. Exit 0 when it passes, 1 when not, 2 on bad usage.

#include <iostream>

#include "boot/check_config.h"
#include "boot/station_model.h"
#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "host/paths.h"
#include "sim/sim_host.h"

namespace korvex::cli {

namespace {

constexpr OptionSpec kCheckConfigOptions[] = {{"--model", true}};

std::string JsonTextArray(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (const std::string& text : texts) out += (out.size() > 1 ? "," : "") + JsonQuote(text);
  return out + "]";
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
                   .Add("file", PathToUtf8(result.path))
                   .Add("model", FindCpuModel(result.model)->folder)
                   .Add("parseResult", static_cast<std::int64_t>(result.parseResult))
                   .AddRaw("diagnostics", JsonTextArray(diagnostics))
                   .AddRaw("messages", JsonTextArray(result.messages))
                   .Add("record", RecordHex(result.config))
                   .Add("sdramBytes", static_cast<std::int64_t>(result.sdramBytes))
                   .AddRaw("failedRules", JsonTextArray(failures))
                   .Add("pass", result.Passed())
                   .Str()
            << "\n";
}

}  // namespace

int RunCheckConfig(const CommandContext& context) {
  std::string error;
  const auto args = ParseArgs(context.args, kCheckConfigOptions, error);
  if (!args) return UsageError(error);
  if (args->positional.size() > 1) return UsageError("check-config takes at most one FILE");
  int model = kDefaultCpuModel;
  if (args->Has("--model")) {
    const auto parsed = ParseModelName(args->Get("--model"));
    if (!parsed) return UsageError("--model takes 7120, 7130, 7135 or 7105B");
    model = *parsed;
  }
  sim::SimHost host(0, context.home);  // the program folder only; no boards involved
  const CpuModelInfo& info = *FindCpuModel(model);
  const std::filesystem::path path = args->positional.empty()
                                         ? ModelFilePath(host, info, kConfig2KFileName)
                                         : PathFromUtf8(args->positional[0]);
  const CheckConfigResult result = RunCheckConfig(host, model, path);
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
