// What burning costs the station and its simulator, every figure measured in one run:
// a table for a person, then one JSON object on the last line.
//
//   korvex_bench [--korvex PATH] [--timing-scale X]
//
// Eight boards unless said otherwise, burned from two image sets: the samples that
// `korvex sim-home` writes, and a large set of about 120 MB a board written here.
//
//   line_rate_ratio_warm/cold  image bytes a second at memory speed (no timing model)
//                              over the USB 2.0 line rate: the best warm round, and the
//                              best first round of fresh processes, taken in turns
//                              (large set)
//   cpu_s_per_100mb            process CPU seconds per 100 MB burned (warm rounds)
//   replay_ratio_2k/4k         wall time with the timing model over the replay of that
//                              run's own charges through a fresh model: the time the
//                              line would take if the station cost nothing (samples)
//   idle_rss_mib               resident memory of `korvex station --sim 8` with its
//                              eight ports still empty, after 10 s
//   rehearsal_peak_ratio       peak resident memory of eight boards burning the large
//                              set over that of one board, each a process of its own
//   verify_time_ratio          eight boards with the timing model, every write read back,
//                              over the same without; beside it the link's busy time, the
//                              pair's replays with the boards plugged one after another,
//                              and the same pair with four boards, whose link has room
//
// Internal: `korvex_bench --child HOME IMAGES BOARDS PAGES` burns one round in this
// fresh process and prints "seconds cpu-seconds bytes peak-KiB".

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/port_scheduler.h"
#include "app/model_selection.h"
#include "boot/station_model.h"
#include "device/device_discovery.h"
#include "host/paths.h"
#include "app/port_workers.h"
#include "nand/image_zone.h"
#include "nandtable/nand_cfg.h"
#include "sim/placeholder_home.h"
#include "sim/sim_host.h"

extern char** environ;

using namespace korvex;
namespace fs = std::filesystem;

namespace {

// USB 2.0 high speed carries at most 13 bulk packets of 512 bytes per 125 us microframe.
constexpr double kUsbLineBytesPerSecond = 13 * 512 * 8000.0;
constexpr int kBoards = 8;
// Best-of counts: the machine may be shared, and a burst of other work hits one try.
constexpr int kRoundPairs = 5;  // a fresh process's first round, then a warm round
constexpr int kTimedAttempts = 5;
constexpr auto kIdleWait = std::chrono::seconds(10);

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

// The default model with every rate `scale` times faster, so a timed run takes seconds.
sim::TimingModel ScaledTiming(double scale) {
  sim::TimingModel model;
  model.usbBytesPerSecond *= scale;
  model.requestRoundTripSeconds /= scale;
  model.pageProgramSeconds /= scale;
  model.pageReadSeconds /= scale;
  model.blockEraseSeconds /= scale;
  return model;
}

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// A "Name:   123 kB" line of /proc/<pid>/status, in KiB; 0 when it cannot be read.
std::uint64_t StatusKiB(const std::string& pid, const std::string& field) {
  std::ifstream status("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::strtoull(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return 0;
}

struct Line {
  fs::path home;
  fs::path images;
  std::uint64_t bytesPerBoard = 0;
  int boards = kBoards;
  int pageSize = 2048;
  std::optional<sim::TimingModel> timing;
  bool verify = false;  // every write read back and compared
};

struct Round {
  double seconds = 0;     // the burn: from the scan to the last worker's end
  double cpuSeconds = 0;  // the whole process, setting up and tearing down the line too
  std::uint64_t bytes = 0;
  std::vector<std::vector<sim::TimedCharge>> charges;  // per board, with the timing model
};

Round BurnRound(const Line& line) {
  const double cpuStart = ProcessCpuSeconds();
  Round round;
  {
    sim::SimHost host(line.boards, line.home);
    host.SetInstantSleep(true);
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
    EnsureNandTable(host);
    ResetPortRecords();
    auto tables = std::make_unique<DeviceTables>();
    BuildDeviceTables(host, *tables);
    PortScheduler scheduler(host, *tables, ThreadFunc0, ReadBack);
    StationSettings settings;
    settings.hwndMain = 1;
    settings.verifyWrites = line.verify;
    for (std::size_t i = 0; i < kImageCount; ++i) {
      settings.SetImage(static_cast<ImageId>(i), PathToUtf8(line.images / std::string(kImageFileNames[i])), true);
    }

    const auto start = std::chrono::steady_clock::now();
    scheduler.Scan(settings);
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

// Each board's charges again, on threads of their own through a fresh model: the same
// bus queue and the same NAND time, without the station and simulator in between.
// Board k may start k * `stagger` after the first, as boards plugged one after another.
double Replay(const sim::TimingModel& model, const std::vector<std::vector<sim::TimedCharge>>& boards,
              std::chrono::duration<double> stagger = {}) {
  sim::SimTiming timing;
  timing.SetModel(model);
  timing.SetEnabled(true);
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> threads;
  for (std::size_t board = 0; board < boards.size(); ++board) {
    const auto plugged = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                     stagger * static_cast<double>(board));
    threads.emplace_back([&timing, &charges = boards[board], plugged] {
      std::this_thread::sleep_until(plugged);
      for (const sim::TimedCharge& charge : charges) timing.Charge(charge);
    });
  }
  for (auto& thread : threads) thread.join();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Seconds the shared link is busy carrying the charges' bulk bytes, queueing aside.
double LinkSeconds(const sim::TimingModel& model, const std::vector<std::vector<sim::TimedCharge>>& boards) {
  std::uint64_t bytes = 0;
  for (const auto& charges : boards) {
    for (const sim::TimedCharge& charge : charges) bytes += charge.bulk ? charge.bytes : 0;
  }
  return static_cast<double>(bytes) / model.usbBytesPerSecond;
}

struct TimedLine {
  double seconds = 1e9;        // best wall time of the burn
  double replaySeconds = 1e9;  // best replay of a run's charges
  double linkSeconds = 0;      // the link's busy time in the run
  std::vector<std::vector<sim::TimedCharge>> charges;  // the last run's
};

struct VerifyCost {
  TimedLine without;
  TimedLine with;
};

// The line timed with and without verification, taken in turns so that other load on
// the machine falls on both alike.
VerifyCost MeasureVerifyCost(Line line, const sim::TimingModel& model, int attempts) {
  VerifyCost cost;
  line.timing = model;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    for (TimedLine* timed : {&cost.without, &cost.with}) {
      line.verify = timed == &cost.with;
      const Round round = BurnRound(line);
      timed->seconds = std::min(timed->seconds, round.seconds);
      timed->replaySeconds = std::min(timed->replaySeconds, Replay(model, round.charges));
      timed->linkSeconds = LinkSeconds(model, round.charges);
      timed->charges = round.charges;
    }
  }
  return cost;
}

// Runs `program args...` and waits; stdout into `out` when given, else /dev/null.
// The pid goes to `started` (for a caller that stops it itself), otherwise it is
// waited for. False when it could not start or did not exit with 0.
bool Spawn(const std::vector<std::string>& args, std::string* out, pid_t* started = nullptr) {
  int pipeFds[2] = {-1, -1};
  if (out != nullptr && pipe(pipeFds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out != nullptr) {
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (out != nullptr) {
    close(pipeFds[1]);
    if (error == 0) {
      char buffer[4096];
      ssize_t n = 0;
      while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) out->append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
  }
  if (error != 0) return false;
  if (started != nullptr) {
    *started = pid;
    return true;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct ChildRound {
  double seconds = 0;
  double cpuSeconds = 0;
  std::uint64_t bytes = 0;
  std::uint64_t peakKiB = 0;
};

// One round as the first thing a fresh process does.
std::optional<ChildRound> RunChildRound(const fs::path& self, const Line& line) {
  std::string out;
  if (!Spawn({self.string(), "--child", line.home.string(), line.images.string(),
              std::to_string(line.boards), std::to_string(line.pageSize)},
             &out)) {
    return std::nullopt;
  }
  ChildRound round;
  unsigned long long bytes = 0, peak = 0;
  if (std::sscanf(out.c_str(), "%lf %lf %llu %llu", &round.seconds, &round.cpuSeconds, &bytes, &peak) != 4) {
    return std::nullopt;
  }
  round.bytes = bytes;
  round.peakKiB = peak;
  return round;
}

int ChildMain(int argc, char** argv) {
  if (argc != 6) return 2;
  Line line;
  line.home = argv[2];
  line.images = argv[3];
  line.boards = std::atoi(argv[4]);
  line.pageSize = std::atoi(argv[5]);
  for (std::size_t i = 0; i < kImageCount; ++i) {
    line.bytesPerBoard += fs::file_size(line.images / std::string(kImageFileNames[i]));
  }
  SelectCpuModel(kDefaultCpuModel);
  const Round round = BurnRound(line);
  std::printf("%.6f %.6f %llu %llu\n", round.seconds, round.cpuSeconds,
              static_cast<unsigned long long>(round.bytes),
              static_cast<unsigned long long>(StatusKiB("self", "VmHWM")));
  return 0;
}

// The console station with eight empty ports, as an operator leaves it before the
// boards come: its resident memory after kIdleWait.
std::optional<double> IdleStationMiB(const fs::path& korvex, const fs::path& home) {
  pid_t pid = 0;
  if (!fs::exists(korvex) ||
      !Spawn({korvex.string(), "--home", home.string(), "station", "--sim", "8", "--sim-plug-after", "86400",
              "--nand", (home / "images" / "nand.bin").string()},
             nullptr, &pid)) {
    return std::nullopt;
  }
  std::this_thread::sleep_for(kIdleWait);
  const std::uint64_t rssKiB = StatusKiB(std::to_string(pid), "VmRSS");
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  if (rssKiB == 0) return std::nullopt;
  return static_cast<double>(rssKiB) / 1024.0;
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

// The system's 1-minute load average: a reader of the timings needs to know whether
// other work shared the machine's cores.
std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string oneMinute;
  file >> oneMinute;
  return oneMinute.empty() ? "?" : oneMinute;
}

struct Figure {
  const char* key;
  std::optional<double> value;
  const char* target;
  std::string how;
};

std::string Format(const char* format, double a = 0, double b = 0, double c = 0, double d = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--child") return ChildMain(argc, argv);

  const fs::path self = fs::read_symlink("/proc/self/exe");
  fs::path korvex = self.parent_path() / "korvex";
  double timingScale = 4;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--korvex" && i + 1 < argc) {
      korvex = argv[++i];
    } else if (arg == "--timing-scale" && i + 1 < argc) {
      timingScale = std::atof(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: korvex_bench [--korvex PATH] [--timing-scale X]\n");
      return 2;
    }
  }
  if (!(timingScale > 0)) {
    std::fprintf(stderr, "--timing-scale takes a positive number\n");
    return 2;
  }

  const std::string loadBefore = LoadAverage();
  const fs::path root = fs::temp_directory_path() / ("korvex-bench-" + std::to_string(getpid()));
  // Removes the images and homes however main returns.
  const std::unique_ptr<const fs::path, void (*)(const fs::path*)> cleanup(&root, [](const fs::path* dir) {
    std::error_code ignored;
    fs::remove_all(*dir, ignored);
  });
  const fs::path home = root / "home";
  std::string error;
  std::uint64_t largeBytes = 0;
  if (!sim::WritePlaceholderHome(home, error) || !WriteLargeSet(root / "large", largeBytes, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::uint64_t sampleBytes = 0;
  for (const sim::SampleImage& image : sim::kSampleImages) sampleBytes += image.bytes;
  SelectCpuModel(kDefaultCpuModel);

  Line large;
  large.home = home, large.images = root / "large", large.bytesPerBoard = largeBytes;
  Line samples = large;
  samples.images = home / std::string(sim::kSampleImagesFolder), samples.bytesPerBoard = sampleBytes;

  // Memory peaks, each line in a fresh process of its own.
  std::fprintf(stderr, "peaks of one and of eight boards...\n");
  Line oneBoard = large;
  oneBoard.boards = 1;
  const std::optional<ChildRound> peak1 = RunChildRound(self, oneBoard);
  const std::optional<ChildRound> peak8 = RunChildRound(self, large);
  if (!peak1 || !peak8) {
    std::fprintf(stderr, "a round in a fresh process failed\n");
    return 1;
  }

  // First rounds of fresh processes and warm rounds of this one, taken in turns so
  // that other load on the machine falls on both alike.
  std::fprintf(stderr, "first rounds of fresh processes and warm rounds...\n");
  BurnRound(large);  // warms this process up
  std::vector<double> coldSeconds;
  std::vector<double> warmSeconds;
  double warmCpu = 0;
  std::uint64_t warmBytes = 0;
  for (int i = 0; i < kRoundPairs; ++i) {
    const std::optional<ChildRound> child = RunChildRound(self, large);
    if (!child) {
      std::fprintf(stderr, "a round in a fresh process failed\n");
      return 1;
    }
    coldSeconds.push_back(child->seconds);
    const Round round = BurnRound(large);
    warmSeconds.push_back(round.seconds);
    warmCpu += round.cpuSeconds;
    warmBytes += round.bytes;
  }
  std::sort(coldSeconds.begin(), coldSeconds.end());
  std::sort(warmSeconds.begin(), warmSeconds.end());
  const double warmBest = warmSeconds.front();
  const auto median = [](const std::vector<double>& sorted) { return sorted[sorted.size() / 2]; };
  const auto bestWarm = [](const Line& line, int rounds) {
    BurnRound(line);
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) best = std::min(best, BurnRound(line).seconds);
    return best;
  };
  Line large4k = large;
  large4k.pageSize = 4096;
  const double warm4kSeconds = bestWarm(large4k, 2);
  const double samplesSeconds = bestWarm(samples, 2);

  std::fprintf(stderr, "timed rounds and their replays...\n");
  const sim::TimingModel model = ScaledTiming(timingScale);
  std::array<double, 2> timedSeconds{1e9, 1e9}, replaySeconds{1e9, 1e9};
  for (std::size_t i = 0; i < 2; ++i) {
    Line timed = samples;
    timed.pageSize = i == 0 ? 2048 : 4096;
    timed.timing = model;
    // Both the best of a few, taken in turns, so a burst of other load on the machine
    // falls on one try rather than on one side.
    for (int attempt = 0; attempt < kTimedAttempts; ++attempt) {
      const Round round = BurnRound(timed);
      timedSeconds[i] = std::min(timedSeconds[i], round.seconds);
      replaySeconds[i] = std::min(replaySeconds[i], Replay(model, round.charges));
    }
  }

  std::fprintf(stderr, "timed rounds with verification...\n");
  const VerifyCost verify8 = MeasureVerifyCost(samples, model, kTimedAttempts);
  // The same exchanges replayed with the boards plugged one line-second apart: eight
  // boards that start in the same instant erase their zones together, leaving the link
  // idle while it is what limits their writing.
  const std::chrono::duration<double> plugStep(1.0 / timingScale);
  double staggeredWithout = 1e9, staggeredWith = 1e9;
  for (int attempt = 0; attempt < 3; ++attempt) {
    staggeredWithout = std::min(staggeredWithout, Replay(model, verify8.without.charges, plugStep));
    staggeredWith = std::min(staggeredWith, Replay(model, verify8.with.charges, plugStep));
  }
  // Four boards leave the link room: whether the reads hide behind other boards'
  // programming when the link is not what limits the line.
  Line fourBoards = samples;
  fourBoards.boards = 4;
  const VerifyCost verify4 = MeasureVerifyCost(fourBoards, model, kTimedAttempts);

  std::fprintf(stderr, "idle station for %lld s...\n", static_cast<long long>(kIdleWait.count()));
  const std::optional<double> idleMiB = IdleStationMiB(korvex, home);

  const double largeRoundBytes = static_cast<double>(largeBytes) * kBoards;
  const auto mbps = [](double bytes, double seconds) { return bytes / seconds / 1e6; };
  const double warmRate = mbps(largeRoundBytes, warmBest);
  const double coldRate = mbps(largeRoundBytes, coldSeconds.front());
  const double lineRate = kUsbLineBytesPerSecond / 1e6;
  const std::string timedHow = Format("samples, timing %gx, best of %.0f each", timingScale, kTimedAttempts);

  const std::vector<Figure> figures{
      {"line_rate_ratio_warm", warmRate / lineRate, ">= 20",
       Format("%.0f MB/s: best of %.0f warm rounds, large set, 2048-byte pages", warmRate, kRoundPairs)},
      {"line_rate_ratio_cold", coldRate / lineRate, ">= 20",
       Format("%.0f MB/s: best first round of %.0f fresh processes (median %.0f, worst %.0f MB/s)", coldRate,
              kRoundPairs, mbps(largeRoundBytes, median(coldSeconds)),
              mbps(largeRoundBytes, coldSeconds.back()))},
      {"cpu_s_per_100mb", warmCpu / (static_cast<double>(warmBytes) / 100e6), "",
       Format("%.2f CPU s for %.0f MB over the warm rounds, line set-up and tear-down included", warmCpu,
              static_cast<double>(warmBytes) / 1e6)},
      {"replay_ratio_2k", timedSeconds[0] / replaySeconds[0], "<= 1.02",
       Format("timed %.3f s, replay %.3f s: ", timedSeconds[0], replaySeconds[0]) + timedHow},
      {"replay_ratio_4k", timedSeconds[1] / replaySeconds[1], "<= 1.02",
       Format("timed %.3f s, replay %.3f s: ", timedSeconds[1], replaySeconds[1]) + timedHow},
      {"idle_rss_mib", idleMiB, "<= 24",
       idleMiB ? Format("VmRSS of korvex station --sim 8 with empty ports after %.0f s",
                        static_cast<double>(kIdleWait.count()))
               : "not measured: " + korvex.string() + " did not start"},
      {"rehearsal_peak_ratio", static_cast<double>(peak8->peakKiB) / static_cast<double>(peak1->peakKiB), "<= 2",
       Format("VmHWM %.0f MiB with 8 boards, %.0f MiB with 1, large set", peak8->peakKiB / 1024.0,
              peak1->peakKiB / 1024.0)},
      {"verify_time_ratio", verify8.with.seconds / verify8.without.seconds, "<= 1.2",
       Format("with %.3f s, without %.3f s; the replay of the verified run alone takes %.3f s, ",
              verify8.with.seconds, verify8.without.seconds, verify8.with.replaySeconds) +
           Format("the link busy %.0f%% of it: ", 100.0 * verify8.with.linkSeconds / verify8.with.replaySeconds) +
           timedHow},
  };

  std::printf("korvex_bench: %d boards; large set %.1f MB a board, samples %.1f MB a board\n", kBoards,
              static_cast<double>(largeBytes) / 1e6, static_cast<double>(sampleBytes) / 1e6);
  std::printf("line rate: USB 2.0 at %.3f MB/s; timing model %gx faster than sim/timing.h's defaults\n",
              lineRate, timingScale);
  std::printf("machine: %u cores, load average %s before the run and %s after (other work shares the cores)\n\n",
              std::thread::hardware_concurrency(), loadBefore.c_str(), LoadAverage().c_str());
  std::printf("%-22s %8s  %-8s %s\n", "figure", "value", "target", "how");
  for (const Figure& figure : figures) {
    const std::string value = figure.value ? Format("%.3f", *figure.value) : "null";
    std::printf("%-22s %8s  %-8s %s\n", figure.key, value.c_str(), figure.target, figure.how.c_str());
  }
  std::printf("\nalso: a first round takes %.0f%% of a warm round's time (best against best), %.0f%% (median "
              "against median); large set at 4096-byte pages %.0f MB/s warm; samples %.0f MB/s warm\n",
              100.0 * coldSeconds.front() / warmBest, 100.0 * median(coldSeconds) / median(warmSeconds),
              mbps(largeRoundBytes, warm4kSeconds),
              mbps(static_cast<double>(sampleBytes) * kBoards, samplesSeconds));
  std::printf("also: the read-back's bytes on the shared link: %.3f s of link time with verification, %.3f s "
              "without (8 boards)\n",
              verify8.with.linkSeconds, verify8.without.linkSeconds);
  std::printf("also: 8 boards plugged %.2f s apart (replays, no station): with verification %.3f s, without %.3f s, "
              "ratio %.3f\n",
              plugStep.count(), staggeredWith, staggeredWithout, staggeredWith / staggeredWithout);
  std::printf("also: 4 boards: with verification %.3f s, without %.3f s, ratio %.3f; the link busy %.0f%% of "
              "the verified replay\n\n",
              verify4.with.seconds, verify4.without.seconds, verify4.with.seconds / verify4.without.seconds,
              100.0 * verify4.with.linkSeconds / verify4.with.replaySeconds);

  std::string json = "{";
  for (const Figure& figure : figures) {
    if (json.size() > 1) json += ", ";
    json += "\"" + std::string(figure.key) + "\": " + (figure.value ? Format("%.4f", *figure.value) : "null");
  }
  std::printf("%s}\n", json.c_str());
  return 0;
}
