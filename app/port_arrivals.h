#pragma once
// What the driver's interface notifications told about the claimed ports between two
// scans. A board pulled and another plugged into the same USB port within one scan
// period leaves the port linked all along, so the scan alone would take the new board
// for the old one and never burn it. A removal followed by an arrival of a claimed
// port's link says it is a new board. An arrival alone says nothing: it may be the
// claimed board's own, announced after the scan had already found it.
// Notes may come from any thread; the scan reads them on the window's thread.

#include <array>
#include <cstddef>
#include <mutex>
#include <string_view>

#include "device/device_session.h"
#include "host/device_change.h"
#include "station/port_context.h"

namespace korvex {

class PortArrivals {
 public:
  // The scan claimed the port for the board on link: nothing noted about it yet.
  void Claimed(std::size_t port, std::string_view link);
  // The scan saw the port unlinked: it frees the port itself.
  void Released(std::size_t port);
  // A notification; links compare without regard to case, as Windows names them.
  void Note(DeviceChange change, std::string_view link);
  // A new board arrived on the claimed port since its board was removed.
  bool NewBoardOn(std::size_t port) const;

 private:
  struct PortNote {
    DevicePath link;  // empty while the port is not claimed
    bool removed = false;
    bool arrivedAfterRemoval = false;
  };
  mutable std::mutex mutex_;
  std::array<PortNote, kPortCount> notes_{};
};

}  // namespace korvex
