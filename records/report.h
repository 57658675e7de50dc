#pragma once
// The line's report: one self-contained HTML page (no scripts, no fonts or images
// from elsewhere) with the yield per day, per port and per job, the failure reasons as a
// Pareto chart, the bad blocks per chip part, the distribution of burn times and the
// failed boards. Charts are inline SVG. Every number the page shows also sits in a
// data- attribute of its element, so a test can read the rendered page back.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "records/board_record.h"

namespace korvex {

struct YieldCounts {
  std::size_t passed = 0;
  std::size_t failed = 0;

  std::size_t Total() const { return passed + failed; }
  // Percent of boards burned, 0 for none.
  double Yield() const;
};

struct PartStats {
  std::size_t boards = 0;
  std::uint64_t skippedBlocks = 0;  // blocks stepped over while writing, all boards
  std::uint32_t worstBoard = 0;     // the most any one board had
};

struct FailedBoard {
  std::string id, start, station, uidText, message;  // message: the first's ID for a duplicate
  std::int32_t port = 0;
  BurnEnd reason = BurnEnd::kNone;
};

// Filled record by record, so a month of records needs no more than its counts.
struct ReportData {
  static constexpr std::size_t kMaxFailedRows = 200;  // the most recent ones

  std::string source;  // where the records came from, for the heading
  std::string fromDay, toDay;
  YieldCounts all;
  std::map<std::string, YieldCounts> days;  // by "YYYY-MM-DD" of the start
  std::array<YieldCounts, kPortCount> ports{};  // ports[0] is Port 1
  // Per station, and per station and port (ports[0] is Port 1 again).
  std::map<std::string, std::array<YieldCounts, kPortCount + 1>> stations;  // [kPortCount]: all ports
  std::map<std::string, YieldCounts> jobs;  // by the job's name; "" for boards without one
  std::array<std::size_t, kBurnEndCodes.size()> reasons{};
  std::map<std::string, PartStats> parts;   // boards whose chip matched a table row
  std::vector<std::uint64_t> burnMs;        // durations of burned boards
  std::vector<FailedBoard> failedBoards;    // oldest first
  std::size_t failedNotListed = 0;
  std::size_t duplicateUids = 0;
  std::size_t demoLeftOut = 0;              // demo records not counted (report --demo counts them)
  std::vector<FailedBoard> duplicates;      // burned boards whose UID another had first

  // A duplicate counts as no burned board in any yield; firstId names the first.
  void Add(const BoardRecord& record, bool duplicateUid, std::string_view firstId = {});
};

struct HistogramBin {
  std::uint64_t fromMs = 0, toMs = 0;  // [from, to)
  std::size_t count = 0;
};
// The burn times in bins of the finest round width (0.1, 0.2, 0.5, 1, 2, 5, 10, 15,
// 30 s ...) that needs no more than 20 of them.
std::vector<HistogramBin> BurnTimeHistogram(std::vector<std::uint64_t> burnMs);

// The day chart's bars: one per day up to a month, else one per week (by its Monday),
// so 90 days stay readable. Keys are "YYYY-MM-DD".
std::map<std::string, YieldCounts> DayBars(const ReportData& data, bool& weeks);

// Reasons of failed boards with their counts, most frequent first (ties in the
// order of BurnEnd); reasons that never occurred are left out.
std::vector<std::pair<BurnEnd, std::size_t>> ParetoOrder(const ReportData& data);

// "97.3" for 97.25..97.35: percentages on the page have one decimal.
std::string Percent(double value);

std::string RenderReportHtml(const ReportData& data, std::string_view generatedAt);

}  // namespace korvex
