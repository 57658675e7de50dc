#pragma once
// A station brought up on a host, the one way the console, the window, the benchmark
// and the tests start one: no port record left from an earlier run, the NAND table in
// place, the device tables built, and the scan that hands each board it claims a share
// of the station's record keeper.
//
//   auto station = StationCore::BringUp(host, keeper);   // nullptr: the table could not be made
//   station->scheduler().Scan(settings);                  // every 2 s, on the main thread

#include <memory>

#include "app/port_scheduler.h"
#include "app/port_workers.h"
#include "device/device_discovery.h"
#include "records/record_keeper.h"

namespace korvex {

class StationCore {
 public:
  // nullptr after the host's message when nand_cfg.bin cannot be put in place.
  // records: RecordKeeper::None() for a station that keeps no records.
  static std::unique_ptr<StationCore> BringUp(Host& host, std::shared_ptr<RecordKeeper> records,
                                              PortWorker worker = ThreadFunc0, PortWorker readBack = ReadBack);
  // Without the NAND table: for a station that burns no board (READ, devices).
  StationCore(Host& host, std::shared_ptr<RecordKeeper> records, PortWorker worker = ThreadFunc0,
              PortWorker readBack = ReadBack);

  PortScheduler& scheduler() { return scheduler_; }
  DeviceTables& tables() { return *tables_; }
  RecordKeeper& records() { return *records_; }

 private:
  std::shared_ptr<RecordKeeper> records_;
  std::unique_ptr<DeviceTables> tables_;  // large: kept off the stack
  PortScheduler scheduler_;
};

}  // namespace korvex
