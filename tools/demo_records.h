#pragma once
// Demo data, never a station's: a plausible week of board records for trying the
// record query and the report without a line. Several hundred boards on eight
// ports of one station named DEMO, mostly burned; port 5 has a worn cable (links
// lost, boards unplugged) and port 2 a flaky boot, and one chip part brings more
// bad blocks than the others. The same seed gives the same records.

#include <cstddef>
#include <cstdint>

#include "host/host.h"
#include "records/record_store.h"

namespace korvex {

inline constexpr std::string_view kDemoStationName = "DEMO";

struct DemoPlan {
  LocalTime firstDay{2026, 11, 30, 0, 0, 0, 0, 1};  // only the date counts
  int days = 7;
  int boardsPerPortAndDay = 12;
  std::uint64_t seed = 1;
};

// Appends the plan's records to the store; returns how many were written (fewer
// only when the store could not write).
std::size_t WriteDemoRecords(RecordStore& store, const DemoPlan& plan);

}  // namespace korvex
