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

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/model_selection.h"
#include "bench/figures.h"
#include "bench/line.h"
#include "bench/processes.h"
#include "sim/placeholder_home.h"
#include "sim/timing.h"

using namespace korvex;
using namespace korvex::bench;
namespace fs = std::filesystem;

namespace korvex::bench {
namespace {

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

}  // namespace
}  // namespace korvex::bench

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
