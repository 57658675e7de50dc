// What burning costs the station and its simulator, every figure measured in one run:
// a table for a person, then one JSON object on the last line.
//
//   korvex_bench [--korvex PATH] [--timing-scale X] [--no-records]
//
// Eight boards unless said otherwise, burned from two image sets: the samples that
// `korvex sim-home` writes, and a large set of about 120 MB a board written here. The
// station runs as users run it: board records kept (each image hashed once at the
// pre-flight, every record appended and synced to the disk) unless --no-records, and
// with the timing model its settle waits slept, as the console sleeps them.
//
//   line_rate_ratio_warm/cold  image bytes a second at memory speed (no timing model)
//                              over the USB 2.0 line rate: the best warm round, and the
//                              best first round of fresh processes, taken in turns
//                              (large set); the pre-flight's hashing comes before it
//   cpu_s_per_100mb            process CPU seconds per 100 MB burned (warm rounds, the
//                              pre-flight's hashing and the records included)
//   replay_ratio_2k/4k         wall time with the timing model over the zero-cost
//                              schedule of that run's own charges (sim/timing.h's
//                              ZeroCostSeconds): the time the line would take if
//                              nothing but the model cost anything (samples)
//   verify_overhead_vs_model   the same for eight boards verifying every write
//   idle_rss_mib               resident memory of `korvex station --sim 8` with its
//                              eight ports still empty, after 10 s
//   rehearsal_peak_ratio       peak resident memory of eight boards burning the large
//                              set over that of one board, each a process of its own
//
// Medians stand beside the bests. Beside them: the verified run over the unverified
// one, the link's busy time, the schedules with the boards plugged one after another,
// and the same pair with four boards, whose link has room.
//
// Internal: `korvex_bench --child HOME IMAGES BOARDS PAGES RECORDS` burns one round in
// this fresh process (RECORDS a folder, or - for none) and prints "seconds cpu-seconds
// bytes peak-KiB".

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

#include "app/station_core.h"
#include "app/model_selection.h"
#include "boot/station_model.h"
#include "host/paths.h"
#include "nand/image_zone.h"
#include "nandtable/nand_cfg.h"
#include "records/record_keeper.h"
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
  fs::path records;     // the board records' folder; empty for a station without records
};

struct Round {
  double seconds = 0;     // the burn: from the scan to the last worker's end
  double hashSeconds = 0; // the pre-flight's hashing of the images, before the burn
  double cpuSeconds = 0;  // the whole process, setting up and tearing down the line too
  std::uint64_t bytes = 0;
  std::vector<std::vector<sim::TimedCharge>> charges;  // per board, with the timing model
};

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

// Seconds the shared link is busy carrying the charges' bulk bytes, queueing aside.
double LinkSeconds(const sim::TimingModel& model, const std::vector<std::vector<sim::TimedCharge>>& boards) {
  std::uint64_t bytes = 0;
  for (const auto& charges : boards) {
    for (const sim::TimedCharge& charge : charges) bytes += charge.bulk ? charge.bytes : 0;
  }
  return static_cast<double>(bytes) / model.usbBytesPerSecond;
}

// A figure taken several times: its best and its median.
struct Samples {
  std::vector<double> values;
  void Add(double value) { values.push_back(value); }
  double Best() const { return *std::min_element(values.begin(), values.end()); }
  double Median() const {
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }
};

// A line timed with the model, beside the zero-cost schedule of each run's charges.
struct TimedLine {
  Samples seconds;        // wall time of the burn
  Samples overModel;      // each run's time over its own zero-cost schedule
  double modelSeconds = 0;  // the last run's zero-cost schedule
  double linkSeconds = 0;   // the link's busy time in the last run
  std::vector<std::vector<sim::TimedCharge>> charges;  // the last run's

  void Add(const Round& round, const sim::TimingModel& model) {
    modelSeconds = sim::ZeroCostSeconds(model, round.charges);
    seconds.Add(round.seconds);
    overModel.Add(round.seconds / modelSeconds);
    linkSeconds = LinkSeconds(model, round.charges);
    charges = round.charges;
  }
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
      timed->Add(BurnRound(line), model);
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
              std::to_string(line.boards), std::to_string(line.pageSize),
              line.records.empty() ? "-" : line.records.string()},
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
  if (argc != 7) return 2;
  Line line;
  line.home = argv[2];
  line.images = argv[3];
  line.boards = std::atoi(argv[4]);
  line.pageSize = std::atoi(argv[5]);
  if (std::string(argv[6]) != "-") line.records = argv[6];
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
  std::string key;
  std::optional<double> value;
  const char* target;
  std::string how;
};

std::string Format(const char* format, double a = 0, double b = 0, double c = 0, double d = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  return text;
}

struct Options {
  fs::path self;
  fs::path korvex;
  double timingScale = 4;
  bool records = true;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  options.self = fs::read_symlink("/proc/self/exe");
  options.korvex = options.self.parent_path() / "korvex";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--korvex" && i + 1 < argc) {
      options.korvex = argv[++i];
    } else if (arg == "--timing-scale" && i + 1 < argc) {
      options.timingScale = std::atof(argv[++i]);
    } else if (arg == "--no-records") {
      options.records = false;
    } else {
      std::fprintf(stderr, "usage: korvex_bench [--korvex PATH] [--timing-scale X] [--no-records]\n");
      return std::nullopt;
    }
  }
  if (!(options.timingScale > 0)) {
    std::fprintf(stderr, "--timing-scale takes a positive number\n");
    return std::nullopt;
  }
  return options;
}

// The rounds at memory speed: first rounds of fresh processes and warm rounds of this
// one, taken in turns so that other load on the machine falls on both alike.
struct SpeedFigures {
  Samples cold, warm;  // seconds
  double warmCpu = 0;
  std::uint64_t warmBytes = 0;
  Samples hashSeconds;  // the pre-flight's hashing of each warm round
  double warm4kSeconds = 0, samplesSeconds = 0;
};

std::optional<SpeedFigures> MeasureSpeed(const fs::path& self, const Line& large, const Line& samples) {
  std::fprintf(stderr, "first rounds of fresh processes and warm rounds...\n");
  SpeedFigures speed;
  BurnRound(large);  // warms this process up
  for (int i = 0; i < kRoundPairs; ++i) {
    const std::optional<ChildRound> child = RunChildRound(self, large);
    if (!child) return std::nullopt;
    speed.cold.Add(child->seconds);
    const Round round = BurnRound(large);
    speed.warm.Add(round.seconds);
    speed.hashSeconds.Add(round.hashSeconds);
    speed.warmCpu += round.cpuSeconds;
    speed.warmBytes += round.bytes;
  }
  const auto bestWarm = [](const Line& line, int rounds) {
    BurnRound(line);
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) best = std::min(best, BurnRound(line).seconds);
    return best;
  };
  Line large4k = large;
  large4k.pageSize = 4096;
  speed.warm4kSeconds = bestWarm(large4k, 2);
  speed.samplesSeconds = bestWarm(samples, 2);
  return speed;
}

// The rounds with the timing model, each beside its zero-cost schedule.
struct TimedFigures {
  std::array<TimedLine, 2> pages;  // 2048- and 4096-byte pages
  VerifyCost verify8, verify4;
  double plugStep = 0;  // seconds between boards plugged one after another
};

TimedFigures MeasureTimed(const Line& samples, const sim::TimingModel& model, double timingScale) {
  std::fprintf(stderr, "timed rounds...\n");
  TimedFigures timed;
  for (std::size_t i = 0; i < 2; ++i) {
    Line line = samples;
    line.pageSize = i == 0 ? 2048 : 4096;
    line.timing = model;
    for (int attempt = 0; attempt < kTimedAttempts; ++attempt) timed.pages[i].Add(BurnRound(line), model);
  }
  std::fprintf(stderr, "timed rounds with verification...\n");
  timed.verify8 = MeasureVerifyCost(samples, model, kTimedAttempts);
  // Four boards leave the link room: whether the reads hide behind other boards'
  // programming when the link is not what limits the line.
  Line fourBoards = samples;
  fourBoards.boards = 4;
  timed.verify4 = MeasureVerifyCost(fourBoards, model, kTimedAttempts);
  timed.plugStep = 1.0 / timingScale;
  return timed;
}

std::string BestAndMedian(const Samples& samples) {
  return Format("best %.3f, median %.3f", samples.Best(), samples.Median());
}

std::vector<Figure> FiguresOf(const SpeedFigures& speed, const TimedFigures& timed, double largeRoundBytes,
                              std::optional<double> idleMiB, std::array<double, 2> peakMiB,
                              const Options& options) {
  const auto mbps = [](double bytes, double seconds) { return bytes / seconds / 1e6; };
  const double lineRate = kUsbLineBytesPerSecond / 1e6;
  const double warmRate = mbps(largeRoundBytes, speed.warm.Best());
  const double coldRate = mbps(largeRoundBytes, speed.cold.Best());
  const std::string timedHow = Format("samples, timing %gx, %.0f runs", options.timingScale, kTimedAttempts);
  const auto overModel = [&](const char* key, const TimedLine& line) {
    return Figure{key, line.overModel.Best(), "<= 1.03",
                  Format("timed %.3f s over the zero-cost %.3f s; ratio ", line.seconds.Best(), line.modelSeconds) +
                      BestAndMedian(line.overModel) + ": " + timedHow};
  };
  return {
      {"line_rate_ratio_warm", warmRate / lineRate, ">= 40",
       Format("%.0f MB/s: best of %.0f warm rounds (median %.0f MB/s), large set, 2048-byte pages", warmRate,
              kRoundPairs, mbps(largeRoundBytes, speed.warm.Median()))},
      {"line_rate_ratio_cold", coldRate / lineRate, ">= 40",
       Format("%.0f MB/s: best first round of %.0f fresh processes (median %.0f MB/s)", coldRate, kRoundPairs,
              mbps(largeRoundBytes, speed.cold.Median()))},
      {"cpu_s_per_100mb", speed.warmCpu / (static_cast<double>(speed.warmBytes) / 100e6), "<= 0.1",
       Format("%.2f CPU s for %.0f MB over the warm rounds, line set-up, pre-flight hashing (%.3f s a round) "
              "and tear-down included",
              speed.warmCpu, static_cast<double>(speed.warmBytes) / 1e6, speed.hashSeconds.Median())},
      overModel("replay_ratio_2k", timed.pages[0]),
      overModel("replay_ratio_4k", timed.pages[1]),
      overModel("verify_overhead_vs_model", timed.verify8.with),
      {"idle_rss_mib", idleMiB, "<= 24",
       idleMiB ? Format("VmRSS of korvex station --sim 8 with empty ports after %.0f s",
                        static_cast<double>(kIdleWait.count()))
               : "not measured: " + options.korvex.string() + " did not start"},
      {"rehearsal_peak_ratio", peakMiB[1] / peakMiB[0], "<= 2",
       Format("VmHWM %.0f MiB with 8 boards, %.0f MiB with 1, large set", peakMiB[1], peakMiB[0])},
      {"verify_time_ratio", timed.verify8.with.seconds.Best() / timed.verify8.without.seconds.Best(), "",
       Format("with %.3f s, without %.3f s (bests; the link busy %.0f%% of the verified schedule): ",
              timed.verify8.with.seconds.Best(), timed.verify8.without.seconds.Best(),
              100.0 * timed.verify8.with.linkSeconds / timed.verify8.with.modelSeconds) +
           timedHow},
  };
}

void PrintAlso(const SpeedFigures& speed, const TimedFigures& timed, const sim::TimingModel& model,
               double largeRoundBytes, double samplesRoundBytes) {
  const VerifyCost& v8 = timed.verify8;
  const VerifyCost& v4 = timed.verify4;
  std::printf("\nalso: a first round takes %.0f%% of a warm round's time (best against best), %.0f%% (median "
              "against median); large set at 4096-byte pages %.0f MB/s warm; samples %.0f MB/s warm\n",
              100.0 * speed.cold.Best() / speed.warm.Best(), 100.0 * speed.cold.Median() / speed.warm.Median(),
              largeRoundBytes / speed.warm4kSeconds / 1e6, samplesRoundBytes / speed.samplesSeconds / 1e6);
  std::printf("also: the pre-flight hashes the large set once a run: %.3f s (median), before the burn\n",
              speed.hashSeconds.Median());
  std::printf("also: the read-back's bytes on the shared link: %.3f s of link time with verification, %.3f s "
              "without (8 boards)\n",
              v8.with.linkSeconds, v8.without.linkSeconds);
  const double step = timed.plugStep;
  const double with = sim::ZeroCostSeconds(model, v8.with.charges, step);
  const double without = sim::ZeroCostSeconds(model, v8.without.charges, step);
  std::printf("also: 8 boards plugged %.2f s apart (zero-cost schedules): with verification %.3f s, without "
              "%.3f s, ratio %.3f\n",
              step, with, without, with / without);
  std::printf("also: 4 boards: with verification %.3f s, without %.3f s, ratio %.3f (medians %.3f); over the "
              "model %s; the link busy %.0f%% of the verified schedule\n\n",
              v4.with.seconds.Best(), v4.without.seconds.Best(), v4.with.seconds.Best() / v4.without.seconds.Best(),
              v4.with.seconds.Median() / v4.without.seconds.Median(), BestAndMedian(v4.with.overModel).c_str(),
              100.0 * v4.with.linkSeconds / v4.with.modelSeconds);
}

void PrintReport(const std::vector<Figure>& figures, const Options& options, const std::string& loadBefore,
                 double largeBytes, double sampleBytes) {
  std::printf("korvex_bench: %d boards; large set %.1f MB a board, samples %.1f MB a board; records %s\n", kBoards,
              largeBytes / 1e6, sampleBytes / 1e6, options.records ? "on" : "off");
  std::printf("line rate: USB 2.0 at %.3f MB/s; timing model %gx faster than sim/timing.h's defaults\n",
              kUsbLineBytesPerSecond / 1e6, options.timingScale);
  std::printf("machine: %u cores, load average %s before the run and %s after (other work shares the cores)\n\n",
              std::thread::hardware_concurrency(), loadBefore.c_str(), LoadAverage().c_str());
  std::printf("%-24s %8s  %-8s %s\n", "figure", "value", "target", "how");
  for (const Figure& figure : figures) {
    const std::string value = figure.value ? Format("%.3f", *figure.value) : "null";
    std::printf("%-24s %8s  %-8s %s\n", figure.key.c_str(), value.c_str(), figure.target, figure.how.c_str());
  }
}

void PrintJson(const std::vector<Figure>& figures, const SpeedFigures& speed, const TimedFigures& timed,
               bool records) {
  std::string json = "{";
  const auto add = [&json](const std::string& key, std::optional<double> value) {
    if (json.size() > 1) json += ", ";
    json += "\"" + key + "\": " + (value ? Format("%.4f", *value) : "null");
  };
  for (const Figure& figure : figures) add(figure.key, figure.value);
  add("line_rate_ratio_warm_median", *figures[0].value * speed.warm.Best() / speed.warm.Median());
  add("line_rate_ratio_cold_median", *figures[1].value * speed.cold.Best() / speed.cold.Median());
  add("replay_ratio_2k_median", timed.pages[0].overModel.Median());
  add("replay_ratio_4k_median", timed.pages[1].overModel.Median());
  add("verify_overhead_vs_model_median", timed.verify8.with.overModel.Median());
  std::printf("%s, \"records\": %s}\n", json.c_str(), records ? "true" : "false");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--child") return ChildMain(argc, argv);
  const std::optional<Options> options = ParseOptions(argc, argv);
  if (!options) return 2;

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
  if (options->records) large.records = root / "records";
  Line samples = large;
  samples.images = home / std::string(sim::kSampleImagesFolder), samples.bytesPerBoard = sampleBytes;

  // Memory peaks, each line in a fresh process of its own.
  std::fprintf(stderr, "peaks of one and of eight boards...\n");
  Line oneBoard = large;
  oneBoard.boards = 1;
  const std::optional<ChildRound> peak1 = RunChildRound(options->self, oneBoard);
  const std::optional<ChildRound> peak8 = RunChildRound(options->self, large);
  const std::optional<SpeedFigures> speed = MeasureSpeed(options->self, large, samples);
  if (!peak1 || !peak8 || !speed) {
    std::fprintf(stderr, "a round in a fresh process failed\n");
    return 1;
  }
  const sim::TimingModel model = ScaledTiming(options->timingScale);
  const TimedFigures timed = MeasureTimed(samples, model, options->timingScale);
  std::fprintf(stderr, "idle station for %lld s...\n", static_cast<long long>(kIdleWait.count()));
  const std::optional<double> idleMiB = IdleStationMiB(options->korvex, home);

  const double largeRoundBytes = static_cast<double>(largeBytes) * kBoards;
  const std::array<double, 2> peakMiB{static_cast<double>(peak1->peakKiB) / 1024.0,
                                      static_cast<double>(peak8->peakKiB) / 1024.0};
  const std::vector<Figure> figures = FiguresOf(*speed, timed, largeRoundBytes, idleMiB, peakMiB, *options);
  PrintReport(figures, *options, loadBefore, static_cast<double>(largeBytes), static_cast<double>(sampleBytes));
  PrintAlso(*speed, timed, model, largeRoundBytes, static_cast<double>(sampleBytes) * kBoards);
  PrintJson(figures, *speed, timed, options->records);
  return 0;
}
