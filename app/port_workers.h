#pragma once
// The thread procedures the scan and the READ button start on a port's context; they
// run the board's job with the station's events and hand the context back.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace korvex {

class RecordKeeper;

// At the claim, before the port's worker starts: the record keeper that worker is to
// use. The worker takes it over at its start and holds it until it ends, so the keeper
// outlives every worker that burned with it.
void HandRecordsToPort(std::size_t port, std::shared_ptr<RecordKeeper> records);

// The worker of a claimed port, given its PortContext: BurnBoard, then the row's
// final progress message (type 2) to the main window, then the port's workerRunning
// flag goes back to false. Returns BurnBoard's result.
std::uint32_t ThreadFunc0(void* context);

// The read-back on port 0's context, its progress to port 0's row. Returns 0.
std::uint32_t ReadBack(void* context);

}  // namespace korvex
