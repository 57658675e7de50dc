// korvex station: the main window's job without a window. Scans every 2000 ms, claims
// ports for linked boards, runs one worker per port and shows one row per port.

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>
#include <unistd.h>

#include "app/burn_counter.h"
#include "app/main_window_model.h"
#include "app/port_scheduler.h"
#include "app/production_log.h"
#include "app/station_settings_model.h"
#include "boot/station_model.h"
#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/console_window.h"
#include "cli/sim_options.h"
#include "nand/burn_board.h"
#include "nand/read_back.h"
#include "nandtable/nand_cfg.h"
#include "tools/demo_copy.h"

namespace korvex::cli {

namespace {

constexpr WindowHandle kConsoleWindowHandle = 1;
constexpr auto kScanPeriod = std::chrono::milliseconds(2000);
constexpr auto kTickPeriod = std::chrono::milliseconds(50);
constexpr auto kDemoPeriod = std::chrono::milliseconds(3000);  // the window's timer 5

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

std::vector<OptionSpec> StationOptions() {
  std::vector<OptionSpec> specs(std::begin(kBoardOptions), std::end(kBoardOptions));
  for (const ImageOption& image : kImageOptions) specs.push_back({image.option, true});
  specs.push_back({"--demo", true});
  specs.push_back({"--sim-plug-after", true});
  for (const std::string_view flag :
       {"--advanced", "--format-after", "--erase-chip", "--fs-format", "--until-done"}) {
    specs.push_back({flag, false});
  }
  return specs;
}

// The window's settings as the options give them; false after a usage message.
bool BuildSettings(const ParsedArgs& args, StationSettings& settings) {
  const bool advanced = args.Has("--advanced");
  if (!advanced) {
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
  } else {
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
  }
  if (args.Has("--demo")) {
    // The demo copy is normal mode's; the window disables it in advanced mode.
    if (advanced) {
      UsageError("--demo works in normal mode only; advanced mode has no demo copy");
      return false;
    }
    if (args.Get("--demo").empty()) {
      UsageError("--demo takes the demo file to copy onto the boards' volumes");
      return false;
    }
  }
  settings.formatAfterBurn = args.Has("--format-after") ? 1 : 0;
  settings.eraseWholeChip = args.Has("--erase-chip") ? 1 : 0;
  settings.fileSystemFormat = args.Has("--fs-format") ? 1 : 0;
  settings.hwndMain = kConsoleWindowHandle;
  return true;
}

bool AllBoardsEnded(int boards) {
  int claimed = 0;
  for (std::size_t port = 0; port < kPortCount; ++port) {
    if (g_portRuns[port].workerRunning) return false;
    if (g_portSlots[port].inUse == 1) ++claimed;
  }
  return claimed >= boards;
}

std::string_view PortResult(std::size_t port) {
  if (g_portSlots[port].state == kPortStartFailed) return "not started";
  return g_portRuns[port].burning == kBurningDone ? "burned" : "failed";
}

}  // namespace

int RunStation(const CommandContext& context) {
  const std::vector<OptionSpec> specs = StationOptions();
  std::string error;
  const auto args = ParseArgs(context.args, specs, error);
  if (!args) return UsageError(error);
  if (!args->positional.empty()) return UsageError("unexpected argument '" + args->positional[0] + "'");
  LineSetup setup;
  if (!ParseLineSetup(*args, static_cast<int>(kPortCount), setup)) return kExitUsage;
  StationSettings settings;
  if (!BuildSettings(*args, settings)) return kExitUsage;
  // An operator plugs boards into a running station: the ports stay empty this long.
  std::optional<std::chrono::seconds> plugAfter;
  if (args->Has("--sim-plug-after")) {
    const auto seconds = ParseUnsigned(args->Get("--sim-plug-after"), 10);
    if (!seconds) return UsageError("--sim-plug-after takes a number of seconds");
    plugAfter = std::chrono::seconds(*seconds);
  }
  SelectCpuModel(setup.model);

  const ConsoleStyle style = context.json          ? ConsoleStyle::Json
                             : ::isatty(STDOUT_FILENO) ? ConsoleStyle::Live
                                                   : ConsoleStyle::Plain;
  std::string title = "Korvex " + std::string(FindCpuModel(setup.model)->comboText);
  title += args->Has("--sim") ? " - " + std::to_string(setup.boards) + " simulated boards"
                              : " - no USB boot driver on this platform";
  ConsoleWindow window(style, title);

  auto host = MakeLineHost(setup, context.home, !plugAfter);
  host->SetMessageBoxHandler([&window](const MessageBoxRequest& request) {
    window.ShowMessage(request);
    return MessageAnswer::Ok;
  });
  host->SetWindowProcedure([&window](WindowHandle, std::uint32_t message, std::uintptr_t wParam,
                                     std::intptr_t lParam) {
    return window.HandleMessage(message, wParam, lParam);
  });
  SetLogObserver([](void* target, std::string_view line) {
    static_cast<ConsoleWindow*>(target)->ShowLogLine(line);
  }, &window);
  if (!EnsureNandTable(*host)) return kExitFailed;

  ResetPortRecords();
  ResetDemoState();
  g_burnCounter = 0;
  // "Demo" counts as checked when a demo file is given, as choosing one checks it.
  const bool demo = args->Has("--demo");
  g_demoPath.Assign(demo ? args->Get("--demo") : std::string());
  auto tables = std::make_unique<DeviceTables>();
  BuildDeviceTables(*host, *tables);
  PortScheduler scheduler(*host, *tables, ThreadFunc0, ReadBack);
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);

  const bool untilDone = args->Has("--until-done");
  auto nextScan = std::chrono::steady_clock::now();
  auto nextDemo = nextScan + kDemoPeriod;
  std::optional<std::chrono::steady_clock::time_point> plugAt;
  if (plugAfter) plugAt = nextScan + *plugAfter;
  // With a demo file, --until-done also waits for one matching step after the last
  // worker ended: by then every burned board's volume is up, so each has had its
  // readout and copy. The gate forces that step within nine ticks (~27 s).
  bool demoServed = !demo;
  while (!g_interrupted) {
    const auto now = std::chrono::steady_clock::now();
    if (plugAt && now >= *plugAt) {
      PlugBoards(setup, *host);
      plugAt.reset();
    }
    if (now >= nextScan) {
      scheduler.Scan(settings);
      nextScan += kScanPeriod;
    }
    const bool boardsEnded = untilDone && AllBoardsEnded(setup.boards);
    if (demo && now >= nextDemo) {
      if (DemoTimerTick(*host, g_demoPath.View(), g_demoVolumes).matched && boardsEnded) {
        demoServed = true;
      }
      nextDemo += kDemoPeriod;
    }
    window.Refresh(g_burnCounter);
    if (boardsEnded && demoServed) break;
    std::this_thread::sleep_for(kTickPeriod);
  }

  // Closing the station: the counter goes to the log as the close command does.
  std::uint32_t windowCopy = g_burnCounter;
  ApplyCloseAnswer(*host, MessageAnswer::Ok, windowCopy);
  window.Refresh(g_burnCounter);
  DumpBoards(setup, *host);
  if (g_interrupted) {
    // Unplugging wakes every worker still waiting on a board, so all of them end.
    for (int port = 0; port < setup.boards; ++port) host->Unplug(port);
  }
  host->JoinThreads();
  SetLogObserver(nullptr, nullptr);

  bool allBurned = true;
  for (std::size_t port = 0; port < kPortCount; ++port) {
    if (g_portSlots[port].inUse != 1) continue;
    window.ShowResult(static_cast<int>(port), PortResult(port), g_portRuns[port].uidText.View());
    allBurned &= g_portRuns[port].burning == kBurningDone;
  }
  return allBurned && !g_interrupted ? kExitOk : kExitFailed;
}

}  // namespace korvex::cli
