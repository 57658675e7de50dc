// How much of a burn is the station's own work: eight simulated boards burned from the
// sample images at memory speed (no timing model, instant boot waits), against the USB
// link the real line shares (35 MB/s for all boards on one host controller).
//
//   korvex_bench [boards] [rounds]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/port_scheduler.h"
#include "app/model_selection.h"
#include "boot/station_model.h"
#include "device/device_discovery.h"
#include "host/paths.h"
#include "app/port_workers.h"
#include "nandtable/nand_cfg.h"
#include "sim/placeholder_home.h"
#include "sim/sim_host.h"

using namespace korvex;

namespace {

constexpr double kUsbLinkBytesPerSecond = 35e6;

double BurnOnce(const std::filesystem::path& home, int boards, std::uint64_t& bytes) {
  sim::SimHost host(boards, home);
  host.SetInstantSleep(true);
  host.SetMessageBoxHandler([](const MessageBoxRequest& request) {
    std::fprintf(stderr, "message: %.*s\n", static_cast<int>(request.text.size()), request.text.data());
    return MessageAnswer::Ok;
  });
  for (int port = 0; port < boards; ++port) host.Plug(port, {});
  EnsureNandTable(host);
  ResetPortRecords();
  auto tables = std::make_unique<DeviceTables>();
  BuildDeviceTables(host, *tables);
  PortScheduler scheduler(host, *tables, ThreadFunc0, ReadBack);
  StationSettings settings;
  settings.hwndMain = 1;
  bytes = 0;
  for (const sim::SampleImage& image : sim::kSampleImages) {
    bytes += image.bytes * static_cast<std::uint64_t>(boards);
  }
  for (std::size_t i = 0; i < kImageCount; ++i) {
    const auto id = static_cast<ImageId>(i);
    settings.SetImage(id, PathToUtf8(home / "images" / std::string(kImageFileNames[i])), true);
  }

  const auto start = std::chrono::steady_clock::now();
  scheduler.Scan(settings);
  host.JoinThreads();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (int port = 0; port < boards; ++port) {
    if (g_portRuns[static_cast<std::size_t>(port)].burning != kBurningDone) {
      std::fprintf(stderr, "board %d did not finish its burn\n", port + 1);
      std::exit(1);
    }
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int boards = argc > 1 ? std::atoi(argv[1]) : 8;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  if (boards < 1 || boards > 8 || rounds < 1) {
    std::fprintf(stderr, "usage: korvex_bench [boards 1..8] [rounds]\n");
    return 2;
  }
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("korvex-bench-" + std::to_string(std::rand()));
  std::string error;
  if (!sim::WritePlaceholderHome(home, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  SelectCpuModel(kDefaultCpuModel);
  double best = 1e9;
  std::uint64_t bytes = 0;
  for (int round = 0; round < rounds; ++round) best = std::min(best, BurnOnce(home, boards, bytes));
  std::filesystem::remove_all(home);

  const double rate = static_cast<double>(bytes) / best;
  const double linkSeconds = static_cast<double>(bytes) / kUsbLinkBytesPerSecond;
  std::printf("boards: %d, image bytes: %.1f MB, best of %d: %.3f s\n", boards, bytes / 1e6, rounds, best);
  std::printf("station + simulator: %.0f MB/s; the shared USB link alone needs %.2f s (%.1f%% overhead)\n",
              rate / 1e6, linkSeconds, 100.0 * best / linkSeconds);
  return 0;
}
