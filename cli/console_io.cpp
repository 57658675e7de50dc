#include "cli/console_io.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

namespace korvex::cli {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted = true; }

}  // namespace

bool IsTerminal(Stream stream) {
  return ::isatty(stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO) != 0;
}

TerminalSize StdoutTerminalSize() {
  TerminalSize size;
  winsize window{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0) {
    if (window.ws_col > 0) size.columns = window.ws_col;
    if (window.ws_row > 0) size.rows = window.ws_row;
  }
  return size;
}

bool ColourWanted() {
  const char* noColour = std::getenv("NO_COLOR");
  return IsTerminal(Stream::Out) && (noColour == nullptr || *noColour == '\0');
}

void CatchInterrupts() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
}

bool Interrupted() { return g_interrupted; }

}  // namespace korvex::cli
