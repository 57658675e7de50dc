#pragma once
// The run's burn counter and the two window commands that log and reset it.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/host.h"

namespace korvex {

// Burns since start-up, Clear or close; incremented by workers, read and cleared by
// the window. Never saved.
extern std::atomic<std::uint32_t> g_burnCounter;

struct Confirmation {
  std::string_view caption;
  std::string_view text;
};
inline constexpr Confirmation kClearConfirmation{"Clear", "Would you clear the counter?"};
inline constexpr Confirmation kCloseConfirmation{"Dialog", "Would you close the tool of Korvex?"};

std::string ClearLogLine(std::uint32_t count);  // "Update NUM is %d, someone clear to 0!"
std::string CloseLogLine(std::uint32_t count);  // "Update NUM is %d, someone close the tool of the korvex!"

// What the window does with the operator's answer: with OK the count is logged and
// the counter (and the window's copy) go to 0. Returns true when the answer was OK.
bool ApplyClearAnswer(Host& host, MessageAnswer answer, std::uint32_t& windowCopy);
bool ApplyCloseAnswer(Host& host, MessageAnswer answer, std::uint32_t& windowCopy);

}  // namespace korvex
