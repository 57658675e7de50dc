// The HTML report of a demo week, rendered by a real headless Chromium: the numbers
// on the rendered page must be the ones counted here from the record files. The
// screenshot goes beside the page, in the test's own folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>

#include "cli_runner.h"
#include "records/record_store.h"
#include "records/report.h"
#include "temp_dir.h"

namespace korvex {
namespace {

std::string Chromium(const std::string& arguments, const std::filesystem::path& profile) {
  const std::string command = "chromium --headless --no-sandbox --disable-gpu --no-first-run "
                              "--disable-background-networking --disable-component-update --disable-sync "
                              "--user-data-dir=" + profile.string() + " " + arguments + " 2>/dev/null";
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 65536> chunk;
  for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) out.append(chunk.data(), n);
  ::pclose(pipe);
  return out;
}

// "key=value ..." of the data- attributes of every element with the first one.
std::vector<std::string> Elements(const std::string& dom, const std::string& first, int attributes) {
  std::string pattern = "data-" + first + "=\"([^\"]*)\"";
  for (int i = 1; i < attributes; ++i) pattern += " data-([a-z-]+)=\"([^\"]*)\"";
  std::vector<std::string> found;
  const std::regex regex(pattern);
  for (std::sregex_iterator it(dom.begin(), dom.end(), regex), end; it != end; ++it) {
    std::string text = (*it)[1];
    for (int i = 1; i < attributes; ++i) text += " " + (*it)[2 * i].str() + "=" + (*it)[2 * i + 1].str();
    found.push_back(text);
  }
  return found;
}

std::string Yield(std::size_t passed, std::size_t total) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f", total == 0 ? 0.0 : 100.0 * passed / total);
  return text;
}

TEST(Report, ChromiumShowsTheNumbersOfTheRecords) {
  ASSERT_EQ(std::system("command -v chromium >/dev/null"), 0) << "chromium is not installed (make deps)";
  testing::TempDir home;
  const std::string base = "--home " + home.path().string() + " ";
  RunResult run = RunKorvex(base + "records generate-demo --start 2026-11-30 --days 7");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto page = home.path() / "report.html";
  run = RunKorvex(base + "report --demo --from 2026-12-01 --out " + page.string());
  ASSERT_EQ(run.exitCode, 0) << run.err;

  // Counted here, straight from the files.
  std::map<std::string, std::array<std::size_t, 2>> days;
  std::array<std::array<std::size_t, 2>, kPortCount> ports{};
  std::map<std::string, std::size_t> reasons;
  std::map<std::string, std::array<std::uint64_t, 3>> parts;
  std::size_t passed = 0, failed = 0;
  std::vector<std::uint64_t> burnMs;
  ForEachRecord(home.path(), [&](const BoardRecord& r) {
    const std::string day(FormatRecordTime(r.start).View().substr(0, 10));
    if (day < "2026-12-01") return;
    const std::size_t ok = r.reason == BurnEnd::kBurned ? 0 : 1;
    ++days[day][ok], ++ports[static_cast<std::size_t>(r.port - 1)][ok], ++(ok == 0 ? passed : failed);
    if (ok == 1) ++reasons[std::string(BurnEndCode(r.reason))];
    else burnMs.push_back(r.durationMs);
    if (r.chip.part.Empty()) return;
    std::uint64_t skipped = 0;
    for (std::size_t i = 0; i < r.imageCount; ++i) skipped += r.images[i].blocksSkipped;
    auto& part = parts[std::string(r.chip.part.View())];
    ++part[0], part[1] += skipped, part[2] = std::max(part[2], skipped);
  });
  ASSERT_EQ(days.size(), 6u);
  ASSERT_GE(reasons.size(), 5u);  // the demo has failures of several kinds

  const auto profile = home.path() / "chromium";
  const std::string dom = Chromium("--dump-dom file://" + page.string(), profile);
  ASSERT_NE(dom.find("Korvex line report"), std::string::npos) << dom.substr(0, 300);

  const auto counted = [](const std::string& name, const std::array<std::size_t, 2>& c) {
    const std::string yield = Yield(c[0], c[0] + c[1]);
    return name + " passed=" + std::to_string(c[0]) + " failed=" + std::to_string(c[1]) + " yield=" + yield;
  };
  std::vector<std::string> expected;
  for (const auto& [day, c] : days) expected.push_back(counted(day, c));
  EXPECT_EQ(Elements(dom, "day", 4), expected);
  expected.clear();
  for (std::size_t port = 0; port < kPortCount; ++port) expected.push_back(counted(std::to_string(port + 1), ports[port]));
  EXPECT_EQ(Elements(dom, "port", 4), expected);
  // The Pareto chart: most frequent first, its counts, the cumulative share.
  const std::vector<std::string> pareto = Elements(dom, "reason", 3);
  ASSERT_EQ(pareto.size(), reasons.size());
  std::size_t previous = SIZE_MAX, cumulative = 0;
  for (const std::string& bar : pareto) {
    const std::string code = bar.substr(0, bar.find(' '));
    const std::size_t count = reasons.at(code);
    cumulative += count;
    EXPECT_LE(count, previous) << bar;
    EXPECT_EQ(bar, code + " count=" + std::to_string(count) + " cumulative=" + Yield(cumulative, failed));
    previous = count;
  }
  expected.clear();
  for (const auto& [name, p] : parts) {
    expected.push_back(name + " boards=" + std::to_string(p[0]) + " skipped=" + std::to_string(p[1]) +
                       " worst=" + std::to_string(p[2]));
  }
  EXPECT_EQ(Elements(dom, "part", 4), expected);
  std::sort(burnMs.begin(), burnMs.end());
  char median[16];
  std::snprintf(median, sizeof median, "%.1f s", burnMs[(burnMs.size() + 1) / 2 - 1] / 1000.0);
  EXPECT_EQ(Elements(dom, "metric", 2),
            (std::vector<std::string>{"boards value=" + std::to_string(passed + failed),
                                      "burned value=" + std::to_string(passed),
                                      "failed value=" + std::to_string(failed),
                                      "yield value=" + Yield(passed, passed + failed) + "%",
                                      "median-burn value=" + std::string(median)}));
  EXPECT_NE(dom.find("<div class=\"value\">" + Yield(passed, passed + failed) + "%</div>"), std::string::npos);
  std::size_t binned = 0;
  for (const std::string& bin : Elements(dom, "from-ms", 3)) binned += std::stoul(bin.substr(bin.rfind('=') + 1));
  EXPECT_EQ(binned, passed);
  EXPECT_EQ(Elements(dom, "failed-id", 2).size(), failed);

  const std::filesystem::path shot = home.path() / "report.png";
  Chromium("--screenshot=" + shot.string() + " --window-size=1280,2000 file://" + page.string(), profile);
  EXPECT_GT(std::filesystem::exists(shot) ? std::filesystem::file_size(shot) : 0, 50'000u);
}

}  // namespace
}  // namespace korvex
