#pragma once
// Waiting on the window's thread without freezing it: workers reach the window by
// SendMessage, so a thread that owns windows must keep dispatching while it waits.

#include <chrono>
#include <functional>

namespace korvex::win32 {

// Dispatches the thread's messages until done() holds or the timeout passes; true
// when done() held. done() is checked after every batch of messages and at least
// every 10 ms.
bool PumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Dispatches what is waiting now, then returns.
void PumpPendingMessages();

// True while a worker started by the scheduler has not returned yet.
bool AnyWorkerRunning();

}  // namespace korvex::win32
