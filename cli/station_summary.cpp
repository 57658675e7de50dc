#include "cli/station_summary.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "cli/console_texts.h"
#include "cli/json.h"

namespace korvex::cli {

namespace {

std::string Fixed(double value, const char* unit) {
  char text[48];
  std::snprintf(text, sizeof text, "%.1f %s", value, unit);
  return text;
}

double MeanRate(std::uint64_t bytes, double seconds) {
  return seconds > 0 ? static_cast<double>(bytes) / seconds : 0.0;
}

std::string UidHex(const std::string& uid) {
  constexpr std::string_view kPrefix = "nandUID: ";
  return uid.starts_with(kPrefix) ? uid.substr(kPrefix.size()) : uid;
}

}  // namespace

RunTotals CountTotals(const std::vector<BoardJob>& jobs) {
  RunTotals totals;
  std::optional<Clock::time_point> first, last;
  for (const BoardJob& job : jobs) {
    ++totals.boards;
    totals.bytesWritten += job.BytesWritten();
    totals.demoFailed += job.demo == DemoCopy::kFailed;
    if (!first || job.started < *first) first = job.started;
    if (job.finished && (!last || job.ended > *last)) last = job.ended;
    switch (job.state) {
      case BoardState::kDone: ++totals.burned; break;
      case BoardState::kUnplugged: ++totals.unplugged; break;
      case BoardState::kInterrupted: ++totals.interrupted; break;
      case BoardState::kNotStarted: ++totals.notStarted; break;
      default: break;
    }
  }
  totals.failed = totals.boards - totals.burned;
  if (first && last) totals.burnSeconds = std::chrono::duration<double>(*last - *first).count();
  return totals;
}

std::string FormatBytes(std::uint64_t bytes) {
  if (bytes >= 1024 * 1024) return Fixed(static_cast<double>(bytes) / (1024 * 1024), "MiB");
  if (bytes >= 1024) return Fixed(static_cast<double>(bytes) / 1024, "KiB");
  return std::to_string(bytes) + " B";
}

std::string FormatSummary(const BoardTracker& tracker, double wallSeconds, std::string_view logPath) {
  using Row = std::array<std::string, 7>;
  std::vector<Row> rows{{"board", "port", "result", "duration", "bad blocks", "UID", "reason"}};
  for (const BoardJob& job : tracker.Jobs()) {
    const auto bad = BadBlocksSkipped(job, tracker.Plan());
    rows.push_back({std::to_string(job.number), std::to_string(job.port + 1), std::string(job.Result()),
                    Fixed(job.Seconds(job.ended), "s"), bad ? std::to_string(*bad) : "?",
                    UidHex(job.uid),
                    job.state != BoardState::kDone ? Explained(job.reason)
                    : job.demo == DemoCopy::kFailed ? "burned, but the demo copy failed" : ""});
  }
  std::array<std::size_t, 7> widths{};
  for (const Row& row : rows) {
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string out;
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::string pad(widths[c] - row[c].size(), ' ');
      // Numbers to the right, words to the left.
      const bool right = c == 0 || c == 1 || c == 3 || c == 4;
      line += right ? pad + row[c] : row[c] + pad;
      if (c + 1 < row.size()) line += "  ";
    }
    out += line.substr(0, line.find_last_not_of(' ') + 1) + '\n';
  }
  const RunTotals t = CountTotals(tracker.Jobs());
  out += "boards " + std::to_string(t.boards) + ", burned " + std::to_string(t.burned) + ", failed " +
         std::to_string(t.failed);
  std::string detail;
  for (const auto& [count, word] : {std::pair{t.unplugged, "unplugged"}, std::pair{t.interrupted, "interrupted"},
                                    std::pair{t.notStarted, "not started"}}) {
    if (count > 0) detail += (detail.empty() ? "" : ", ") + std::to_string(count) + " " + word;
  }
  if (!detail.empty()) out += " (" + detail + ")";
  out += "; wall time " + Fixed(wallSeconds, "s") + "; data written " + FormatBytes(t.bytesWritten) +
         "; mean rate " + FormatBytes(static_cast<std::uint64_t>(MeanRate(t.bytesWritten, t.burnSeconds))) +
         "/s while boards burned\n";
  if (t.demoFailed > 0) {
    out += "demo copy failed on " + std::to_string(t.demoFailed) + (t.demoFailed == 1 ? " board" : " boards") +
           ": its volume could not take the demo file (Update Demo failure! in the log)\n";
  }
  out += "production log: " + std::string(logPath) + "\n";
  return out;
}

std::string ResultJson(const BoardJob& job, const JobPlan& plan) {
  JsonObject out;
  out.Add("type", "result")
      .Add("port", job.port + 1)
      .Add("board", job.number)
      .Add("result", job.Result())
      .Add("reason", job.state == BoardState::kDone ? std::string() : job.reason)
      .Add("duration_s", job.Seconds(job.ended), 3)
      .Add("uid", job.uid);
  if (const auto bad = BadBlocksSkipped(job, plan)) {
    out.Add("bad_blocks", *bad);
  } else {
    out.AddNull("bad_blocks");
  }
  return out.Add("bytes_written", static_cast<std::int64_t>(job.BytesWritten()))
      .Add("end", BurnEndCode(job.end))
      .Str();
}

std::string SummaryJson(const BoardTracker& tracker, double wallSeconds, std::string_view logPath) {
  const RunTotals t = CountTotals(tracker.Jobs());
  return JsonObject()
      .Add("type", "summary")
      .Add("boards", t.boards)
      .Add("burned", t.burned)
      .Add("failed", t.failed)
      .Add("unplugged", t.unplugged)
      .Add("interrupted", t.interrupted)
      .Add("not_started", t.notStarted)
      .Add("wall_time_s", wallSeconds, 3)
      .Add("bytes_written", static_cast<std::int64_t>(t.bytesWritten))
      .Add("mean_rate_bytes_per_s", MeanRate(t.bytesWritten, t.burnSeconds), 0)
      .Add("demo_failed", t.demoFailed)
      .Add("log", logPath)
      .Str();
}

}  // namespace korvex::cli
