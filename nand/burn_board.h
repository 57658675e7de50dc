#pragma once
// The whole life of one board on its port: boot, chip identification, the images
// into their zones, the identity pages, the optional format and the reset. The
// outcome goes to the production log, the port's row and its PortRun record.

#include <cstdint>

#include "app/port_context.h"

namespace korvex {

// Runs on a working copy of the context's session (the buffers stay the context's);
// the job settings are read from the context as each step needs them. Returns 0.
std::uint32_t BurnBoard(PortContext& context);

// The worker entry of a claimed port, given its PortContext: BurnBoard, then the
// row's final progress message (type 2) to the main window, then the port's
// workerRunning flag goes back to false. Returns BurnBoard's result.
std::uint32_t ThreadFunc0(void* context);

}  // namespace korvex
