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
#include "app/station_texts.h"
#include "cli/cli_args.h"
#include "cli/command_help.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/sim_options.h"
#include "cli/station_line.h"
#include "cli/station_view.h"
#include "host/paths.h"
#include "app/port_workers.h"
#include "nandtable/nand_cfg.h"

namespace korvex::cli {

namespace {

// What the readback options ask for.
struct ReadbackJob {
  LineSetup setup;
  std::uint32_t fromPage = 0;
  std::uint32_t toPage = 0;  // one past the last page read
  std::string out;
  bool simulated = false;  // --sim given
};

// nullopt after a usage message.
std::optional<ReadbackJob> ParseReadbackJob(std::span<const std::string> arguments) {
  const auto args = ParseCommandOptions("readback", arguments);
  if (!args) return std::nullopt;
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
  if (*to <= *from) {
    // The READ button's own word for it, and what it means.
    UsageError(std::string(kTextBadAddressRange) + ": --to (" + std::to_string(*to) +
               ") must be above --from (" + std::to_string(*from) + "); pages --from up to --to - 1 are read");
    return std::nullopt;
  }
  ReadbackJob job{.setup = {}, .fromPage = *from, .toPage = *to, .out = args->Get("--out")};
  const std::filesystem::path folder = PathFromUtf8(job.out).parent_path();
  if (!folder.empty() && !std::filesystem::is_directory(folder)) {
    UsageError("cannot create " + job.out + ": no such folder " + PathToUtf8(folder));
    return std::nullopt;
  }
  if (!ParseLineSetup(*args, static_cast<int>(kPortCount), job.setup)) return std::nullopt;
  job.simulated = args->Has("--sim");
  return job;
}

// Message boxes, each one counted, and the worker's progress messages go to the window.
void RouteToWindow(StationLine& line, StationView& window, int& messages) {
  line.SetMessageBoxHandler([&](const MessageBoxRequest& request) {
    ++messages;
    window.ShowMessage(request);
    return MessageAnswer::Ok;
  });
  line.SetWindowProcedure([&window](WindowHandle, std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
    return window.HandleMessage(message, wParam, lParam);
  });
}

// The READ button on port 0's board; false when it could not start.
bool ReadPortZero(const ReadbackJob& job, StationLine& line) {
  Host& host = line.GetHost();
  ResetPortRecords();
  auto tables = std::make_unique<DeviceTables>();
  BuildDeviceTables(host, *tables);
  PortScheduler scheduler(host, *tables, ThreadFunc0, ReadBack);
  StationSettings settings;
  settings.hwndMain = 1;
  const bool started =
      scheduler.StartReadBack(settings, job.fromPage, job.toPage, PathFromUtf8(job.out));
  line.EndWorkers(true);
  return started;
}

void PrintResult(const ReadbackJob& job, bool json, bool ok) {
  if (json) {
    std::cout << JsonObject()
                     .Add("type", "readback")
                     .Add("ok", ok)
                     .Add("out", job.out)
                     .Add("from", static_cast<std::int64_t>(job.fromPage))
                     .Add("to", static_cast<std::int64_t>(job.toPage))
                     .Str()
              << "\n";
  } else if (ok) {
    std::cout << "read pages " << job.fromPage << " to " << job.toPage - 1 << " into " << job.out << "\n";
  }
}

}  // namespace

int RunReadback(const CommandContext& context) {
  const auto job = ParseReadbackJob(context.args);
  if (!job) return kExitUsage;
  SelectCpuModel(job->setup.line.board.model);

  StationView window(context.json ? ConsoleStyle::Json : ConsoleStyle::Plain,
                     context.quiet ? Verbosity::Quiet : Verbosity::Normal, "Korvex", JobPlan{});
  auto line = OpenStationLine(job->setup, context.home, job->simulated);
  if (!line) return kExitUsage;
  if (job->setup.line.boards > 0) {
    std::cerr << "korvex: note: a simulated board starts blank, so the pages read are 0xFF unless this "
                 "run burned them; `korvex station ... --sim-dump DIR` keeps each burned board's NAND "
                 "in DIR/board-<k>.nand\n";
  }
  int messages = 0;
  RouteToWindow(*line, window, messages);
  if (!EnsureNandTable(line->GetHost())) return kExitFailed;

  const bool started = ReadPortZero(*job, *line);
  if (const sim::SimHost* host = line->Simulated()) DumpBoards(job->setup, *host);
  const bool ok = started && messages == 0;
  PrintResult(*job, context.json, ok);
  return ok ? kExitOk : kExitFailed;
}

}  // namespace korvex::cli
