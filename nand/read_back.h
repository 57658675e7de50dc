#pragma once
// Copying a page range of one board's NAND into a file on the station: page data
// only, one chip page after another. A service function of the READ button.

#include <cstdint>

#include "station/port_context.h"
#include "station/progress_type.h"

namespace korvex {

// Row of the progress list the read-back reports to; it always works on port 0's
// context.
inline constexpr std::int32_t kReadBackPort = 0;

// On a PortContext prepared by the READ button: device path and session fields of a
// claim, fromPage/toPage, and the output file in the nand.bin path field. Opens and
// boots the board, reads pages fromPage .. toPage - 1 into the file, resets the board
// and closes the device.
void ReadBackPages(PortContext& context, ProgressSink& progress);

}  // namespace korvex
