#include "bench/line.h"

#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "app/station_core.h"
#include "host/paths.h"
#include "nand/image_zone.h"
#include "records/record_keeper.h"
#include "sim/placeholder_home.h"
#include "sim/sim_host.h"
#include "station/port_context.h"

namespace korvex::bench {
namespace {

// The large set: about 120 MB, each image inside its zone at 2048-byte pages (and so at
// 4096), none a whole number of blocks. nand.bin keeps the samples' size and blank pages.
std::vector<sim::SampleImage> LargeImages() {
  constexpr std::size_t kMiB = 1024 * 1024;
  const std::array<std::size_t, kImageCount> bytes{
      sim::kSampleImages[0].bytes, 400 * 1024 + 333, 400 * 1024 + 555,
      30 * kMiB + 777,             30 * kMiB + 4321, 52 * kMiB + 54321};
  std::vector<sim::SampleImage> images(sim::kSampleImages.begin(), sim::kSampleImages.end());
  for (std::size_t i = 0; i < images.size(); ++i) images[i].bytes = bytes[i];
  return images;
}

// The chips: the default one with 2048-byte pages, and one with 4096-byte pages.
sim::ChipSpec Chip(int pageSize) {
  sim::ChipSpec chip;
  if (pageSize == 4096) chip.mainId = 0xECD5, chip.extId = 0x74B614;
  return chip;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The records as a station keeps them: the pre-flight hashes each image once, the
// workers write one record per board. None when the line keeps none.
std::shared_ptr<RecordKeeper> RoundRecords(const Line& line, const StationSettings& settings, double& hashSeconds) {
  if (line.records.empty()) return RecordKeeper::None();
  auto keeper = std::make_shared<RecordKeeper>(line.records, "BENCH");
  const auto start = std::chrono::steady_clock::now();
  for (const ImagePath& image : settings.imagePaths) keeper->digests().HashNow(image.View());
  hashSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return keeper;
}

void PlugLine(sim::SimHost& host, const Line& line) {
  // The console's choice: at memory speed the settle waits take no time, with the
  // timing model they are slept (and the boards keep them with their charges).
  host.SetInstantSleep(!line.timing);
  if (line.timing) {
    host.SetTimingModel(*line.timing);
    host.SetTimingEnabled(true);
  }
  host.SetMessageBoxHandler([](const MessageBoxRequest& request) {
    std::fprintf(stderr, "message: %.*s\n", static_cast<int>(request.text.size()), request.text.data());
    return MessageAnswer::Ok;
  });
  sim::BoardSpec board;
  board.chip = Chip(line.pageSize);
  for (int port = 0; port < line.boards; ++port) host.Plug(port, board);
}

StationSettings SettingsOf(const Line& line) {
  StationSettings settings;
  settings.hwndMain = 1;
  settings.verifyWrites = line.verify;
  for (std::size_t i = 0; i < kImageCount; ++i) {
    settings.SetImage(static_cast<ImageId>(i), PathToUtf8(line.images / std::string(kImageFileNames[i])), true);
  }
  return settings;
}

}  // namespace

sim::TimingModel ScaledTiming(double scale) {
  sim::TimingModel model;
  model.usbBytesPerSecond *= scale;
  model.requestRoundTripSeconds /= scale;
  model.pageProgramSeconds /= scale;
  model.pageReadSeconds /= scale;
  model.blockEraseSeconds /= scale;
  return model;
}

Round BurnRound(const Line& line) {
  const double cpuStart = ProcessCpuSeconds();
  Round round;
  {
    sim::SimHost host(line.boards, line.home);
    PlugLine(host, line);
    const StationSettings settings = SettingsOf(line);
    auto station = StationCore::BringUp(host, RoundRecords(line, settings, round.hashSeconds));
    if (!station) {
      std::fprintf(stderr, "the NAND table could not be written in %s\n", line.home.string().c_str());
      std::exit(1);
    }

    const auto start = std::chrono::steady_clock::now();
    station->scheduler().Scan(settings);
    host.JoinThreads();
    round.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (int port = 0; port < line.boards; ++port) {
      if (g_portRuns[static_cast<std::size_t>(port)].burning != kBurningDone) {
        std::fprintf(stderr, "board %d did not finish its burn\n", port + 1);
        std::exit(1);
      }
      if (line.timing) round.charges.push_back(host.TimedCharges(port));
    }
  }
  round.cpuSeconds = ProcessCpuSeconds() - cpuStart;
  round.bytes = line.bytesPerBoard * static_cast<std::uint64_t>(line.boards);
  return round;
}

double LinkSeconds(const sim::TimingModel& model, const std::vector<std::vector<sim::TimedCharge>>& boards) {
  std::uint64_t bytes = 0;
  for (const auto& charges : boards) {
    for (const sim::TimedCharge& charge : charges) bytes += charge.bulk ? charge.bytes : 0;
  }
  return static_cast<double>(bytes) / model.usbBytesPerSecond;
}

bool WriteLargeSet(const fs::path& dir, std::uint64_t& bytesPerBoard, std::string& error) {
  fs::create_directories(dir);
  bytesPerBoard = 0;
  const std::vector<sim::SampleImage> images = LargeImages();
  for (std::size_t i = 0; i < images.size(); ++i) {
    const sim::SampleImage& image = images[i];
    // The station pads the tail to whole pages and needs the page after the image
    // inside the zone.
    const ImageZone& zone = kImageZones[i];
    if (image.name != kImageFileNames[i] || zone.firstPage + image.bytes / 2048 + 1 >= zone.zoneEnd) {
      error = std::string(image.name) + " does not fit its zone at 2048-byte pages";
      return false;
    }
    const std::vector<std::uint8_t> bytes = sim::SampleImageBytes(image);
    std::ofstream file(dir / std::string(image.name), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
      error = "cannot write " + (dir / std::string(image.name)).string();
      return false;
    }
    bytesPerBoard += bytes.size();
  }
  return true;
}

}  // namespace korvex::bench
