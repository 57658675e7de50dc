#include "cli/station_job.h"

#include <iostream>

#include "app/main_window_model.h"
#include "app/station_settings_model.h"
#include "boot/station_model.h"
#include "cli/cli_args.h"
#include "cli/command_help.h"
#include "cli/console_texts.h"
#include "cli/commands.h"
#include "cli/image_options.h"
#include "cli/station_line.h"
#include "host/paths.h"

namespace korvex::cli {
namespace {

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

}  // namespace

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

}  // namespace korvex::cli
