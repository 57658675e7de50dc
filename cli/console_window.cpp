#include "cli/console_window.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "cli/json.h"
#include "station/production_log.h"

namespace korvex::cli {

namespace {

constexpr int kBarWidth = 30;
constexpr int kRowLines = static_cast<int>(kPortCount) + 1;  // rows and the counter

}  // namespace

ConsoleWindow::ConsoleWindow(ConsoleStyle style, std::string title)
    : style_(style), title_(std::move(title)) {}

std::string ConsoleWindow::RowLine(int port) const {
  const ProgressRow& row = rows_.Row(static_cast<std::size_t>(port));
  const int filled = static_cast<int>(std::min(1.0, row.fraction) * kBarWidth);
  std::string line = "port " + std::to_string(port + 1) + "  [";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  line += "]  " + row.text;
  return line;
}

std::intptr_t ConsoleWindow::HandleMessage(std::uint32_t message, std::uintptr_t wParam,
                                           std::intptr_t lParam) {
  if (message != WM_PORT_PROGRESS) return 0;
  std::lock_guard lock(mutex_);
  const int port = rows_.Handle(wParam, lParam);
  if (port < 0) return 0;
  const ProgressRow& row = rows_.Row(static_cast<std::size_t>(port));
  switch (style_) {
    case ConsoleStyle::Json:
      std::cout << JsonObject()
                       .Add("type", "progress")
                       .Add("port", static_cast<std::int64_t>(port + 1))
                       .Add("text", row.text)
                       .AddRaw("fraction", std::to_string(std::min(1.0, row.fraction)))
                       .Str()
                << std::endl;
      break;
    case ConsoleStyle::Plain:
      std::cout << "port " << port + 1 << ": " << row.text << std::endl;
      break;
    case ConsoleStyle::Live:
      DrawLiveLocked(lastCounter_);
      break;
  }
  return 0;
}

void ConsoleWindow::ShowMessage(const MessageBoxRequest& request) {
  std::lock_guard lock(mutex_);
  if (style_ == ConsoleStyle::Json) {
    JsonObject out;
    out.Add("type", "message");
    if (request.port != kNoPort) out.Add("port", static_cast<std::int64_t>(request.port + 1));
    std::cout << out.Add("text", request.text).Str() << std::endl;
    return;
  }
  if (request.port == kNoPort) {
    std::cerr << request.text << std::endl;
  } else {
    std::cerr << "port " << request.port + 1 << ": " << request.text << std::endl;
  }
  drawn_ = false;  // the message scrolled the live rows away; draw them anew below it
}

void ConsoleWindow::ShowLogLine(std::string_view line) {
  std::lock_guard lock(mutex_);
  if (style_ == ConsoleStyle::Json) {
    std::cout << JsonObject().Add("type", "log").Add("line", line).Str() << std::endl;
  } else if (style_ == ConsoleStyle::Plain) {
    std::cout << "log: " << line << std::endl;
  }
}

void ConsoleWindow::ShowLogLineLost(std::string_view file) {
  std::lock_guard lock(mutex_);
  const std::string text = LogLineLostText(file);
  std::cerr << text << std::endl;
  if (style_ == ConsoleStyle::Json) {
    std::cout << JsonObject().Add("type", "log-failed").Add("file", file).Add("text", text).Str()
              << std::endl;
  }
  drawn_ = false;  // the line scrolled the live rows away
}

void ConsoleWindow::Refresh(std::uint32_t burnCounter) {
  std::lock_guard lock(mutex_);
  if (style_ != ConsoleStyle::Live) return;
  if (drawn_ && burnCounter == lastCounter_) return;
  DrawLiveLocked(burnCounter);
}

void ConsoleWindow::DrawLiveLocked(std::uint32_t burnCounter) {
  lastCounter_ = burnCounter;
  if (drawn_) std::printf("\x1b[%dA", kRowLines);  // back to the first row
  for (int port = 0; port < static_cast<int>(kPortCount); ++port) {
    std::printf("\r%s\x1b[K\n", RowLine(port).c_str());
  }
  std::printf("\r%s  burned: %u\x1b[K\n", title_.c_str(), burnCounter);
  std::fflush(stdout);
  drawn_ = true;
}

void ConsoleWindow::ShowResult(int port, std::string_view result, std::string_view uidText,
                               std::string_view end) {
  std::lock_guard lock(mutex_);
  if (style_ == ConsoleStyle::Json) {
    std::cout << JsonObject()
                     .Add("type", "result")
                     .Add("port", static_cast<std::int64_t>(port + 1))
                     .Add("result", result)
                     .Add("uid", uidText)
                     .Add("end", end)
                     .Str()
              << std::endl;
    return;
  }
  std::cout << "port " << port + 1 << ": " << result;
  if (!uidText.empty()) std::cout << " (" << uidText << ")";
  std::cout << std::endl;
}

ProgressRow ConsoleWindow::Row(int port) const {
  std::lock_guard lock(mutex_);
  return rows_.Row(static_cast<std::size_t>(port));
}

}  // namespace korvex::cli
