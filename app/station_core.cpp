#include "app/station_core.h"

#include "nandtable/nand_cfg.h"
#include "station/port_context.h"

namespace korvex {

std::unique_ptr<StationCore> StationCore::BringUp(Host& host, std::shared_ptr<RecordKeeper> records,
                                                  PortWorker worker, PortWorker readBack) {
  if (!EnsureNandTable(host)) return nullptr;
  return std::make_unique<StationCore>(host, std::move(records), worker, readBack);
}

StationCore::StationCore(Host& host, std::shared_ptr<RecordKeeper> records, PortWorker worker,
                         PortWorker readBack)
    : records_(std::move(records)),
      tables_(std::make_unique<DeviceTables>()),
      scheduler_(host, *tables_, worker, readBack, records_) {
  ResetPortRecords();
  BuildDeviceTables(host, *tables_);
}

}  // namespace korvex
