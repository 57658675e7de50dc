#include "cli/station_view.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/port_progress.h"
#include "app/port_scheduler.h"
#include "cli/console.h"
#include "cli/console_texts.h"
#include "cli/json.h"
#include "cli/station_summary.h"
#include "station/production_log.h"

namespace korvex::cli {

namespace {

constexpr std::size_t kRecentLines = 6;
constexpr int kBarWidth = 20;
constexpr std::size_t kStateColumn = 62;
constexpr auto kRateWindow = std::chrono::seconds(3);

// The port whose worker runs on this thread, learnt from its progress messages: the
// log lines the same thread writes are that board's.
thread_local int t_workerPort = -1;

// Columns a code point takes: two for the wide East Asian blocks, one otherwise.
std::size_t ColumnsOf(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                 (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
                 (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6)
             ? 2
             : 1;
}

std::string Padded(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text;
}

std::string Elapsed(double seconds) {
  const auto whole = static_cast<long>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%7.1f s", seconds);
  return text;
}

std::uint64_t PlannedBytes(const JobPlan& plan) {
  std::uint64_t total = 0;
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (plan.included[image]) total += plan.imageBytes[image];
  }
  return total;
}

}  // namespace

std::string ClipToColumns(std::string_view text, std::size_t columns) {
  std::size_t used = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    char32_t c = length == 1 ? char32_t{lead} : char32_t{lead} & (0x3Fu >> (length - 1));
    for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
      c = c << 6 | (char32_t{static_cast<unsigned char>(text[i + k])} & 0x3Fu);
    }
    const std::size_t width = ColumnsOf(c);
    if (used + width > columns) break;
    used += width;
    i += length;
  }
  return std::string(text.substr(0, std::min(i, text.size())));
}

StationView::StationView(ConsoleStyle style, Verbosity verbosity, std::string title, JobPlan plan)
    : style_(style),
      verbosity_(verbosity),
      title_(std::move(title)),
      tracker_(plan),
      start_(Clock::now()),
      messagesToStderr_(style != ConsoleStyle::Live || !IsTerminal(ConsoleStream::kErr)) {}

void StationView::ShowStart(const std::vector<std::string>& lines, const std::string& json) {
  std::lock_guard lock(mutex_);
  start_ = Clock::now();
  if (style_ == ConsoleStyle::Json) {
    std::cout << json << std::endl;
    return;
  }
  if (Quiet()) return;
  for (const std::string& line : lines) std::cout << line << '\n';
  std::cout << std::flush;
  if (style_ == ConsoleStyle::Live) std::cout << "\x1b[?25l" << std::flush;  // no cursor over the table
}

std::intptr_t StationView::HandleMessage(std::uint32_t message, std::uintptr_t wParam,
                                         std::intptr_t lParam) {
  if (message != WM_PORT_PROGRESS) return 0;
  const int port = static_cast<int>(wParam & 0xFF);
  const auto type = static_cast<ProgressType>(wParam >> 16);
  if (port >= static_cast<int>(kPortCount)) return 0;
  t_workerPort = port;
  const BurnEnd end = g_portRuns[static_cast<std::size_t>(port)].end;
  const UidText uid = g_portRuns[static_cast<std::size_t>(port)].Uid();
  const std::uint32_t blocksSkipped = g_portRuns[static_cast<std::size_t>(port)].blocksSkipped;
  // Taken before our lock: the simulator's locks are never held under it.
  std::vector<std::string> trace;
  if (verbosity_ == Verbosity::Verbose && type == kProgressReset && end != BurnEnd::kNone && traceSource_) {
    trace = traceSource_(port);
  }
  std::lock_guard lock(mutex_);
  const bool changed = tracker_.OnProgress(port, type, lParam, end, uid.View(), Clock::now());
  const BoardJob* ended = tracker_.JustEnded();
  const BoardJob* job = tracker_.Latest(port);
  for (const std::string& line : trace) {
    if (style_ == ConsoleStyle::Json) {
      std::cout << JsonObject().Add("type", "trace").Add("port", port + 1).Add("line", line).Str() << '\n';
    } else {
      std::cout << "port " << port + 1 << ": trace: " << line << '\n';
    }
  }
  if (ended != nullptr) {
    tracker_.OnBlocksSkipped(port, blocksSkipped);
    EmitResultLocked(*ended);
  } else if (changed && job != nullptr) {
    EmitProgressLocked(*job);
  }
  return 0;
}

void StationView::EmitProgressLocked(const BoardJob& job) {
  dirty_ = true;
  if (Quiet()) return;
  if (style_ == ConsoleStyle::Plain) {
    std::cout << "port " << job.port + 1 << ": " << StateText(job) << std::endl;
  } else if (style_ == ConsoleStyle::Json) {
    JsonObject out;
    out.Add("type", "progress").Add("port", job.port + 1).Add("board", job.number).Add("state", StateName(job.state));
    if (job.image >= 0 && job.state != BoardState::kReading) out.Add("image", kImageFileNames[static_cast<std::size_t>(job.image)]);
    if (job.state == BoardState::kWriting || job.state == BoardState::kVerifying || job.state == BoardState::kReading) {
      out.Add("percent", job.percent);
    }
    std::cout << out.Add("text", StateText(job)).Str() << std::endl;
  }
}

void StationView::EmitResultLocked(const BoardJob& job) {
  dirty_ = true;
  if (style_ == ConsoleStyle::Json) {
    std::cout << ResultJson(job, tracker_.Plan()) << std::endl;
  } else if (style_ == ConsoleStyle::Plain) {
    std::cout << "port " << job.port + 1 << ": " << StateText(job) << std::endl;
  }
}

void StationView::ShowMessage(const MessageBoxRequest& request) {
  const int port = request.port == kNoPort ? -1 : request.port;
  std::lock_guard lock(mutex_);
  if (port >= 0) tracker_.OnMessage(port, request.text);
  if (style_ == ConsoleStyle::Json) {
    JsonObject out;
    out.Add("type", "message");
    if (port >= 0) {
      out.Add("port", port + 1);
    } else {
      out.AddNull("port");
    }
    std::cout << out.Add("text", request.text).Str() << std::endl;
    return;
  }
  const std::string text = (port >= 0 ? "port " + std::to_string(port + 1) + ": " : std::string()) +
                           Explained(request.text);
  if (messagesToStderr_) std::cerr << text << std::endl;
  if (style_ == ConsoleStyle::Live) AddRecentLocked("message  " + text);
}

// Once a run, on the first line the log could not take: stderr always, and a record
// of its own in the JSON stream; the live view shows it under the table.
void StationView::ShowLogLineLost(std::string_view file) {
  std::lock_guard lock(mutex_);
  const std::string text = LogLineLostText(file);
  std::cerr << text << std::endl;
  if (style_ == ConsoleStyle::Json) {
    std::cout << JsonObject().Add("type", "log-failed").Add("file", file).Add("text", text).Str()
              << std::endl;
  } else if (style_ == ConsoleStyle::Live) {
    AddRecentLocked(text);
  }
}

void StationView::ShowRecordWriteNews(std::string_view text, bool failing, std::size_t waiting) {
  std::lock_guard lock(mutex_);
  std::cerr << "korvex: " << text << std::endl;
  if (style_ == ConsoleStyle::Json) {
    std::cout << JsonObject()
                     .Add("type", failing ? "record-write-failed" : "record-write-recovered")
                     .Add("waiting", static_cast<std::int64_t>(waiting))
                     .Add("text", text)
                     .Str()
              << std::endl;
  } else if (style_ == ConsoleStyle::Live) {
    AddRecentLocked(std::string(text));
  }
}

void StationView::ShowHookFailed(int port, std::string_view text) {
  std::lock_guard lock(mutex_);
  std::cerr << "korvex: " << text << std::endl;
  if (style_ == ConsoleStyle::Json) {
    std::cout << JsonObject().Add("type", "hook-failed").Add("port", port + 1).Add("hook", "hook_after").Add("text", text).Str()
              << std::endl;
  } else if (style_ == ConsoleStyle::Live) {
    AddRecentLocked(std::string(text));
  }
}

void StationView::ShowDatabaseNews(const SyncNews& news) {
  std::lock_guard lock(mutex_);
  std::cerr << "korvex: " << news.text << std::endl;
  if (style_ == ConsoleStyle::Json) {
    constexpr std::string_view kTypes[] = {"database-failing", "database-recovered", "record-set-aside",
                                           "duplicate-uid"};
    std::cout << JsonObject()
                     .Add("type", kTypes[static_cast<std::size_t>(news.kind)])
                     .Add("waiting", static_cast<std::int64_t>(news.waiting))
                     .Add("text", news.text)
                     .Str()
              << std::endl;
  } else if (style_ == ConsoleStyle::Live) {
    AddRecentLocked(news.text);
  }
}

void StationView::NoteHeld(int port, bool held) {
  std::lock_guard lock(mutex_);
  const auto slot = static_cast<std::size_t>(port);
  if (held_[slot] == held) return;
  held_[slot] = held;
  dirty_ = true;
  if (style_ == ConsoleStyle::Json) {
    std::cout << JsonObject().Add("type", "port-held").Add("port", port + 1).Add("held", held).Str() << std::endl;
  } else if (style_ == ConsoleStyle::Plain) {
    std::cout << "port " << port + 1 << ": "
              << (held ? kHeldForRecordsText : std::string_view("board records written again; the board is taken"))
              << std::endl;
  }
}

void StationView::ShowLogLine(std::string_view line) {
  const std::string_view message = LogMessage(line);
  std::lock_guard lock(mutex_);
  if (const BoardJob* demo = tracker_.OnDemoLine(message); demo != nullptr && demo->demo == DemoCopy::kFailed) {
    // Told on its own line: the board burned, but its volume did not take the demo file.
    const std::string text = "port " + std::to_string(demo->port + 1) + ": the demo copy failed: the board's volume "
                             "could not take the demo file; copy it by hand or plug the board in again "
                             "(Update Demo failure!)";
    if (style_ == ConsoleStyle::Plain && !Quiet()) std::cout << text << std::endl;
    if (style_ == ConsoleStyle::Live) AddRecentLocked(text);
  }
  const int port = t_workerPort >= 0 ? t_workerPort : tracker_.PortOfUid(SplitBoardLine(message).uid);
  if (port >= 0 && tracker_.OnLogLine(port, message)) {
    if (const BoardJob* job = tracker_.Latest(port)) EmitProgressLocked(*job);
  }
  if (Quiet()) return;
  if (style_ == ConsoleStyle::Json) {
    JsonObject out;
    out.Add("type", "log");
    if (port >= 0) {
      out.Add("port", port + 1);
    } else {
      out.AddNull("port");
    }
    std::cout << out.Add("line", line).Str() << std::endl;
  } else if (style_ == ConsoleStyle::Plain) {
    std::cout << "log: " << line << std::endl;
  } else {
    const std::string where = port >= 0 ? "port " + std::to_string(port + 1) + "  " : "";
    // The time of day, then the line's own words without the board's ID: the row
    // above names the board.
    std::string stamp(line.size() > 19 ? line.substr(11, 8) : std::string_view());
    std::ranges::replace(stamp, ' ', '0');  // the log pads its fields with blanks
    AddRecentLocked(stamp + "  " + where + std::string(SplitBoardLine(message).text));
  }
}

void StationView::NoteNotStarted(int port) {
  std::lock_guard lock(mutex_);
  tracker_.OnNotStarted(port, "its device could not be opened or its worker started", Clock::now());
  EmitResultLocked(*tracker_.Latest(port));
}

void StationView::AddRecentLocked(std::string text) {
  recent_.push_back(std::move(text));
  while (recent_.size() > kRecentLines) recent_.pop_front();
  dirty_ = true;
}

void StationView::Refresh(std::uint32_t boardsStarted) {
  std::lock_guard lock(mutex_);
  const Clock::time_point now = Clock::now();
  std::uint64_t written = 0;
  for (const BoardJob& job : tracker_.Jobs()) written += job.BytesWritten();
  samples_.emplace_back(now, written);
  while (samples_.size() > 2 && now - samples_[1].first >= kRateWindow) samples_.pop_front();
  if (style_ != ConsoleStyle::Live || Quiet()) return;
  const auto second = std::chrono::duration_cast<std::chrono::seconds>(now - start_).count();
  if (!dirty_ && boardsStarted == boardsStarted_ && second == drawnSecond_) return;
  DrawLocked(boardsStarted, now);
}

double StationView::RateLocked(Clock::time_point now) {
  if (samples_.size() < 2) return 0.0;
  const auto& [then, before] = samples_.front();
  const double seconds = std::chrono::duration<double>(now - then).count();
  return seconds > 0 ? static_cast<double>(samples_.back().second - before) / seconds : 0.0;
}

namespace {

// Green burned, red failed, yellow gone or interrupted; none while it runs.
std::string_view ColourOf(const BoardJob& job) {
  switch (job.state) {
    case BoardState::kDone: return job.demo == DemoCopy::kFailed ? "\x1b[33m" : "\x1b[32m";
    case BoardState::kFailed:
    case BoardState::kNotStarted: return "\x1b[31m";
    case BoardState::kUnplugged:
    case BoardState::kInterrupted: return "\x1b[33m";
    default: return {};
  }
}

// A board's row after its port: state (with the time left), bar and seconds.
std::string BoardRow(const BoardJob& job, std::uint64_t planned, Clock::time_point now, std::size_t stateColumn) {
  double fraction = planned > 0 ? static_cast<double>(job.BytesWritten()) / static_cast<double>(planned) : 0;
  if (job.state == BoardState::kDone) fraction = 1.0;
  if (job.state == BoardState::kReading) fraction = job.percent / 100.0;
  const int filled = static_cast<int>(std::min(1.0, fraction) * kBarWidth);
  std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "]";
  std::string state = StateText(job) + TimeLeftText(job, planned, now);
  if (state.size() > stateColumn - 1) state = ClipToColumns(state, stateColumn - 1);
  return Padded(state, stateColumn) + bar + Seconds(job.Seconds(now));
}

struct JobCounts {
  int done = 0, failed = 0, burning = 0;
};

JobCounts CountJobs(const std::vector<BoardJob>& jobs) {
  JobCounts counts;
  for (const BoardJob& job : jobs) {
    if (!job.finished) {
      ++counts.burning;
    } else if (job.state == BoardState::kDone) {
      ++counts.done;
    } else {
      ++counts.failed;
    }
  }
  return counts;
}

}  // namespace

StationView::Frame StationView::FrameLocked(std::uint32_t boardsStarted, Clock::time_point now,
                                            std::size_t columns, std::size_t rows) {
  // The state column takes what the bar and the time leave of the terminal's width.
  constexpr std::size_t kOtherColumns = 6 + kBarWidth + 2 + 9 + 1;
  const std::size_t stateColumn = std::max(kStateColumn, columns > kOtherColumns ? columns - kOtherColumns : 0);
  // A small terminal gets the ports that hold a board and the footer only, so the
  // frame never outgrows the screen and scrolls copies of itself away.
  const bool compact = rows < kPortCount + 4 + kRecentLines;
  Frame frame;
  frame.Add("port  " + Padded("state", stateColumn) + "board progress          time");
  const std::uint64_t planned = PlannedBytes(tracker_.Plan());
  std::string empty;
  for (int port = 0; port < static_cast<int>(kPortCount); ++port) {
    const BoardJob* job = tracker_.Latest(port);
    std::string row = "  " + std::to_string(port + 1) + "   ";
    if (held_[static_cast<std::size_t>(port)] && (job == nullptr || job->finished)) {
      frame.Add(row + std::string(kHeldForRecordsText));
    } else if (job != nullptr) {
      frame.Add(row + BoardRow(*job, planned, now, stateColumn), std::string(ColourOf(*job)));
    } else if (compact) {
      empty += (empty.empty() ? "" : " ") + std::to_string(port + 1);
    } else {
      frame.Add(row + "empty");
    }
  }
  if (!empty.empty()) frame.Add("empty ports: " + empty);
  frame.Add(FooterLocked(boardsStarted, now));
  if (!recent_.empty() && !compact) {
    frame.Add("recent:");
    for (const std::string& text : recent_) frame.Add("  " + text);
  }
  return frame;
}

std::string StationView::FooterLocked(std::uint32_t boardsStarted, Clock::time_point now) {
  const JobCounts counts = CountJobs(tracker_.Jobs());
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  return "boards started " + std::to_string(boardsStarted) + " | done " + std::to_string(counts.done) +
         " | failed " + std::to_string(counts.failed) + " | burning " + std::to_string(counts.burning) +
         " | elapsed " + Elapsed(elapsed) + " | " + FormatBytes(static_cast<std::uint64_t>(RateLocked(now))) + "/s";
}

void StationView::DrawLocked(std::uint32_t boardsStarted, Clock::time_point now) {
  const TerminalSize size = StdoutTerminalSize();
  const Frame frame = FrameLocked(boardsStarted, now, size.columns, size.rows);
  const bool colour = ColourWanted();
  std::string out;
  // Back to the first line of the last frame, then every line anew; one write, so a
  // terminal never shows half a frame.
  if (drawnLines_ > 0) out += "\x1b[" + std::to_string(drawnLines_) + "A";
  for (std::size_t i = 0; i < frame.lines.size(); ++i) {
    const std::string line = ClipToColumns(frame.lines[i], size.columns - 1);
    const bool tinted = colour && !frame.colours[i].empty();
    out += "\r" + (tinted ? frame.colours[i] + line + "\x1b[0m" : line) + "\x1b[K\n";
  }
  out += "\x1b[J";
  std::cout.write(out.data(), static_cast<std::streamsize>(out.size()));
  std::cout.flush();
  drawnLines_ = frame.lines.size();
  dirty_ = false;
  boardsStarted_ = boardsStarted;
  drawnSecond_ = std::chrono::duration_cast<std::chrono::seconds>(now - start_).count();
}

void StationView::MarkClosing() {
  std::lock_guard lock(mutex_);
  tracker_.MarkClosing();
}

void StationView::Finish(std::uint32_t boardsStarted, std::string_view logPath) {
  std::lock_guard lock(mutex_);
  const Clock::time_point now = Clock::now();
  const double wall = std::chrono::duration<double>(now - start_).count();
  if (style_ == ConsoleStyle::Json) {
    std::cout << SummaryJson(tracker_, wall, logPath) << std::endl;
    return;
  }
  if (style_ == ConsoleStyle::Live && !Quiet()) {
    DrawLocked(boardsStarted, now);
    std::cout << "\x1b[?25h";
  }
  std::cout << "\n" << FormatSummary(tracker_, wall, logPath) << std::flush;
}

bool StationView::AllBurned() const {
  std::lock_guard lock(mutex_);
  // A burned board whose demo copy failed still needs the operator.
  return std::ranges::all_of(tracker_.Jobs(), [](const BoardJob& job) {
    return job.state == BoardState::kDone && job.demo != DemoCopy::kFailed;
  });
}

}  // namespace korvex::cli
