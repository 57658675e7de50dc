#include "station/production_log.h"

#include <cstdio>
#include <fstream>
#include <mutex>

#include "host/paths.h"

namespace korvex {
namespace {

std::mutex& LogMutex() {
  static std::mutex mutex;
  return mutex;
}

LogObserver g_observer = nullptr;
void* g_observerContext = nullptr;

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
  const std::filesystem::path path = ProgramDir(host) / PathFromUtf8(LogFileName(now));

  std::lock_guard lock(LogMutex());
  std::ofstream file(path, std::ios::binary | std::ios::app);
  if (!file) return kLogNotOpened;
  file.write(line.data(), static_cast<std::streamsize>(line.size()));
  file.put('\n');
  file.flush();
  file.close();
  if (g_observer != nullptr) g_observer(g_observerContext, line);
  return kLogWritten;
}

void SetLogObserver(LogObserver observer, void* context) {
  std::lock_guard lock(LogMutex());
  g_observer = observer;
  g_observerContext = context;
}

}  // namespace korvex
