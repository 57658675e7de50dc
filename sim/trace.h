#pragma once
// The record of every exchange between the station and one virtual board, in order.

#include <cstdint>
#include <string>

namespace korvex::sim {

enum class TraceKind { Request, BulkWrite, BulkRead };

struct TraceEntry {
  TraceKind kind = TraceKind::Request;
  std::uint32_t request = 0;   // request number n (code 0x220000 + 4n); Request only
  std::uint32_t argument = 0;  // first four input bytes, little-endian; Request only
  std::uint32_t length = 0;    // bytes asked for; BulkWrite and BulkRead only
  bool ok = true;              // whether the board completed it

  friend bool operator==(const TraceEntry&, const TraceEntry&) = default;
};

// "req 7 0x2017", "write 2048", "read 8"; a failed exchange ends in " FAILED".
std::string ToString(const TraceEntry& entry);

}  // namespace korvex::sim
