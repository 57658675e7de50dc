#include "nand/burn_log.h"

#include "station/printf_text.h"

#include <cstdio>
#include <string>

namespace korvex {

void LogBoardLine(BurnEvents& events, const DeviceSession& session, std::string_view text) {
  std::string line(session.uidText.View());
  line.append(text);
  events.Log(line);
}

void LogBoardPages(BurnEvents& events, const DeviceSession& session, std::string_view format,
                   std::uint32_t first, std::uint32_t second) {
  LogBoardLine(events, session,
               PrintfText(format, static_cast<int>(first), static_cast<int>(second)));
}

}  // namespace korvex
