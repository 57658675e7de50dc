#pragma once
// The console's stand-in for the main window. It receives the workers' progress
// messages, their message boxes and the log's lines, keeps what each board is doing
// (BoardTracker) and shows it one of three ways:
//   Live   a table redrawn in place on a terminal: a row per port, a footer with the
//          counts, elapsed time and data rate, and the last few log lines and message
//          boxes under it, so nothing scrolls the table away;
//   Plain  one line per state change and per tenth of an image, for logs and pipes;
//   Json   one object per line, each with a "type" (docs/korvex-json.schema.json).
// Quiet keeps results and errors only; Verbose adds each board's requests from the
// simulator's trace when its job ends.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cli/board_tracker.h"
#include "host/host.h"
#include "records/record_sync.h"

namespace korvex::cli {

enum class ConsoleStyle { Live, Plain, Json };
enum class Verbosity { Quiet, Normal, Verbose };

class StationView {
 public:
  // The requests a port's board exchanged, for Verbose.
  using TraceSource = std::function<std::vector<std::string>(int port)>;

  StationView(ConsoleStyle style, Verbosity verbosity, std::string title, JobPlan plan);

  void SetTraceSource(TraceSource source) { traceSource_ = std::move(source); }

  // Lines about the run before it starts (home, model, images, log); JSON gets the
  // object given instead.
  void ShowStart(const std::vector<std::string>& lines, const std::string& json);

  // The window procedure: WM_PORT_PROGRESS moves a board on; everything else is ignored.
  std::intptr_t HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  // A message box of a worker or of the station, answered OK by the caller.
  void ShowMessage(const MessageBoxRequest& request);
  void ShowLogLineLost(std::string_view file);
  // Board records could not be written (or can again): stderr always, a record of
  // its own in the JSON stream, and under the live table.
  void ShowRecordWriteNews(std::string_view text, bool failing, std::size_t waiting);
  // The line's database failed, recovered or set a record aside: stderr always,
  // and a record of its own in the JSON stream.
  void ShowDatabaseNews(const SyncNews& news);
  // A linked board the scan left unclaimed while records cannot be written; told
  // when a port's hold begins and ends.
  void NoteHeld(int port, bool held);
  // A job's hook_after failed for the board on port (0-based); the board keeps its result.
  void ShowHookFailed(int port, std::string_view text);
  // A line the production log just received.
  void ShowLogLine(std::string_view line);
  // A claimed port whose job could not start.
  void NoteNotStarted(int port);
  // The 50 ms tick: redraws the live table when something changed.
  void Refresh(std::uint32_t boardsStarted);
  // The station begins to close: boards still burning end as interrupted.
  void MarkClosing();
  // The last frame, then the summary (text) or the summary object (JSON).
  void Finish(std::uint32_t boardsStarted, std::string_view logPath);

  // True when every board that ended, burned.
  bool AllBurned() const;

 private:
  void EmitProgressLocked(const BoardJob& job);
  void EmitResultLocked(const BoardJob& job);
  void AddRecentLocked(std::string text);
  void DrawLocked(std::uint32_t boardsStarted, Clock::time_point now);
  // The live table's lines, each with the colour its board's end gives it (or none).
  struct Frame {
    std::vector<std::string> lines;
    std::vector<std::string> colours;

    void Add(std::string line, std::string colour = {}) {
      lines.push_back(std::move(line));
      colours.push_back(std::move(colour));
    }
  };
  Frame FrameLocked(std::uint32_t boardsStarted, Clock::time_point now, std::size_t columns, std::size_t rows);
  // The counts, elapsed time and data rate under the ports.
  std::string FooterLocked(std::uint32_t boardsStarted, Clock::time_point now);
  double RateLocked(Clock::time_point now);
  bool Quiet() const { return verbosity_ == Verbosity::Quiet; }

  mutable std::mutex mutex_;
  ConsoleStyle style_;
  Verbosity verbosity_;
  std::string title_;
  BoardTracker tracker_;
  TraceSource traceSource_;
  Clock::time_point start_;
  bool messagesToStderr_;  // also message boxes, when stderr is not the live terminal
  // Live drawing.
  std::deque<std::string> recent_;
  std::size_t drawnLines_ = 0;
  bool dirty_ = true;
  std::int64_t drawnSecond_ = -1;
  std::uint32_t boardsStarted_ = 0;
  std::deque<std::pair<Clock::time_point, std::uint64_t>> samples_;
  std::array<bool, kPortCount> held_{};
};

// Text cut to a terminal's columns, CJK characters counting two.
std::string ClipToColumns(std::string_view text, std::size_t columns);

}  // namespace korvex::cli
