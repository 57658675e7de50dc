#include "app/station_burn_events.h"

#include "app/burn_counter.h"
#include "app/port_progress.h"
#include "app/station_close.h"
#include "station/production_log.h"

namespace korvex {

namespace {

std::size_t Index(std::int32_t port) { return static_cast<std::size_t>(port); }

}  // namespace

void StationBurnEvents::Progress(ProgressType type, std::intptr_t value) {
  SendPortProgress(host_, window_, type, port_, value);
}

void StationBurnEvents::Log(std::string_view line) { WriteBoardLogLine(host_, line); }

bool StationBurnEvents::Cancelled() { return WorkersStopRequested(); }

void StationBurnEvents::Counted() {
  g_burnCounter.fetch_add(1);
  g_portRuns[Index(port_)].burning = kBurningStarted;
}

void StationBurnEvents::UidMade(const std::array<std::uint8_t, kUidSize>& uid,
                                std::string_view text) {
  g_portRuns[Index(port_)].SetUid(uid, text);
}

void StationBurnEvents::ImageDone(const ImageWritten& written) {
  g_portRuns[Index(port_)].blocksSkipped += written.blocksSkipped;
}

void StationBurnEvents::Ended(BurnEnd end) {
  PortRun& run = g_portRuns[Index(port_)];
  run.end = end;
  if (end == BurnEnd::kBurned) run.burning = kBurningDone;
}

bool StationBurnEvents::Unplugged() { return g_portSlots[Index(port_)].state == kPortFree; }

}  // namespace korvex
