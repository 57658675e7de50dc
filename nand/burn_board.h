#pragma once
// The whole life of one board on its port: boot, chip identification, the images
// into their zones, the identity pages, the optional format and the reset. Progress,
// log lines and the board's milestones go to the events.

#include <cstdint>

#include "nand/burn_events.h"
#include "station/port_context.h"

namespace korvex {

// Runs on a working copy of the context's session (the buffers stay the context's);
// the job settings are read from the context as each step needs them. Returns 0.
std::uint32_t BurnBoard(PortContext& context, BurnEvents& events);

}  // namespace korvex
