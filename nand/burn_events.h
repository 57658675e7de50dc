#pragma once
// Everything a burn tells the station about its board, and the one thing it asks.
// The burn reports only through this, so it never reaches into the station's
// records, its window or its log by itself; tests pass a recording fake.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device/device_session.h"
#include "station/burn_end.h"
#include "station/port_context.h"
#include "station/progress_type.h"

namespace korvex {

class BurnEvents : public ProgressSink {
 public:
  // One production-log line, the board's unique-ID text already in front.
  virtual void Log(std::string_view line) = 0;
  // The board counts as started: the counter steps and the port's burn has begun.
  virtual void Counted() = 0;
  // The chip was found in the table: its keys and geometry are in the session.
  virtual void ChipIdentified(const DeviceSession& session) = 0;
  // The chip answered IDs that no usable row of the table has: the session's
  // chipMainId and chipExtId hold them.
  virtual void ChipNotInTable(const DeviceSession&) {}
  virtual void UidMade(const std::array<std::uint8_t, kUidSize>& uid,
                       std::string_view text) = 0;
  // An image went into its zone, or the burn ended while it was being written: where,
  // and what it cost and proved.
  struct ImageWritten {
    ImageId image;
    std::uint32_t firstPage;
    std::uint32_t endPage;  // the page after the last one written
    std::uint32_t blocksSkipped;
    bool verified;
    bool whole = true;      // false: the burn ended inside this image
    bool mismatch = false;  // a block read back differed
  };
  virtual void ImageDone(const ImageWritten& written) = 0;
  // Once, at every end of the job; kBurned when the board was reset after a whole burn.
  // The session is the board's as the job left it (its first message box included).
  virtual void Ended(BurnEnd end, const DeviceSession& session) = 0;
  // Asked once the chip is known (and the UID made, see UidFirst), before anything
  // is written to the board: a refusal ends the board with its code and its text
  // shown as the board's message. A station without a job never refuses.
  struct Refusal {
    BurnEnd end;
    std::string text;
  };
  virtual std::optional<Refusal> BeforeWriting(const DeviceSession& session) {
    (void)session;
    return std::nullopt;
  }
  // Whether the UID is made before BeforeWriting instead of just before nand.bin.
  virtual bool UidFirst() { return false; }
  // True once the station has noticed that the board went away.
  virtual bool Unplugged() = 0;
};

}  // namespace korvex
