#include "sim/trace.h"

#include <cstdio>

namespace korvex::sim {

std::string ToString(const TraceEntry& entry) {
  char text[64];
  switch (entry.kind) {
    case TraceKind::Request:
      std::snprintf(text, sizeof text, "req %u 0x%x", static_cast<unsigned>(entry.request),
                    static_cast<unsigned>(entry.argument));
      break;
    case TraceKind::BulkWrite:
      std::snprintf(text, sizeof text, "write %u", static_cast<unsigned>(entry.length));
      break;
    case TraceKind::BulkRead:
      std::snprintf(text, sizeof text, "read %u", static_cast<unsigned>(entry.length));
      break;
  }
  std::string line = text;
  if (!entry.ok) line += " FAILED";
  return line;
}

}  // namespace korvex::sim
