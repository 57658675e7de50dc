// The console on POSIX: the terminal through isatty and ioctl, signals for Ctrl-C and
// SIGTERM, /proc for the program's folder.

#include "cli/console.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace korvex::cli {

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) { g_interrupted = true; }

int FileOf(ConsoleStream stream) { return stream == ConsoleStream::kOut ? STDOUT_FILENO : STDERR_FILENO; }

}  // namespace

std::vector<std::string> PrepareConsole(int argc, char** argv) { return {argv, argv + argc}; }

bool IsTerminal(ConsoleStream stream) { return ::isatty(FileOf(stream)) != 0; }

bool CanRedrawInPlace() { return IsTerminal(ConsoleStream::kOut); }

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
  return CanRedrawInPlace() && (noColour == nullptr || *noColour == '\0');
}

void CatchInterrupts() {
  std::signal(SIGINT, OnInterrupt);
  std::signal(SIGTERM, OnInterrupt);
}

bool Interrupted() { return g_interrupted; }

std::filesystem::path ProgramFolder(const char* argv0) {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) return self.parent_path();
  return std::filesystem::absolute(argv0, ec).parent_path();
}

bool FolderWritable(const std::filesystem::path& folder) { return ::access(folder.c_str(), W_OK) == 0; }

void EndProcess(int code) {
  std::cout.flush();
  std::cerr.flush();
  std::exit(code);
}

}  // namespace korvex::cli
