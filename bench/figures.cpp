#include "bench/figures.h"

#include <cstdio>
#include <thread>

#include "bench/processes.h"

namespace korvex::bench {
namespace {

// USB 2.0 high speed carries at most 13 bulk packets of 512 bytes per 125 us microframe.
constexpr double kUsbLineBytesPerSecond = 13 * 512 * 8000.0;

std::string Format(const char* format, double a = 0, double b = 0, double c = 0, double d = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b, c, d);
  return text;
}

std::string BestAndMedian(const Samples& samples) {
  return Format("best %.3f, median %.3f", samples.Best(), samples.Median());
}

}  // namespace

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

}  // namespace korvex::bench
