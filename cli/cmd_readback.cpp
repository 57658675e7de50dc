// korvex readback --from A --to B --out FILE: reads port 0's board into FILE as the
// READ button does (pages A .. B-1, page data only).

#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/port_scheduler.h"
#include "app/model_selection.h"
#include "station/production_log.h"
#include "boot/station_model.h"
#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/console_window.h"
#include "cli/json.h"
#include "cli/sim_options.h"
#include "host/paths.h"
#include "app/port_workers.h"
#include "nandtable/nand_cfg.h"

namespace korvex::cli {

namespace {

std::vector<OptionSpec> ReadbackOptionSpecs() {
  std::vector<OptionSpec> specs = BoardOptionSpecs();
  specs.push_back({"--from", true});
  specs.push_back({"--to", true});
  specs.push_back({"--out", true});
  return specs;
}

// What the readback options ask for.
struct ReadbackJob {
  LineSetup setup;
  std::uint32_t fromPage = 0;
  std::uint32_t toPage = 0;  // one past the last page read
  std::string out;
};

// nullopt after a usage message.
std::optional<ReadbackJob> ParseReadbackJob(std::span<const std::string> arguments) {
  const std::vector<OptionSpec> specs = ReadbackOptionSpecs();
  std::string error;
  const auto args = ParseArgs(arguments, specs, error);
  if (!args) {
    UsageError(error);
    return std::nullopt;
  }
  if (!args->positional.empty()) {
    UsageError("unexpected argument '" + args->positional[0] + "'");
    return std::nullopt;
  }
  if (!args->Has("--from") || !args->Has("--to") || !args->Has("--out")) {
    UsageError("readback needs --from PAGE --to PAGE --out FILE");
    return std::nullopt;
  }
  const auto from = ParseUnsigned(args->Get("--from"), 10);
  const auto to = ParseUnsigned(args->Get("--to"), 10);
  if (!from || !to) {
    UsageError("--from and --to take page numbers");
    return std::nullopt;
  }
  ReadbackJob job{.setup = {}, .fromPage = *from, .toPage = *to, .out = args->Get("--out")};
  if (!ParseLineSetup(*args, static_cast<int>(kPortCount), job.setup)) return std::nullopt;
  return job;
}

// Message boxes, each one counted, and the worker's progress messages go to the window.
void RouteToWindow(sim::SimHost& host, ConsoleWindow& window, int& messages) {
  host.SetMessageBoxHandler([&](const MessageBoxRequest& request) {
    ++messages;
    window.ShowMessage(request);
    return MessageAnswer::Ok;
  });
  host.SetWindowProcedure([&window](WindowHandle, std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
    return window.HandleMessage(message, wParam, lParam);
  });
}

// The READ button on port 0's board; false when it could not start.
bool ReadPortZero(const ReadbackJob& job, sim::SimHost& host) {
  ResetPortRecords();
  auto tables = std::make_unique<DeviceTables>();
  BuildDeviceTables(host, *tables);
  PortScheduler scheduler(host, *tables, ThreadFunc0, ReadBack);
  StationSettings settings;
  settings.hwndMain = 1;
  const bool started =
      scheduler.StartReadBack(settings, job.fromPage, job.toPage, PathFromUtf8(job.out));
  host.JoinThreads();
  return started;
}

void PrintResult(const ReadbackJob& job, bool json, bool ok) {
  if (json) {
    std::cout << JsonObject().Add("type", "result").Add("ok", ok).Add("out", job.out).Str() << "\n";
  } else if (ok) {
    std::cout << "read pages " << job.fromPage << " to " << job.toPage - 1 << " into " << job.out << "\n";
  }
}

}  // namespace

int RunReadback(const CommandContext& context) {
  const auto job = ParseReadbackJob(context.args);
  if (!job) return kExitUsage;
  SelectCpuModel(job->setup.line.board.model);

  ConsoleWindow window(context.json ? ConsoleStyle::Json : ConsoleStyle::Plain, "Korvex");
  auto host = MakeLineHost(job->setup, context.home);
  int messages = 0;
  RouteToWindow(*host, window, messages);
  if (!EnsureNandTable(*host)) return kExitFailed;

  const bool started = ReadPortZero(*job, *host);
  DumpBoards(job->setup, *host);
  const bool ok = started && messages == 0;
  PrintResult(*job, context.json, ok);
  return ok ? kExitOk : kExitFailed;
}

}  // namespace korvex::cli
