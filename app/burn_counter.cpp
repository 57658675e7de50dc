#include "app/burn_counter.h"

#include <cstdio>

#include "station/printf_text.h"
#include "station/production_log.h"

namespace korvex {

std::atomic<std::uint32_t> g_burnCounter{0};

namespace {

// The log has always printed the count as a signed number; keep its lines alike.
std::string FormatCount(const char* format, std::uint32_t count) {
  return PrintfText(format, static_cast<int>(count));
}

// Logs the count the counter held at the moment it went to 0, so a burn that
// finishes during the reset is never counted twice or lost.
bool ResetWithLogLine(Host& host, MessageAnswer answer, std::uint32_t& windowCopy,
                      std::string (*line)(std::uint32_t)) {
  if (answer != MessageAnswer::Ok) return false;
  const std::uint32_t count = g_burnCounter.exchange(0);
  WriteLogLine(host, line(count));
  windowCopy = 0;
  return true;
}

}  // namespace

std::string ClearLogLine(std::uint32_t count) {
  return FormatCount("Update NUM is %d, someone clear to 0!", count);
}

std::string CloseLogLine(std::uint32_t count) {
  return FormatCount("Update NUM is %d, someone close the tool of the korvex!", count);
}

bool ApplyClearAnswer(Host& host, MessageAnswer answer, std::uint32_t& windowCopy) {
  return ResetWithLogLine(host, answer, windowCopy, ClearLogLine);
}

bool ApplyCloseAnswer(Host& host, MessageAnswer answer, std::uint32_t& windowCopy) {
  return ResetWithLogLine(host, answer, windowCopy, CloseLogLine);
}

}  // namespace korvex
