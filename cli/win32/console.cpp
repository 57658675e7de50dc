// The console on Windows. The core prints UTF-8; a console shows it as its own
// characters through WriteConsoleW whatever its code page, and a redirected stream gets
// the UTF-8 bytes unchanged (no code page, no CR added). The live table needs the
// console's virtual-terminal mode; Ctrl-C, Ctrl-Break and closing the window arrive as
// console control events.

#include "cli/console.h"

#include <windows.h>
#include <io.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <streambuf>

#include "host/win32/utf8.h"

namespace korvex::cli {

namespace {

// std::cout's and std::cerr's buffer: whole lines (or 4 KiB) at a time; on a console
// only whole UTF-8 sequences are converted, a cut one waits for its tail.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE handle) : handle_(handle) {
    DWORD mode = 0;
    console_ = handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
  }
  bool IsConsole() const { return console_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_.push_back(traits_type::to_char_type(c));
    if (c == '\n' || pending_.size() >= kChunk) Flush();
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, static_cast<std::size_t>(count));
    if (pending_.size() >= kChunk || pending_.find('\n') != std::string::npos) Flush();
    return count;
  }
  int sync() override {
    Flush();
    return 0;
  }

 private:
  static constexpr std::size_t kChunk = 4096;

  // Bytes of a UTF-8 sequence cut at the end of the text, to keep for the next write.
  static std::size_t CutTail(const std::string& text) {
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
      const auto byte = static_cast<unsigned char>(text[text.size() - back]);
      if ((byte & 0xC0) != 0x80) {
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back ? back : 0;
      }
    }
    return 0;
  }

  void Flush() {
    if (pending_.empty()) return;
    DWORD written = 0;
    if (console_) {
      const std::size_t keep = CutTail(pending_);
      const std::wstring wide = Utf8ToWide(std::string_view(pending_).substr(0, pending_.size() - keep));
      ::WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
      pending_.erase(0, pending_.size() - keep);
      return;
    }
    ::WriteFile(handle_, pending_.data(), static_cast<DWORD>(pending_.size()), &written, nullptr);
    pending_.clear();
  }

  HANDLE handle_;
  bool console_ = false;
  std::string pending_;
};

// Never destroyed: std::cout may still be flushed while the process ends.
ConsoleBuffer* g_out = nullptr;
ConsoleBuffer* g_err = nullptr;

std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnControlEvent(DWORD event) {
  g_interrupted = true;
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Returning would end the process now; the run ends it itself once the boards
    // have stopped and the close line is written (EndProcess), within the system's grace.
    ::Sleep(INFINITE);
  }
  return TRUE;
}

}  // namespace

std::vector<std::string> PrepareConsole(int, char**) {
  ::SetConsoleOutputCP(CP_UTF8);
  g_out = new ConsoleBuffer(::GetStdHandle(STD_OUTPUT_HANDLE));
  g_err = new ConsoleBuffer(::GetStdHandle(STD_ERROR_HANDLE));
  std::cout.rdbuf(g_out);
  std::cerr.rdbuf(g_err);
  // main()'s argv is in the ANSI code page; the wide command line keeps every path.
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 0; wide != nullptr && i < count; ++i) args.push_back(WideToUtf8(wide[i]));
  if (wide != nullptr) ::LocalFree(wide);
  return args;
}

bool IsTerminal(ConsoleStream stream) {
  const ConsoleBuffer* buffer = stream == ConsoleStream::kOut ? g_out : g_err;
  return buffer != nullptr && buffer->IsConsole();
}

bool CanRedrawInPlace() {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!::GetConsoleMode(out, &mode)) return false;
  return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
         ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING | ENABLE_PROCESSED_OUTPUT) != FALSE;
}

TerminalSize StdoutTerminalSize() {
  TerminalSize size;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    const int rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    if (columns > 0) size.columns = static_cast<std::size_t>(columns);
    if (rows > 0) size.rows = static_cast<std::size_t>(rows);
  }
  return size;
}

bool ColourWanted() {
  const char* noColour = std::getenv("NO_COLOR");
  return CanRedrawInPlace() && (noColour == nullptr || *noColour == '\0');
}

void CatchInterrupts() {
  // A program started in a new process group has Ctrl-C turned off; the operator's
  // Ctrl-C must still reach it.
  ::SetConsoleCtrlHandler(nullptr, FALSE);
  ::SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

bool Interrupted() { return g_interrupted; }

std::filesystem::path ProgramFolder(const char*) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return std::filesystem::path(path).parent_path();
    }
    path.resize(path.size() * 2);
  }
}

bool FolderWritable(const std::filesystem::path& folder) { return ::_waccess(folder.c_str(), 2) == 0; }

void EndProcess(int code) {
  std::cout.flush();
  std::cerr.flush();
  // Workers are never joined, and one may still wait on its device: ExitProcess ends
  // them without running the static destructors under them.
  ::ExitProcess(static_cast<UINT>(code));
}

}  // namespace korvex::cli
