#include "app/port_workers.h"

#include "app/port_progress.h"
#include "app/station_burn_events.h"
#include "nand/burn_board.h"
#include "nand/read_back.h"

namespace korvex {

std::uint32_t ThreadFunc0(void* argument) {
  PortContext& context = *static_cast<PortContext*>(argument);
  const std::int32_t port = context.settings.port;
  Host& host = context.session.host();
  StationBurnEvents events(host, context.settings.hwndMain, port);
  events.BeginRecord(context);
  const std::uint32_t result = BurnBoard(context, events);
  SendPortProgress(host, context.settings.hwndMain, kProgressReset, port, 0);
  g_portRuns[static_cast<std::size_t>(port)].workerRunning = false;
  return result;
}

std::uint32_t ReadBack(void* argument) {
  PortContext& context = *static_cast<PortContext*>(argument);
  StationBurnEvents progress(context.session.host(), context.settings.hwndMain, kReadBackPort);
  ReadBackPages(context, progress);
  return 0;
}

}  // namespace korvex
