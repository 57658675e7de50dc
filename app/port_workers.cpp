#include "app/port_workers.h"

#include "app/port_progress.h"
#include "app/station_burn_events.h"
#include "nand/burn_board.h"
#include "nand/read_back.h"
#include "records/record_keeper.h"

namespace korvex {
namespace {

// Written by the scan at a claim and taken by the worker it then starts; the scan
// claims the port again only after that worker has ended.
std::array<std::shared_ptr<RecordKeeper>, kPortCount> g_handedRecords;

}  // namespace

void HandRecordsToPort(std::size_t port, std::shared_ptr<RecordKeeper> records) {
  g_handedRecords[port] = std::move(records);
}

std::uint32_t ThreadFunc0(void* argument) {
  PortContext& context = *static_cast<PortContext*>(argument);
  const std::int32_t port = context.settings.port;
  const auto index = static_cast<std::size_t>(port);
  Host& host = context.session.host();
  std::shared_ptr<RecordKeeper> records = std::move(g_handedRecords[index]);
  if (!records) records = RecordKeeper::None();  // started without a claim (a test's direct call)
  StationBurnEvents events(host, context.settings.hwndMain, port, std::move(records));
  events.BeginRecord(context);
  const std::uint32_t result = BurnBoard(context, events);
  SendPortProgress(host, context.settings.hwndMain, kProgressReset, port, 0);
  g_portRuns[index].workerRunning = false;
  return result;
}

std::uint32_t ReadBack(void* argument) {
  PortContext& context = *static_cast<PortContext*>(argument);
  StationBurnEvents progress(context.session.host(), context.settings.hwndMain, kReadBackPort,
                             RecordKeeper::None());
  ReadBackPages(context, progress);
  return 0;
}

}  // namespace korvex
