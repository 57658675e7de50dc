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

constexpr WindowHandle kConsoleWindowHandle = 1;
constexpr auto kScanPeriod = std::chrono::milliseconds(2000);
// How long a closing console waits for boards to reach their next block.
constexpr auto kWorkerPatience = std::chrono::seconds(10);
constexpr auto kTickPeriod = std::chrono::milliseconds(50);
constexpr auto kDemoPeriod = std::chrono::milliseconds(3000);  // the window's timer 5

// --demo-period MS: the demo timer's period, the window's 3000 ms unless given. A
// rehearsal or a test shortens it so the forced matching step comes within a second.
constexpr std::string_view kDemoPeriodOption = "--demo-period";

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
    UsageError("--nand " + args.Get("--nand") + ": " + Explained(kTextChooseNandBin));
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
        UsageError("--nand " + args.Get("--nand") + ": " + Explained(kTextChooseNandBin));
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
  settings.verifyWrites = args.Has("--verify");
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
  if (!args.Has(kDemoPeriodOption)) return kDemoPeriod;
  const auto ms = ParseUnsigned(args.Get(kDemoPeriodOption), 10);
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
  // An operator plugs boards into a running station: the ports stay empty this long.
  std::optional<std::chrono::seconds> plugAfter;
  bool checkOnly = false;
  bool advanced = false;
  std::optional<JobFile> jobFile;  // --job: the released recipe the run burns by
  JobIdentity identity;
};

// The settings record holds each path in a fixed buffer; a longer one would be cut
// and every board would fail on an image that does not exist. Normal mode makes the
// other names from nand.bin's, so they are measured as they will be made.
bool ImagePathsFit(const ParsedArgs& args, bool advanced) {
  constexpr std::size_t kLongest = kImagePathCapacity - 1;
  for (const ImageOption& image : kImageOptions) {
    if (!args.Has(image.option)) continue;
    const std::size_t given = args.Get(image.option).size();
    std::size_t longest = given;
    if (!advanced) {
      for (const std::string_view name : kImageFileNames) {
        longest = std::max(longest, given - kImageFileNames[kNandBin].size() + name.size());
      }
    }
    if (longest > kLongest) {
      UsageError(std::string(image.option) + ": the path" + (advanced ? "" : "s made from it") + " can be " +
                 std::to_string(longest) + " bytes long; the station's settings hold at most " +
                 std::to_string(kLongest));
      return false;
    }
  }
  return true;
}

// --job FILE; nullopt after its errors.
std::optional<JobFile> LoadJobFile(const std::string& file) {
  JobFileResult read = ReadJobFile(PathFromUtf8(file));
  for (const std::string& error : read.errors) std::cerr << "korvex: " << error << "\n";
  return std::move(read.job);
}

// The options may repeat the job, never contradict it; false after a usage message.
bool AgreesWithJob(const ParsedArgs& args, const JobFile& job) {
  const std::string said = "job " + job.name;
  if (args.Has("--model") && ModelOfFolderName(args.Get("--model")) != job.model) {
    UsageError("--model " + args.Get("--model") + " contradicts " + said + ", which burns model " +
               std::string(kCpuModels[static_cast<std::size_t>(job.model)].folder));
    return false;
  }
  if (args.Has("--advanced") && !job.advanced) {
    UsageError("--advanced contradicts " + said + ", which is a normal-mode job");
    return false;
  }
  for (const ImageOption& image : kImageOptions) {
    if (!args.Has(image.option)) continue;
    const auto given = std::filesystem::absolute(PathFromUtf8(args.Get(image.option))).lexically_normal();
    if (!job.given[image.image].empty() && given == job.paths[image.image]) continue;
    const std::string theJobs = job.given[image.image].empty()
                                    ? ", which does not name " + std::string(kImageFileNames[image.image])
                                    : ", which burns " + PathToUtf8(job.paths[image.image]);
    UsageError(std::string(image.option) + " " + args.Get(image.option) + " contradicts " + said + theJobs);
    return false;
  }
  const std::pair<std::string_view, bool> flags[] = {{"--format-after", job.formatAfter}, {"--erase-chip", job.eraseChip},
                                                     {"--fs-format", job.fsFormat}, {"--verify", job.verify}};
  for (const auto& [option, on] : flags) {
    if (args.Has(option) && !on) {
      UsageError(std::string(option) + " contradicts " + said + ", which has it off (" +
                 std::string(option.substr(2)) + " = off)");
      return false;
    }
  }
  for (const auto& [option, value] : {std::pair{"--lot", &job.lot}, {"--work-order", &job.workOrder}}) {
    if (args.Has(option) && !value->empty() && args.Get(option) != *value) {
      UsageError(std::string(option) + " " + args.Get(option) + " contradicts " + said + ", whose is " + *value);
      return false;
    }
  }
  return true;
}

// The job's images and options as the window's settings.
bool SettingsFromJob(const JobFile& job, StationSettings& settings) {
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (!job.included[image] || PathToUtf8(job.paths[image]).size() < kImagePathCapacity) continue;
    UsageError(std::string(kImageFileNames[image]) + ": the job's path is longer than the station's settings hold (" +
               std::to_string(kImagePathCapacity - 1) + " bytes)");
    return false;
  }
  if (job.advanced) {
    for (std::size_t image = 0; image < kImageCount; ++image) {
      if (job.included[image]) settings.SetImage(static_cast<ImageId>(image), PathToUtf8(job.paths[image]), true);
    }
  } else {
    ChooseNandBin(settings, PathToUtf8(job.paths[kNandBin]), false);
  }
  settings.formatAfterBurn = job.formatAfter ? 1 : 0;
  settings.eraseWholeChip = job.eraseChip ? 1 : 0;
  settings.fileSystemFormat = job.fsFormat ? 1 : 0;
  settings.verifyWrites = job.verify;
  settings.hwndMain = kConsoleWindowHandle;
  return true;
}

// The run's identity: the job's name, lot and work order, and what the options add.
bool ReadIdentity(const ParsedArgs& args, StationJob& job) {
  const std::pair<std::string_view, JobText*> fields[] = {
      {"--operator", &job.identity.operatorName}, {"--lot", &job.identity.lot}, {"--work-order", &job.identity.workOrder}};
  if (job.jobFile) {
    job.identity.job.Assign(job.jobFile->name);
    job.identity.lot.Assign(job.jobFile->lot);
    job.identity.workOrder.Assign(job.jobFile->workOrder);
  }
  for (const auto& [option, field] : fields) {
    if (!args.Has(option)) continue;
    if (!IsValidJobText(args.Get(option))) {
      UsageError(std::string(option) + " takes 1 to 63 bytes of printable text");
      return false;
    }
    field->Assign(args.Get(option));
  }
  return true;
}

// nullopt after a usage message.
std::optional<StationJob> ParseStationJob(std::span<const std::string> arguments) {
  auto args = ParseCommandOptions("station", arguments);
  if (!args) return std::nullopt;
  StationJob job;
  if (args->Has("--job")) {
    job.jobFile = LoadJobFile(args->Get("--job"));
    if (!job.jobFile || !AgreesWithJob(*args, *job.jobFile)) return std::nullopt;
    // The simulated boards are the job's model too.
    args->options["--model"] = {std::string(kCpuModels[static_cast<std::size_t>(job.jobFile->model)].folder)};
  }
  if (!ReadIdentity(*args, job)) return std::nullopt;
  const auto demoPeriod = DemoPeriod(*args);
  if (!demoPeriod) return std::nullopt;
  job.demoPeriod = *demoPeriod;
  if (!ParseLineSetup(*args, static_cast<int>(kPortCount), job.setup)) return std::nullopt;
  if (job.jobFile) {
    job.advanced = job.jobFile->advanced;
    if (!SettingsFromJob(*job.jobFile, job.settings) || !CheckDemoOption(*args, job.advanced)) return std::nullopt;
  } else {
    job.advanced = args->Has("--advanced");
    if (!ImagePathsFit(*args, job.advanced) || !BuildSettings(*args, job.settings)) return std::nullopt;
  }
  job.simulated = args->Has("--sim");
  if (args->Has("--demo")) job.demoFile = args->Get("--demo");
  job.untilDone = args->Has("--until-done");
  if (args->Has("--sim-plug-after")) {
    const auto seconds = ParseUnsigned(args->Get("--sim-plug-after"), 10);
    if (!seconds) {
      UsageError("--sim-plug-after takes a number of seconds");
      return std::nullopt;
    }
    job.plugAfter = std::chrono::seconds(*seconds);
  }
  job.checkOnly = args->Has("--check");
  // Waiting for every board to end means nothing while no board can come: without the
  // USB boot driver only simulated boards come, and they are plugged only at start.
  const bool driverBoards = !job.simulated && HasDeviceDriver();
  if (job.untilDone && job.setup.line.boards == 0 && !driverBoards) {
    UsageError("--until-done waits for boards, and none will come: give --sim N with N of 1 or more");
    return std::nullopt;
  }
  return job;
}

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
// all boards, so no worker hashes and no board's verdict waits for it.
void HashImagesOnce(const PreflightInput& input) {
  RecordKeeper* keeper = StationRecordKeeper();
  if (keeper == nullptr) return;
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (input.included[image]) keeper->digests().HashNow(input.paths[image]);
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

}  // namespace

int RunStation(const CommandContext& context) {
  const auto job = ParseStationJob(context.args);
  if (!job) return kExitUsage;
  SelectCpuModel(job->setup.line.board.model);

  // Nothing is claimed, created or logged before the pre-flight has passed.
  const PreflightInput input = PreflightOf(*job, context.home);
  PreflightReport report;
  {
    sim::SimHost folderHost(0, context.home);
    report = RunPreflight(input, folderHost);
  }
  RecordKeeper* keeper = StationRecordKeeper();
  std::optional<LineJob> lineJob;
  if (job->jobFile) {
    lineJob.emplace(*job->jobFile, job->identity, keeper != nullptr ? keeper->station() : std::string(kDefaultStationName));
    for (std::string& problem : lineJob->PinImages()) report.problems.push_back(std::move(problem));
  }
  if (!report.problems.empty() || job->checkOnly) {
    if (job->checkOnly && !context.json) {
      for (const std::string& line : StartLines(*job, input, report)) std::cout << line << "\n";
    }
    ShowPreflight(context, report);
    return report.problems.empty() ? kExitOk : kExitUsage;
  }

  HashImagesOnce(input);
  StationView window(ChooseConsoleStyle(context), ChooseVerbosity(context), StationTitle(*job),
                     PlanOf(*job, input, report));
  auto line = OpenStationLine(job->setup, context.home, job->simulated, !job->plugAfter);
  if (!line) return kExitUsage;
  Host& host = line->GetHost();
  window.ShowStart(StartLines(*job, input, report), StartJson(*job, input, report));
  RouteToWindow(*line, window);
  if (!EnsureNandTable(host)) return kExitFailed;
  SetLogFailureObserver([](void* target, std::string_view file) {
    static_cast<StationView*>(target)->ShowLogLineLost(file);
  }, &window);
  if (keeper != nullptr) {
    keeper->OnWriteNews([&window](const RecordWriteNews& news) {
      window.ShowRecordWriteNews(RecordWriteNewsText(news), news.failing, news.waiting);
    });
    if (RecordSync* sync = keeper->sync()) {
      sync->OnNews([&window](const SyncNews& news) { window.ShowDatabaseNews(news); });
    }
  }

  ResetStationState(*job);
  if (keeper != nullptr) keeper->SetIdentity(job->identity);
  SetActiveLineJob(lineJob ? &*lineJob : nullptr);
  SetHookFailureObserver([](void* target, int port, std::string_view text) {
    static_cast<StationView*>(target)->ShowHookFailed(port, text);
  }, &window);
  auto tables = std::make_unique<DeviceTables>();
  BuildDeviceTables(host, *tables);
  PortScheduler scheduler(host, *tables, ThreadFunc0, ReadBack);
  // A board swapped between two scans is still claimed.
  line->SetDeviceChangeHandler([&scheduler](DeviceChange change, std::string_view link) {
    scheduler.NoteDeviceChange(change, link);
  });
  CatchInterrupts();

  PortsSeen seen{};
  RunScanLoop(*job, *line, scheduler, window, seen);
  const std::uint32_t started = CloseStation(job->setup, *line, window);
  line->SetDeviceChangeHandler(nullptr);
  window.Finish(started, PathToUtf8(context.home / PathFromUtf8(LogFileName(host.GetLocalTime()))));
  SetLogFailureObserver(nullptr, nullptr);
  if (keeper != nullptr) {
    keeper->OnWriteNews({});
    if (RecordSync* sync = keeper->sync()) sync->OnNews({});
  }
  SetHookFailureObserver(nullptr, nullptr);
  SetActiveLineJob(nullptr);
  // A lost log line fails the run even when every board burned: the record is incomplete.
  return window.AllBurned() && !LogLineLost() ? kExitOk : kExitFailed;
}

}  // namespace korvex::cli
