// korvex station: the main window's job without a window. Scans every 2000 ms, claims
// ports for linked boards, runs one worker per port and shows one row per port.

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

#include "app/burn_counter.h"
#include "app/main_window_model.h"
#include "app/port_scheduler.h"
#include "station/production_log.h"
#include "app/station_settings_model.h"
#include "app/model_selection.h"
#include "app/port_workers.h"
#include "app/station_close.h"
#include "boot/station_model.h"
#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/console_window.h"
#include "cli/sim_options.h"
#include "nandtable/nand_cfg.h"
#include "tools/demo_copy.h"

namespace korvex::cli {

namespace {

constexpr WindowHandle kConsoleWindowHandle = 1;
constexpr auto kScanPeriod = std::chrono::milliseconds(2000);
// How long a closing console waits for boards to reach their next block.
constexpr auto kWorkerPatience = std::chrono::seconds(10);
constexpr auto kTickPeriod = std::chrono::milliseconds(50);
constexpr auto kDemoPeriod = std::chrono::milliseconds(3000);  // the window's timer 5

// --demo-period MS: the demo timer's period, the window's 3000 ms unless given. A
// rehearsal or a test shortens it so the forced matching step comes within a second.
constexpr OptionSpec kDemoPeriodOption{"--demo-period", true};

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted = true; }

struct ImageOption {
  std::string_view option;
  ImageId image;
};
constexpr ImageOption kImageOptions[] = {
    {"--nand", kNandBin},       {"--loader", kLoaderBin}, {"--def-boot", kDefBootBin},
    {"--img-boot", kImgBootBin}, {"--minios", kMiniosBin}, {"--res", kResBin},
};

std::vector<OptionSpec> StationOptionSpecs() {
  std::vector<OptionSpec> specs = BoardOptionSpecs();
  for (const ImageOption& image : kImageOptions) specs.push_back({image.option, true});
  specs.push_back({"--demo", true});
  specs.push_back(kDemoPeriodOption);
  for (const std::string_view flag :
       {"--advanced", "--format-after", "--erase-chip", "--fs-format", "--until-done"}) {
    specs.push_back({flag, false});
  }
  return specs;
}

// Normal mode: nand.bin, and every other image from its folder.
bool ChooseNormalImages(const ParsedArgs& args, StationSettings& settings) {
  for (const ImageOption& image : kImageOptions) {
    if (image.image != kNandBin && args.Has(image.option)) {
      UsageError(std::string(image.option) + " needs --advanced; in normal mode the images come from nand.bin's folder");
      return false;
    }
  }
  if (!args.Has("--nand")) {
    UsageError("choose nand.bin with --nand PATH (or pick images one by one with --advanced)");
    return false;
  }
  if (!ChooseNandBin(settings, args.Get("--nand"), false)) {
    UsageError(std::string(kTextChooseNandBin));
    return false;
  }
  return true;
}

// Advanced mode: the images picked one by one, at least one of them.
bool ChooseAdvancedImages(const ParsedArgs& args, StationSettings& settings) {
  bool any = false;
  for (const ImageOption& image : kImageOptions) {
    if (!args.Has(image.option)) continue;
    if (image.image == kNandBin) {
      if (!ChooseNandBin(settings, args.Get("--nand"), true)) {
        UsageError(std::string(kTextChooseNandBin));
        return false;
      }
    } else {
      settings.SetImage(image.image, args.Get(image.option), true);
    }
    any = true;
  }
  if (!any) {
    UsageError("--advanced needs at least one of --nand, --loader, --def-boot, --img-boot, --minios, --res");
    return false;
  }
  return true;
}

bool CheckDemoOption(const ParsedArgs& args, bool advanced) {
  if (!args.Has("--demo")) return true;
  // The demo copy is normal mode's; the window disables it in advanced mode.
  if (advanced) {
    UsageError("--demo works in normal mode only; advanced mode has no demo copy");
    return false;
  }
  if (args.Get("--demo").empty()) {
    UsageError("--demo takes the demo file to copy onto the boards' volumes");
    return false;
  }
  return true;
}

void SetJobFlags(const ParsedArgs& args, StationSettings& settings) {
  settings.formatAfterBurn = args.Has("--format-after") ? 1 : 0;
  settings.eraseWholeChip = args.Has("--erase-chip") ? 1 : 0;
  settings.fileSystemFormat = args.Has("--fs-format") ? 1 : 0;
  settings.hwndMain = kConsoleWindowHandle;
}

// The window's settings as the options give them; false after a usage message.
bool BuildSettings(const ParsedArgs& args, StationSettings& settings) {
  const bool advanced = args.Has("--advanced");
  const bool imagesChosen =
      advanced ? ChooseAdvancedImages(args, settings) : ChooseNormalImages(args, settings);
  if (!imagesChosen || !CheckDemoOption(args, advanced)) return false;
  SetJobFlags(args, settings);
  return true;
}

// What the station's options ask for.
std::optional<std::chrono::milliseconds> DemoPeriod(const ParsedArgs& args) {
  if (!args.Has(kDemoPeriodOption.name)) return kDemoPeriod;
  const auto ms = ParseUnsigned(args.Get(kDemoPeriodOption.name), 10);
  if (!ms || *ms == 0) {
    UsageError("--demo-period takes the demo timer's period in milliseconds, 1 or more");
    return std::nullopt;
  }
  return std::chrono::milliseconds(*ms);
}

struct StationJob {
  std::chrono::milliseconds demoPeriod = kDemoPeriod;
  LineSetup setup;
  StationSettings settings;
  bool simulated = false;  // --sim given, even for no boards
  std::optional<std::string> demoFile;
  bool untilDone = false;
};

// nullopt after a usage message.
std::optional<StationJob> ParseStationJob(std::span<const std::string> arguments) {
  const std::vector<OptionSpec> specs = StationOptionSpecs();
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
  StationJob job;
  const auto demoPeriod = DemoPeriod(*args);
  if (!demoPeriod) return std::nullopt;
  job.demoPeriod = *demoPeriod;
  if (!ParseLineSetup(*args, static_cast<int>(kPortCount), job.setup)) return std::nullopt;
  if (!BuildSettings(*args, job.settings)) return std::nullopt;
  job.simulated = args->Has("--sim");
  if (args->Has("--demo")) job.demoFile = args->Get("--demo");
  job.untilDone = args->Has("--until-done");
  return job;
}

// Ports that held a board at some moment of the run: a board unplugged for good has
// its port freed by the scan, and still has a result to show.
using PortsSeen = std::array<bool, kPortCount>;

void NoteClaimedPorts(PortsSeen& seen) {
  for (std::size_t port = 0; port < kPortCount; ++port) seen[port] |= g_portSlots[port].inUse == 1;
}

bool AllBoardsEnded(int boards, const PortsSeen& seen) {
  for (const PortRun& run : g_portRuns) {
    if (run.workerRunning) return false;
  }
  return std::ranges::count(seen, true) >= boards;
}

std::string_view PortResult(std::size_t port, bool interrupted) {
  const BurnEnd end = g_portRuns[port].end;
  if (end == BurnEnd::kBurned) return "burned";
  if (interrupted) return "interrupted";
  if (end == BurnEnd::kUnplugged || end == BurnEnd::kLinkLost) return "unplugged";
  if (end == BurnEnd::kNone && g_portSlots[port].state == kPortStartFailed) return "not started";
  return "failed";
}

ConsoleStyle ChooseConsoleStyle(bool json) {
  return json                      ? ConsoleStyle::Json
         : ::isatty(STDOUT_FILENO) ? ConsoleStyle::Live
                                   : ConsoleStyle::Plain;
}

std::string StationTitle(const StationJob& job) {
  std::string title = "Korvex " + std::string(FindCpuModel(job.setup.line.board.model)->comboText);
  title += job.simulated ? " - " + std::to_string(job.setup.line.boards) + " simulated boards"
                         : " - no USB boot driver on this platform";
  return title;
}

// Message boxes, the workers' progress messages and the log's lines all go to the window.
void RouteToWindow(sim::SimHost& host, ConsoleWindow& window) {
  host.SetMessageBoxHandler([&window](const MessageBoxRequest& request) {
    window.ShowMessage(request);
    return MessageAnswer::Ok;
  });
  host.SetWindowProcedure([&window](WindowHandle, std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
    return window.HandleMessage(message, wParam, lParam);
  });
  SetLogObserver([](void* target, std::string_view line) {
    static_cast<ConsoleWindow*>(target)->ShowLogLine(line);
  }, &window);
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
void RunScanLoop(const StationJob& job, sim::SimHost& host, PortScheduler& scheduler,
                 ConsoleWindow& window, PortsSeen& seen) {
  const bool demo = job.demoFile.has_value();
  auto nextScan = std::chrono::steady_clock::now();
  auto nextDemo = nextScan + job.demoPeriod;
  // With a demo file, --until-done also waits for one matching step after the last
  // worker ended: by then every burned board's volume is up, so each has had its
  // readout and copy. The gate forces that step within nine ticks (~27 s at 3000 ms).
  bool demoServed = !demo;
  // The boards' jobs can only be over once a scan has seen the line as the last
  // scripted event left it and had no board waiting for its port.
  bool lineSettled = false;
  while (!g_interrupted) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= nextScan) {
      const bool eventsDone = !host.EventsPending();
      lineSettled = scheduler.Scan(job.settings).postponed == 0 && eventsDone;
      NoteClaimedPorts(seen);
      nextScan += kScanPeriod;
    }
    const bool boardsEnded =
        job.untilDone && lineSettled && AllBoardsEnded(job.setup.line.boards, seen);
    if (demo && now >= nextDemo) {
      if (DemoTimerTick(host, g_demoPath.View(), g_demoVolumes).matched && boardsEnded) {
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
// boards' NAND goes into the dump folder, and every worker ends. Returns the ports
// whose job the close cut short.
PortsSeen CloseStation(const LineSetup& setup, sim::SimHost& host, ConsoleWindow& window) {
  PortsSeen cut{};
  for (std::size_t port = 0; port < kPortCount; ++port) cut[port] = g_portRuns[port].workerRunning;
  RequestWorkersStop();
  const bool workersEnded = WaitForWorkers(kWorkerPatience);
  std::uint32_t windowCopy = g_burnCounter;
  WriteCloseLineLast(host, windowCopy);
  window.Refresh(g_burnCounter);
  DumpBoards(setup, host);
  if (!workersEnded) {
    // Unplugging wakes every worker still waiting on a (hung) board, so all of them end.
    for (int port = 0; port < host.UsbPortCount(); ++port) host.Unplug(port);
  }
  host.JoinThreads();
  SetLogObserver(nullptr, nullptr);
  for (std::size_t port = 0; port < kPortCount; ++port) {
    cut[port] = cut[port] && g_portRuns[port].end != BurnEnd::kBurned;
  }
  return cut;
}

// One result line per port that held a board; true when every one of them burned.
bool ShowResults(ConsoleWindow& window, const PortsSeen& seen, const PortsSeen& cut) {
  bool allBurned = true;
  for (std::size_t port = 0; port < kPortCount; ++port) {
    if (!seen[port]) continue;
    window.ShowResult(static_cast<int>(port), PortResult(port, cut[port]),
                      g_portRuns[port].Uid().View(), BurnEndCode(g_portRuns[port].end));
    allBurned &= g_portRuns[port].end == BurnEnd::kBurned;
  }
  return allBurned;
}

}  // namespace

int RunStation(const CommandContext& context) {
  const auto job = ParseStationJob(context.args);
  if (!job) return kExitUsage;
  SelectCpuModel(job->setup.line.board.model);

  ConsoleWindow window(ChooseConsoleStyle(context.json), StationTitle(*job));
  auto host = MakeLineHost(job->setup, context.home);
  RouteToWindow(*host, window);
  if (!EnsureNandTable(*host)) return kExitFailed;

  ResetStationState(*job);
  auto tables = std::make_unique<DeviceTables>();
  BuildDeviceTables(*host, *tables);
  PortScheduler scheduler(*host, *tables, ThreadFunc0, ReadBack);
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  PortsSeen seen{};
  RunScanLoop(*job, *host, scheduler, window, seen);
  const PortsSeen cut = CloseStation(job->setup, *host, window);
  return ShowResults(window, seen, cut) ? kExitOk : kExitFailed;
}

}  // namespace korvex::cli
