#include "station/production_log.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>

#include "host/paths.h"
#include "station/printf_text.h"
#include "station/log_texts.h"

namespace korvex {
namespace {

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

// Under the log lock.
LogObserver g_observer = nullptr;
void* g_observerContext = nullptr;

// Lines lost are told under a lock of their own, so that a shell can unregister and
// then free its observer's context without a writer still calling it.
std::mutex& FailureMutex() {
  static std::mutex mutex;
  return mutex;
}
LogFailureObserver g_failureObserver = nullptr;
void* g_failureContext = nullptr;
bool g_lineLost = false;

// Appends the whole line or nothing. A write that came up short is taken back by
// cutting the file to its size before the line.
int AppendLine(const std::filesystem::path& path, const std::string& line) {
  std::error_code error;
  std::uintmax_t sizeBefore = std::filesystem::file_size(path, error);
  if (error) sizeBefore = 0;  // no file yet: the line would start it
  std::ofstream file(path, std::ios::binary | std::ios::app);
  if (!file.is_open()) return kLogNotOpened;
  file.write(line.data(), static_cast<std::streamsize>(line.size()));
  file.flush();
  file.close();  // a failed close sets failbit too
  if (!file.fail()) return kLogWritten;
  std::filesystem::resize_file(path, sizeBefore, error);
  return kLogNotWritten;
}

}  // namespace

std::string LogFileName(const LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%4d\xE5\xB9\xB4%2d\xE6\x9C\x88 log.txt", t.year, t.month);
  return text;
}

std::string LogLinePrefix(const LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%4d/%2d/%2d %2d:%2d:%2d:%4d : ", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return text;
}

int WriteLogLine(Host& host, std::string_view message) {
  const LocalTime now = host.GetLocalTime();
  std::string line = LogLinePrefix(now);
  line.append(message);
  line.push_back('\n');
  const std::filesystem::path path = ProgramDir(host) / PathFromUtf8(LogFileName(now));

  int result = kLogNotOpened;
  {
    std::lock_guard lock(LogMutex());
    result = AppendLine(path, line);
    if (result == kLogWritten) {
      line.pop_back();
      if (g_observer != nullptr) g_observer(g_observerContext, line);
      return result;
    }
  }
  // Outside the log lock: the other writers go on while the shell is told.
  std::lock_guard lock(FailureMutex());
  if (!g_lineLost) {
    g_lineLost = true;
    if (g_failureObserver != nullptr) g_failureObserver(g_failureContext, PathToUtf8(path));
  }
  return result;
}

void SetLogObserver(LogObserver observer, void* context) {
  std::lock_guard lock(LogMutex());
  g_observer = observer;
  g_observerContext = context;
}

void SetLogFailureObserver(LogFailureObserver observer, void* context) {
  std::lock_guard lock(FailureMutex());
  g_failureObserver = observer;
  g_failureContext = context;
  if (observer != nullptr) g_lineLost = false;
}

std::string LogLineLostText(std::string_view file) {
  const std::string name(file);
  return PrintfText(kFormatLogLineLost, name.c_str());
}

bool LogLineLost() {
  std::lock_guard lock(FailureMutex());
  return g_lineLost;
}

}  // namespace korvex
