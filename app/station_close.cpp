#include "app/station_close.h"

#include <atomic>
#include <mutex>
#include <thread>

#include "app/burn_counter.h"
#include "station/port_context.h"
#include "station/production_log.h"

namespace korvex {

namespace {

std::atomic<bool> g_stopRequested{false};
// Held while a board line is written and while the close line is: a line is either
// wholly before the close line or dropped.
std::mutex g_closeLock;
bool g_closed = false;

bool AnyWorkerRunning() {
  for (const PortRun& run : g_portRuns) {
    if (run.workerRunning) return true;
  }
  return false;
}

}  // namespace

void RequestWorkersStop() { g_stopRequested = true; }

bool WorkersStopRequested() { return g_stopRequested; }

bool WaitForWorkers(std::chrono::milliseconds patience) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (AnyWorkerRunning()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void WriteBoardLogLine(Host& host, std::string_view line) {
  const std::lock_guard lock(g_closeLock);
  if (!g_closed) WriteLogLine(host, line);
}

void WriteCloseLineLast(Host& host, std::uint32_t& windowCopy) {
  const std::lock_guard lock(g_closeLock);
  ApplyCloseAnswer(host, MessageAnswer::Ok, windowCopy);
  g_closed = true;
}

void ReopenStation() {
  const std::lock_guard lock(g_closeLock);
  g_closed = false;
  g_stopRequested = false;
}

}  // namespace korvex
