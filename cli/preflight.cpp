#include "cli/preflight.h"

#include <fstream>

#include "boot/check_config.h"
#include "boot/station_model.h"
#include "cli/console.h"
#include "cli/file_checks.h"
#include "device/cpu_model.h"
#include "host/paths.h"
#include "nand/image_zone.h"
#include "nandtable/nand_cfg.h"
#include "station/production_log.h"

namespace korvex::cli {

namespace {

constexpr std::uint32_t kSmallestPageBytes = 2048;
constexpr std::array<std::string_view, 4> kModelFiles{kStage1FileName, kStage2FileName,
                                                      kConfig2KFileName, kConfig4KFileName};

std::string Quoted(const std::filesystem::path& path) { return PathToUtf8(path); }

// The page an image is written in and why that size.
struct PageView {
  std::uint32_t bytes;
  std::string why;
};

PageView ViewOf(const PreflightInput& input, ImageId image) {
  if (image == kNandBin || (image == kLoaderBin && input.model == kModelQx7120)) {
    return {kSmallestPageBytes, "its fixed 2048-byte view"};
  }
  if (input.chipPageBytes) {
    return {*input.chipPageBytes, "the page of the simulated chip " + input.chipName};
  }
  return {kSmallestPageBytes,
          "the smallest page the station supports; the chip is known only once a board is plugged"};
}

void CheckImage(const PreflightInput& input, ImageId image, PreflightReport& report) {
  const std::string name(kImageFileNames[image]);
  const std::filesystem::path path = PathFromUtf8(input.paths[image]);
  const std::string where = input.normalMode && image != kNandBin
                                ? " (normal mode takes it from nand.bin's folder)"
                                : "";
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (!std::filesystem::exists(status)) {
    report.problems.push_back(name + ": " + Quoted(path) + " does not exist" + where);
    return;
  }
  if (!std::filesystem::is_regular_file(status)) {
    report.problems.push_back(name + ": " + Quoted(path) + " is not a regular file");
    return;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    report.problems.push_back(name + ": " + Quoted(path) + " cannot be read");
    return;
  }
  const std::uint64_t bytes = std::filesystem::file_size(path, error);
  report.imageBytes[image] = bytes;
  const ImageZone& zone = kImageZones[image];
  const std::uint64_t zonePages = zone.zoneEnd - zone.firstPage;
  const PageView view = ViewOf(input, image);
  const std::uint64_t needed = ZonePagesNeeded(bytes, view.bytes);
  // The burn counts a zone used up when its next page reaches the zone's end.
  if (needed >= zonePages) {
    report.problems.push_back(
        name + ": " + Quoted(path) + " (" + std::to_string(bytes) + " bytes) does not fit its zone even "
        "without bad blocks: it needs " + std::to_string(needed) + " pages of " + std::to_string(view.bytes) +
        " bytes, the zone (pages " + std::to_string(zone.firstPage) + ".." + std::to_string(zone.zoneEnd - 1) +
        ") takes " + std::to_string(zonePages - 1) + ", " + std::to_string((zonePages - 1) * view.bytes) +
        " bytes (" + std::to_string(view.bytes) + "-byte pages: " + view.why + ")");
  }
}

void CheckModelFolder(const PreflightInput& input, Host& host, PreflightReport& report) {
  const CpuModelInfo& model = ParsedModel(input.model);
  const std::filesystem::path folder = input.home / PathFromUtf8(model.folder);
  const std::string home = Quoted(input.home);
  if (!std::filesystem::is_directory(folder)) {
    report.problems.push_back("model folder " + Quoted(folder) +
                              " is missing: it must hold fw.bin, korvex.bin, Korvex2K.cfg and "
                              "Korvex4K.cfg (`korvex --home " + home +
                              " sim-home` writes one for simulated boards)");
    return;
  }
  for (const std::string_view file : kModelFiles) {
    const std::filesystem::path path = folder / PathFromUtf8(file);
    if (!std::filesystem::is_regular_file(path)) {
      report.problems.push_back(Quoted(path) + " is missing from the model folder " + Quoted(folder));
      continue;
    }
    if (file != kConfig2KFileName && file != kConfig4KFileName) continue;
    if (const std::string problem = ConfigFileProblem(path); !problem.empty()) {
      report.problems.push_back(problem);
      continue;
    }
    const CheckConfigResult check = RunCheckConfig(host, input.model, path);
    if (!check.Passed()) {
      report.problems.push_back(Quoted(path) + " does not pass check-config (`korvex --home " + home +
                                " check-config --model " + std::string(model.folder) + " " + Quoted(path) +
                                "` shows why)");
    }
  }
}

void CheckTableAndLog(const PreflightInput& input, PreflightReport& report) {
  const bool writable = FolderWritable(input.home);
  const std::filesystem::path table = input.home / PathFromUtf8(kNandTableFileName);
  std::error_code error;
  if (const std::string link = TableLinkProblem(input.home, false); !link.empty()) {
    report.problems.push_back(link);
  } else if (std::filesystem::exists(table, error)) {
    if (!std::filesystem::is_regular_file(table) || !std::ifstream(table, std::ios::binary)) {
      report.problems.push_back(Quoted(table) + " cannot be read as a file");
    }
  } else if (!writable) {
    report.problems.push_back(Quoted(table) + " is missing and cannot be created: " +
                              Quoted(input.home) + " is not writable");
  }
  if (std::filesystem::exists(report.logPath, error)) {
    if (!std::filesystem::is_regular_file(report.logPath) ||
        !std::ofstream(report.logPath, std::ios::binary | std::ios::app)) {
      report.problems.push_back("the production log " + Quoted(report.logPath) + " cannot be written");
    }
  } else if (!writable) {
    report.problems.push_back("the production log cannot be written: " + Quoted(input.home) +
                              " is not writable");
  }
}

}  // namespace

std::uint64_t ZonePagesNeeded(std::uint64_t bytes, std::uint32_t pageBytes) {
  return bytes == 0 ? 0 : bytes / pageBytes + 1;
}

PreflightReport RunPreflight(const PreflightInput& input, Host& host) {
  PreflightReport report;
  report.logPath = input.home / PathFromUtf8(LogFileName(host.GetLocalTime()));
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (input.included[image]) CheckImage(input, static_cast<ImageId>(image), report);
  }
  CheckModelFolder(input, host, report);
  CheckTableAndLog(input, report);
  if (input.demoFile) {
    if (const std::string problem = DemoFileProblem(PathFromUtf8(*input.demoFile)); !problem.empty()) {
      report.problems.push_back("demo file: " + problem);
    }
  }
  const PageView others = ViewOf(input, kResBin);
  report.pageNote = std::string("zones measured in 2048-byte pages for nand.bin") +
                    (input.model == kModelQx7120 ? " and loader.bin" : "") + ", " +
                    std::to_string(others.bytes) + "-byte pages for the others (" + others.why + ")";
  return report;
}

}  // namespace korvex::cli
