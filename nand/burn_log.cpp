#include "nand/burn_log.h"

#include <cstdio>
#include <string>

#include "app/production_log.h"

namespace korvex {

void LogBoardLine(const DeviceSession& session, std::string_view text) {
  std::string line(session.uidText.View());
  line.append(text);
  WriteLogLine(session.host(), line);
}

void LogBoardPages(const DeviceSession& session, std::string_view format, std::uint32_t first,
                   std::uint32_t second) {
  char text[128];
  std::snprintf(text, sizeof text, std::string(format).c_str(), static_cast<int>(first),
                static_cast<int>(second));
  LogBoardLine(session, text);
}

}  // namespace korvex
