#pragma once
// The console's stand-in for the main window: it receives the workers' progress
// messages, keeps the eight rows and shows them: live rows on a terminal, one plain
// line per change otherwise, or JSON lines.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "app/port_progress.h"
#include "host/host.h"

namespace korvex::cli {

enum class ConsoleStyle { Live, Plain, Json };

class ConsoleWindow {
 public:
  ConsoleWindow(ConsoleStyle style, std::string title);

  // The window procedure: WM_PORT_PROGRESS updates a row; everything else is ignored.
  std::intptr_t HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  // A message box of a worker or of the station, answered OK by the caller.
  void ShowMessage(const MessageBoxRequest& request);
  // A line the production log just received.
  void ShowLogLine(std::string_view line);
  // The production log refused a line (once per run): one line on stderr, and a
  // "log-failed" record in JSON.
  void ShowLogLineLost(std::string_view file);
  // Redraws the live rows with the counter (the window's 50 ms prologue).
  void Refresh(std::uint32_t burnCounter);
  // The last word on each used port.
  // end: the stable code of how the job ended (JSON only).
  void ShowResult(int port, std::string_view result, std::string_view uidText,
                  std::string_view end);

  ProgressRow Row(int port) const;

 private:
  void DrawLiveLocked(std::uint32_t burnCounter);
  std::string RowLine(int port) const;

  mutable std::mutex mutex_;
  ConsoleStyle style_;
  std::string title_;
  ProgressRows rows_;
  bool drawn_ = false;
  std::uint32_t lastCounter_ = 0;
};

}  // namespace korvex::cli
