#pragma once
// Production-log lines of one board: the board's unique-ID text (empty until the ID
// is made), then a fixed text. The log writer adds its time prefix.

#include <cstdint>
#include <string_view>

#include "device/device_session.h"
#include "nand/burn_events.h"

namespace korvex {

void LogBoardLine(BurnEvents& events, const DeviceSession& session, std::string_view text);

// format holds one or two %d conversions for page numbers; they print as the signed
// values operators know from the log.
void LogBoardPages(BurnEvents& events, const DeviceSession& session, std::string_view format,
                   std::uint32_t first, std::uint32_t second = 0);

}  // namespace korvex
