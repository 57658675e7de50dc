#pragma once
// The thread procedures the scan and the READ button start on a port's context; they
// run the board's job with the station's events and hand the context back.

#include <cstdint>

namespace korvex {

// The worker of a claimed port, given its PortContext: BurnBoard, then the row's
// final progress message (type 2) to the main window, then the port's workerRunning
// flag goes back to false. Returns BurnBoard's result.
std::uint32_t ThreadFunc0(void* context);

// The read-back on port 0's context, its progress to port 0's row. Returns 0.
std::uint32_t ReadBack(void* context);

}  // namespace korvex
