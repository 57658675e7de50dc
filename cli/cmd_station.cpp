// korvex station: the main window's job without a window. Checks what the burn needs,
// then scans every 2000 ms, claims ports for linked boards, runs one worker per port,
// shows what each board is doing and ends with a summary.

#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "host/paths.h"

#include "app/burn_counter.h"
#include "app/line_job.h"
#include "app/main_window_model.h"
#include "app/port_scheduler.h"
#include "station/production_log.h"
#include "app/station_settings_model.h"
#include "app/model_selection.h"
#include "app/port_workers.h"
#include "app/station_core.h"
#include "app/station_close.h"
#include "boot/station_model.h"
#include "cli/cli_args.h"
#include "cli/command_help.h"
#include "cli/console_texts.h"
#include "cli/commands.h"
#include "cli/image_options.h"
#include "cli/console.h"
#include "cli/json.h"
#include "cli/preflight.h"
#include "cli/sim_options.h"
#include "cli/station_job.h"
#include "cli/station_line.h"
#include "cli/station_summary.h"
#include "cli/station_view.h"
#include "nandtable/nand_cfg.h"
#include "records/line_settings.h"
#include "records/record_keeper.h"
#include "sim/sim_chips.h"
#include "station/production_log.h"
#include "tools/demo_copy.h"

namespace korvex::cli {

namespace {

constexpr auto kScanPeriod = std::chrono::milliseconds(2000);
// How long a closing console waits for boards to reach their next block.
constexpr auto kWorkerPatience = std::chrono::seconds(10);
constexpr auto kTickPeriod = std::chrono::milliseconds(50);

// Ports that held a board at some moment of the run: a board unplugged for good has
// its port freed by the scan, and still has a result to show.
using PortsSeen = std::array<bool, kPortCount>;

void NoteClaimedPorts(PortsSeen& seen) {
  for (std::size_t port = 0; port < kPortCount; ++port) seen[port] |= g_portSlots[port].inUse == 1;
}

// A simulated line waits for each of its boards; on the driver, for the first board
// to come and every board that came.
bool AllBoardsEnded(int boards, const PortsSeen& seen) {
  for (const PortRun& run : g_portRuns) {
    if (run.workerRunning) return false;
  }
  return std::ranges::count(seen, true) >= boards;
}

// The live table needs a terminal; quiet and verbose runs are read line by line.
ConsoleStyle ChooseConsoleStyle(const CommandContext& context) {
  if (context.json) return ConsoleStyle::Json;
  if (context.quiet || context.verbose || !CanRedrawInPlace()) return ConsoleStyle::Plain;
  return ConsoleStyle::Live;
}

Verbosity ChooseVerbosity(const CommandContext& context) {
  return context.quiet ? Verbosity::Quiet : context.verbose ? Verbosity::Verbose : Verbosity::Normal;
}

// The chip on the simulated boards: its name and geometry, when the console knows it.
const sim::ChipGeometry* SimulatedGeometry(const StationJob& job) {
  return job.simulated ? SimulatedChipGeometry(job.setup) : nullptr;
}

std::string ChipName(const StationJob& job) {
  char text[32];
  std::snprintf(text, sizeof text, "%04X:%06X", job.setup.line.board.chip.mainId,
                job.setup.line.board.chip.extId);
  return text;
}

std::string StationTitle(const StationJob& job) {
  std::string title = "Korvex " + std::string(ParsedModel(job.setup.line.board.model).comboText);
  const int boards = job.setup.line.boards;
  title += job.simulated         ? " - " + std::to_string(boards) +
                                      (boards == 1 ? " simulated board" : " simulated boards") + ", chip " + ChipName(job)
           : HasDeviceDriver() ? " - boards on the USB boot driver"
                               : " - no USB boot driver on this platform";
  return title;
}

// Every record names the digest of each image; the images are hashed here, once for
// all boards, so no worker hashes and no board's verdict waits for it. A job has
// hashed its images already to pin them: those digests are taken as they are.
void HashImagesOnce(const PreflightInput& input, const LineJob* lineJob, RecordKeeper& keeper) {
  if (!keeper.keeping()) return;
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (!input.included[image]) continue;
    if (lineJob != nullptr) keeper.digests().Know(input.paths[image], lineJob->Pinned(image));
    keeper.digests().HashNow(input.paths[image]);
  }
}

PreflightInput PreflightOf(const StationJob& job, const std::filesystem::path& home) {
  PreflightInput input;
  input.home = home;
  input.model = job.setup.line.board.model;
  input.normalMode = !job.advanced;
  input.demoFile = job.demoFile;
  for (std::size_t image = 0; image < kImageCount; ++image) {
    const auto id = static_cast<ImageId>(image);
    input.paths[image] = std::string(job.settings.PathOf(id).View());
    input.included[image] = job.settings.includeFlags[JobSlotOf(id)] != 0;
  }
  if (const sim::ChipGeometry* geometry = SimulatedGeometry(job)) {
    input.chipPageBytes = geometry->pageSize;
    input.chipName = ChipName(job);
  }
  return input;
}

JobPlan PlanOf(const StationJob& job, const PreflightInput& input, const PreflightReport& report) {
  JobPlan plan;
  plan.included = input.included;
  plan.imageBytes = report.imageBytes;
  plan.eraseChip = job.settings.eraseWholeChip != 0;
  plan.formatAfter = job.settings.formatAfterBurn != 0;
  plan.fsFormat = job.settings.fileSystemFormat != 0 && job.setup.line.board.model == kModelQx7105B;
  plan.verify = job.settings.verifyWrites;
  plan.model = job.setup.line.board.model;
  if (const sim::ChipGeometry* geometry = SimulatedGeometry(job)) {
    plan.chipPageBytes = geometry->pageSize;
    plan.chipBlockBytes = geometry->blockSize;
  }
  return plan;
}

// What the run is about to use: home folder, model, images and the log.
std::vector<std::string> StartLines(const StationJob& job, const PreflightInput& input,
                                    const PreflightReport& report) {
  const CpuModelInfo& model = ParsedModel(job.setup.line.board.model);
  std::vector<std::string> lines{StationTitle(job), "home    " + PathToUtf8(input.home),
                                 "model   " + std::string(model.folder) + " (" + std::string(model.comboText) + ")"};
  std::string label = "images  ";
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (!input.included[image]) continue;
    char size[40];
    std::snprintf(size, sizeof size, "%-13s %10llu bytes  ", std::string(kImageFileNames[image]).c_str(),
                  static_cast<unsigned long long>(report.imageBytes[image]));
    lines.push_back(label + size + input.paths[image]);
    label = "        ";
  }
  if (job.jobFile) {
    const JobIdentity& id = job.identity;
    std::string line = "job     " + job.jobFile->name;
    for (const auto& [what, value] : {std::pair{"lot", &id.lot}, {"work order", &id.workOrder}, {"operator", &id.operatorName}}) {
      if (!value->Empty()) line += std::string(", ") + what + " " + std::string(value->View());
    }
    lines.push_back(line);
  }
  lines.push_back("log     " + PathToUtf8(report.logPath));
  return lines;
}

std::string StartJson(const StationJob& job, const PreflightInput& input, const PreflightReport& report) {
  std::string images = "[";
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (!input.included[image]) continue;
    images += (images.size() > 1 ? "," : "") + JsonObject()
                                                    .Add("image", kImageFileNames[image])
                                                    .Add("path", input.paths[image])
                                                    .Add("bytes", static_cast<std::int64_t>(report.imageBytes[image]))
                                                    .Str();
  }
  JsonObject out;
  out.Add("type", "start")
      .Add("home", PathToUtf8(input.home))
      .Add("model", ParsedModel(job.setup.line.board.model).folder)
      .Add("simulated", job.simulated)
      .Add("boards", job.setup.line.boards);
  if (job.simulated) {
    out.Add("chip", ChipName(job));
  } else {
    out.AddNull("chip");
  }
  if (job.jobFile) {
    out.Add("job", job.jobFile->name);
  } else {
    out.AddNull("job");
  }
  const JobIdentity& id = job.identity;
  out.Add("lot", id.lot.View()).Add("workOrder", id.workOrder.View()).Add("operator", id.operatorName.View());
  return out.AddRaw("images", images + "]").Add("log", PathToUtf8(report.logPath)).Str();
}

// One line per problem on stderr, and the verdict as an object in JSON.
void ShowPreflight(const CommandContext& context, const PreflightReport& report) {
  for (const std::string& problem : report.problems) std::cerr << "korvex: pre-flight: " << problem << "\n";
  if (context.json) {
    std::cout << JsonObject()
                     .Add("type", "preflight")
                     .Add("ok", report.problems.empty())
                     .AddRaw("problems", JsonArray(report.problems))
                     .Str()
              << "\n";
  } else if (report.problems.empty()) {
    std::cout << "pre-flight: passed; " << report.pageNote << "\n";
  }
}

// Which USB port's simulated board holds a station port: the one whose link the port opened.
int UsbPortOf(const sim::SimHost& host, int port) {
  const std::string_view link = g_portContexts[static_cast<std::size_t>(port)].session.devicePath.View();
  for (int usb = 0; usb < host.UsbPortCount(); ++usb) {
    if (host.SymbolicLinkOf(usb) == link) return usb;
  }
  return -1;
}

// Message boxes, the workers' progress messages and the log's lines all go to the window.
void RouteToWindow(StationLine& line, StationView& window) {
  line.SetMessageBoxHandler([&window](const MessageBoxRequest& request) {
    window.ShowMessage(request);
    return MessageAnswer::Ok;
  });
  line.SetWindowProcedure([&window](WindowHandle, std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
    return window.HandleMessage(message, wParam, lParam);
  });
  SetLogObserver([](void* target, std::string_view text) {
    static_cast<StationView*>(target)->ShowLogLine(text);
  }, &window);
  if (sim::SimHost* host = line.Simulated()) {
    window.SetTraceSource([host](int port) {
      const int usb = UsbPortOf(*host, port);
      return usb < 0 ? std::vector<std::string>() : host->TraceText(usb);
    });
  }
}

// A fresh start: no port records, demo state or burn count from an earlier run.
void ResetStationState(const StationJob& job) {
  ResetPortRecords();
  ResetDemoState();
  g_burnCounter = 0;
  ReopenStation();
  // "Demo" counts as checked when a demo file is given, as choosing one checks it.
  g_demoPath.Assign(job.demoFile.value_or(std::string()));
}

// Scans, demo ticks and repaints until interrupted or, with --until-done, until every
// board's job has ended.
void RunScanLoop(const StationJob& job, StationLine& line, PortScheduler& scheduler,
                 StationView& window, PortsSeen& seen) {
  sim::SimHost* simulated = line.Simulated();
  const int boardsAwaited = simulated != nullptr ? job.setup.line.boards : 1;
  PortsSeen notStartedShown{};
  const bool demo = job.demoFile.has_value();
  auto nextScan = std::chrono::steady_clock::now();
  auto nextDemo = nextScan + job.demoPeriod;
  std::optional<std::chrono::steady_clock::time_point> plugAt;
  if (job.plugAfter) plugAt = nextScan + *job.plugAfter;
  // With a demo file, --until-done also waits for one matching step after the last
  // worker ended: by then every burned board's volume is up, so each has had its
  // readout and copy. The gate forces that step within nine ticks (~27 s at 3000 ms).
  bool demoServed = !demo;
  // The boards' jobs can only be over once a scan has seen the line as the last
  // scripted event left it and had no board waiting for its port.
  bool lineSettled = false;
  while (!Interrupted()) {
    const auto now = std::chrono::steady_clock::now();
    if (plugAt && now >= *plugAt && simulated != nullptr) {
      if (!PlugBoards(job.setup, *simulated)) break;
      plugAt.reset();
    }
    if (now >= nextScan) {
      const bool eventsDone = simulated == nullptr || !simulated->EventsPending();
      const ScanResult scan = scheduler.Scan(job.settings);
      lineSettled = scan.postponed == 0 && eventsDone;
      for (std::size_t port = 0; port < kPortCount; ++port) {
        window.NoteHeld(static_cast<int>(port), scan.heldForRecords[port]);
      }
      NoteClaimedPorts(seen);
      for (std::size_t port = 0; port < kPortCount; ++port) {
        const bool failed = g_portSlots[port].state == kPortStartFailed;
        if (failed && !notStartedShown[port]) window.NoteNotStarted(static_cast<int>(port));
        notStartedShown[port] = failed;
      }
      nextScan += kScanPeriod;
    }
    const bool boardsEnded =
        job.untilDone && lineSettled && AllBoardsEnded(boardsAwaited, seen);
    if (demo && now >= nextDemo) {
      if (DemoTimerTick(line.GetHost(), g_demoPath.View(), g_demoVolumes).matched && boardsEnded) {
        demoServed = true;
      }
      nextDemo += job.demoPeriod;
    }
    window.Refresh(g_burnCounter);
    if (boardsEnded && demoServed) break;
    std::this_thread::sleep_for(std::min(kTickPeriod, job.demoPeriod));
  }
}

// Closing the station: boards still burning stop at their next block, then the
// counter goes to the log as the close command does and nothing follows it; the
// boards' NAND goes into the dump folder, and every worker ends. Returns the count of
// boards started, which the close line takes with it.
std::uint32_t CloseStation(const LineSetup& setup, StationLine& line, StationView& window) {
  window.MarkClosing();
  RequestWorkersStop();
  const bool workersEnded = WaitForWorkers(kWorkerPatience);
  const std::uint32_t started = g_burnCounter;
  std::uint32_t windowCopy = started;
  WriteCloseLineLast(line.GetHost(), windowCopy);
  window.Refresh(started);
  if (const sim::SimHost* host = line.Simulated()) DumpBoards(setup, *host);
  line.EndWorkers(workersEnded);
  SetLogObserver(nullptr, nullptr);
  return started;
}

// The run's news reaches the console's view while the station runs: lost log lines,
// records the disk refused, the line database's state and failed hooks; and the job
// is the one every board burns by.
class NewsToView {
 public:
  NewsToView(StationView& window, RecordKeeper& keeper, LineJob* lineJob) : keeper_(keeper) {
    SetLogFailureObserver([](void* target, std::string_view file) {
      static_cast<StationView*>(target)->ShowLogLineLost(file);
    }, &window);
    keeper.OnWriteNews([&window](const RecordWriteNews& news) {
      window.ShowRecordWriteNews(RecordWriteNewsText(news), news.failing, news.waiting);
    });
    if (RecordSync* sync = keeper.sync()) {
      sync->OnNews([&window](const SyncNews& news) { window.ShowDatabaseNews(news); });
    }
    SetActiveLineJob(lineJob);
    SetHookFailureObserver([](void* target, int port, std::string_view text) {
      static_cast<StationView*>(target)->ShowHookFailed(port, text);
    }, &window);
  }
  ~NewsToView() {
    SetLogFailureObserver(nullptr, nullptr);
    keeper_.OnWriteNews({});
    if (RecordSync* sync = keeper_.sync()) sync->OnNews({});
    SetHookFailureObserver(nullptr, nullptr);
    SetActiveLineJob(nullptr);
  }
  NewsToView(const NewsToView&) = delete;
  NewsToView& operator=(const NewsToView&) = delete;

 private:
  RecordKeeper& keeper_;
};

// The pre-flight over the options' files and, with a job, its released images.
PreflightReport CheckBeforeStart(const StationJob& job, const PreflightInput& input, const RecordKeeper& keeper,
                                 std::optional<LineJob>& lineJob) {
  PreflightReport report;
  {
    sim::SimHost folderHost(0, input.home);
    report = RunPreflight(input, folderHost);
  }
  if (job.jobFile) {
    lineJob.emplace(*job.jobFile, job.identity, keeper.station());
    for (std::string& problem : lineJob->PinImages()) report.problems.push_back(std::move(problem));
  }
  return report;
}

// The burn itself, from the first scan to the summary.
int RunLine(const CommandContext& context, const StationJob& job, StationView& window, StationLine& line,
            const std::shared_ptr<RecordKeeper>& keeper) {
  Host& host = line.GetHost();
  auto station = StationCore::BringUp(host, keeper);
  if (!station) return kExitFailed;
  ResetStationState(job);
  keeper->SetIdentity(job.identity);
  PortScheduler& scheduler = station->scheduler();
  // A board swapped between two scans is still claimed.
  line.SetDeviceChangeHandler([&scheduler](DeviceChange change, std::string_view link) {
    scheduler.NoteDeviceChange(change, link);
  });
  CatchInterrupts();
  PortsSeen seen{};
  RunScanLoop(job, line, scheduler, window, seen);
  const std::uint32_t started = CloseStation(job.setup, line, window);
  line.SetDeviceChangeHandler(nullptr);
  window.Finish(started, PathToUtf8(context.home / PathFromUtf8(LogFileName(host.GetLocalTime()))));
  // A lost log line fails the run even when every board burned: the record is incomplete.
  return window.AllBurned() && !LogLineLost() ? kExitOk : kExitFailed;
}

}  // namespace

int RunStation(const CommandContext& context, const std::shared_ptr<RecordKeeper>& keeper) {
  const auto job = ParseStationJob(context.args);
  if (!job) return kExitUsage;
  SelectCpuModel(job->setup.line.board.model);

  // Nothing is claimed, created or logged before the pre-flight has passed.
  const PreflightInput input = PreflightOf(*job, context.home);
  std::optional<LineJob> lineJob;
  const PreflightReport report = CheckBeforeStart(*job, input, *keeper, lineJob);
  if (!report.problems.empty() || job->checkOnly) {
    if (job->checkOnly && !context.json) {
      for (const std::string& line : StartLines(*job, input, report)) std::cout << line << "\n";
    }
    ShowPreflight(context, report);
    return report.problems.empty() ? kExitOk : kExitUsage;
  }

  HashImagesOnce(input, lineJob ? &*lineJob : nullptr, *keeper);
  StationView window(ChooseConsoleStyle(context), ChooseVerbosity(context), StationTitle(*job),
                     PlanOf(*job, input, report));
  auto line = OpenStationLine(job->setup, context.home, job->simulated, !job->plugAfter);
  if (!line) return kExitUsage;
  window.ShowStart(StartLines(*job, input, report), StartJson(*job, input, report));
  RouteToWindow(*line, window);
  const NewsToView news(window, *keeper, lineJob ? &*lineJob : nullptr);
  return RunLine(context, *job, window, *line, keeper);
}

}  // namespace korvex::cli
