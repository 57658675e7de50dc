#include "win32/message_pump.h"

#include <windows.h>

#include <algorithm>

#include "station/port_context.h"

namespace korvex::win32 {

void PumpPendingMessages() {
  MSG message{};
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

bool PumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    // Sent messages from other threads are delivered inside this wait as well.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<long long>(left.count(), 10)),
                                  QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    PumpPendingMessages();
  }
  return true;
}

bool AnyWorkerRunning() {
  for (const PortRun& run : g_portRuns) {
    if (run.workerRunning) return true;
  }
  return false;
}

}  // namespace korvex::win32
