// korvex readback --from A --to B --out FILE: reads port 1's board into FILE as the
// READ button does (pages A .. B-1, page data only). Everything that can be known
// beforehand is checked before the board is touched: the range against the chip and
// against one transfer's size, the output's folder and its free space.

#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/model_selection.h"
#include "app/port_scheduler.h"
#include "app/port_workers.h"
#include "app/station_core.h"
#include "records/record_keeper.h"
#include "app/station_close.h"
#include "app/station_texts.h"
#include "cli/cli_args.h"
#include "cli/command_help.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/console_texts.h"
#include "cli/json.h"
#include "cli/sim_options.h"
#include "cli/station_line.h"
#include "cli/station_view.h"
#include "host/paths.h"
#include "nandtable/nand_cfg.h"

namespace korvex::cli {

namespace {

// One readback writes at most this much: a range beyond it is a mistake, and the file
// must fit where the operator put it.
constexpr std::uint64_t kMaxReadbackBytes = 64ull << 20;
// Without a known chip the largest page the station supports bounds the file.
constexpr std::uint32_t kLargestPageBytes = 16384;
constexpr auto kPollPeriod = std::chrono::milliseconds(20);
// How long an interrupted read may take to reach its next page before the board is let go.
constexpr auto kStopPatience = std::chrono::seconds(2);

struct ReadbackJob {
  LineSetup setup;
  std::uint32_t fromPage = 0;
  std::uint32_t toPage = 0;  // one past the last page read
  std::string out;
  bool simulated = false;  // --sim given
  std::uint32_t pageBytes = kLargestPageBytes;  // the chip's, when known
  bool pageKnown = false;

  std::uint64_t Bytes() const { return std::uint64_t{toPage - fromPage} * pageBytes; }
};

std::string ChipKeys(const LineSetup& setup) {
  char text[32];
  std::snprintf(text, sizeof text, "%04X:%06X", setup.line.board.chip.mainId, setup.line.board.chip.extId);
  return text;
}

// The range against the chip's pages and one transfer's size; false after a usage message.
bool CheckRange(ReadbackJob& job) {
  const std::string range = " (--from " + std::to_string(job.fromPage) + " --to " + std::to_string(job.toPage) + ")";
  if (const sim::ChipGeometry* chip = SimulatedChipGeometry(job.setup)) {
    job.pageBytes = chip->pageSize;
    job.pageKnown = true;
    const std::uint64_t pages = std::uint64_t{chip->totalBlocks} * (chip->blockSize / chip->pageSize);
    if (job.toPage > pages) {
      UsageError("the range" + range + " runs past the chip: chip " + ChipKeys(job.setup) + " has " +
                 std::to_string(pages) + " pages (0.." + std::to_string(pages - 1) + "); give --to " +
                 std::to_string(pages) + " or less");
      return false;
    }
  }
  const std::uint64_t maxPages = kMaxReadbackBytes / job.pageBytes;
  if (job.toPage - job.fromPage > maxPages) {
    UsageError("the range" + range + " is " + std::to_string(job.toPage - job.fromPage) +
               " pages; one readback takes at most " + std::to_string(maxPages) + " pages of " +
               std::to_string(job.pageBytes) + " bytes (64 MiB" + (job.pageKnown ? "" : ", in the largest page") +
               "): read the range in parts");
    return false;
  }
  return true;
}

// The output file's place: an existing folder that takes a file this size.
bool CheckOutput(const ReadbackJob& job) {
  const std::filesystem::path out = PathFromUtf8(job.out);
  std::filesystem::path folder = out.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    UsageError("cannot create " + job.out + ": no such folder " + PathToUtf8(folder) + "; create it or give another --out");
    return false;
  }
  const auto status = std::filesystem::status(out, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    UsageError(job.out + " is not a regular file: give --out a file's name");
    return false;
  }
  const std::filesystem::space_info space = std::filesystem::space(folder, error);
  if (!error && space.available < job.Bytes()) {
    UsageError("the pages take " + std::to_string(job.Bytes()) + " bytes, but " + PathToUtf8(folder) + " has " +
               std::to_string(space.available) + " bytes free: free some space or give --out another folder");
    return false;
  }
  return true;
}

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
    UsageError("--to (" + std::to_string(*to) + ") must be above --from (" + std::to_string(*from) +
               "): pages --from up to --to - 1 are read (" + std::string(kTextBadAddressRange) + ")");
    return std::nullopt;
  }
  ReadbackJob job{.setup = {}, .fromPage = *from, .toPage = *to, .out = args->Get("--out")};
  if (!ParseLineSetup(*args, static_cast<int>(kPortCount), job.setup)) return std::nullopt;
  if (job.setup.line.boards == 0 && !HasDeviceDriver()) {
    UsageError("this build has no USB boot driver, so there is no board to read: give --sim 1 to read a "
               "simulated board");
    return std::nullopt;
  }
  job.simulated = args->Has("--sim");
  if (!CheckRange(job) || !CheckOutput(job)) return std::nullopt;
  return job;
}

// Message boxes, each one kept, and the worker's progress messages go to the window.
// The text console tells the first of them once, at the end, in plain English.
void RouteToWindow(StationLine& line, StationView& window, bool json, std::vector<std::string>& messages) {
  line.SetMessageBoxHandler([&, json](const MessageBoxRequest& request) {
    messages.emplace_back(request.text);
    if (json && !Interrupted()) window.ShowMessage(request);
    return MessageAnswer::Ok;
  });
  line.SetWindowProcedure([&window](WindowHandle, std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
    return window.HandleMessage(message, wParam, lParam);
  });
}

// The READ button on port 1's board, until it ends or Ctrl-C stops it; false when it
// could not start.
bool ReadPortOne(const ReadbackJob& job, StationLine& line) {
  ReopenStation();
  StationCore station(line.GetHost(), RecordKeeper::None());
  PortScheduler& scheduler = station.scheduler();
  StationSettings settings;
  settings.hwndMain = 1;
  CatchInterrupts();
  const bool started = scheduler.StartReadBack(settings, job.fromPage, job.toPage, PathFromUtf8(job.out));
  std::optional<std::chrono::steady_clock::time_point> stopAsked;
  while (started && g_portRuns[0].workerRunning) {
    if (Interrupted() && !stopAsked) {
      RequestWorkersStop();  // the read ends at its next page
      stopAsked = std::chrono::steady_clock::now();
    }
    if (stopAsked && std::chrono::steady_clock::now() - *stopAsked > kStopPatience) {
      // A simulated board that no longer answers is let go.
      if (sim::SimHost* simulated = line.Simulated()) simulated->Unplug(0);
    }
    std::this_thread::sleep_for(kPollPeriod);
  }
  line.EndWorkers(!g_portRuns[0].workerRunning);
  return started;
}

void PrintJson(const ReadbackJob& job, bool ok, std::string_view error) {
  JsonObject out;
  out.Add("type", "readback")
      .Add("ok", ok)
      .Add("out", job.out)
      .Add("from", static_cast<std::int64_t>(job.fromPage))
      .Add("to", static_cast<std::int64_t>(job.toPage))
      .Add("bytes", static_cast<std::int64_t>(job.Bytes()));
  if (!ok) out.Add("error", error);
  std::cout << out.Str() << "\n";
}

// What went wrong, or empty when the file holds every page.
std::string Outcome(const ReadbackJob& job, bool started, const std::vector<std::string>& messages) {
  const std::filesystem::path out = PathFromUtf8(job.out);
  if (Interrupted()) {
    std::error_code error;
    const bool removed = std::filesystem::remove(out, error);
    return std::string("interrupted") + (removed ? "; the partial " + job.out + " was removed" : "");
  }
  if (!started) return "the read did not start";
  if (!messages.empty()) return Explained(messages.front());
  std::error_code error;
  const std::uint64_t size = std::filesystem::file_size(out, error);
  if (error || size != job.Bytes()) {
    return "writing " + job.out + " failed: it holds " + (error ? std::string("nothing") : std::to_string(size) +
           " bytes") + " of the " + std::to_string(job.Bytes()) + " the pages take (disk full or a write "
           "refused?); free some space or give --out another folder";
  }
  return {};
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
  if (job->simulated && !context.quiet) {
    std::cerr << "korvex: note: a simulated board starts blank, so the pages read are 0xFF unless this "
                 "run burned them; `korvex station ... --sim-dump DIR` keeps each burned board's NAND "
                 "in DIR/board-<k>.nand\n";
  }
  std::vector<std::string> messages;
  RouteToWindow(*line, window, context.json, messages);
  if (!EnsureNandTable(line->GetHost())) return kExitFailed;

  const bool started = ReadPortOne(*job, *line);
  if (const sim::SimHost* host = line->Simulated()) DumpBoards(job->setup, *host);
  const std::string problem = Outcome(*job, started, messages);
  if (context.json) PrintJson(*job, problem.empty(), problem);
  if (!problem.empty()) {
    std::cerr << "korvex: readback: " << problem << "\n";
    return kExitFailed;
  }
  if (!context.json) {
    std::cout << "read pages " << job->fromPage << " to " << job->toPage - 1 << " into " << job->out << "\n";
  }
  return kExitOk;
}

}  // namespace korvex::cli
