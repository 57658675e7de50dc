#pragma once
// Reading back what one write just put on the board and comparing it with the bytes
// that were sent, padding included. The firmware may have skipped bad blocks inside
// the write (its next page then lies further than the write's pages): the written
// blocks are found in order at the end of the range, and exactly the skipped count
// of blocks in front of them is allowed to differ.

#include <cstdint>
#include <span>

#include "device/device_session.h"

namespace korvex {

enum class VerifyResult { kMatched, kMismatch, kLinkLost };

struct WriteCheck {
  VerifyResult result = VerifyResult::kMatched;
  std::uint32_t mismatchPage = 0;   // first page read back different (kMismatch)
  std::uint32_t skippedBlocks = 0;  // bad blocks the firmware stepped over
};

// The write began at page `first` of the current view and the board's status named
// `next`; `sent` holds whole pages of the record's page size. Reads go into
// session.verifyBuffer (kDataBufferSize bytes) one record block at a time; the
// session's own data buffer is left as it is.
WriteCheck VerifyWrite(const DeviceSession& session, std::uint32_t first, std::uint32_t next,
                          std::span<const std::uint8_t> sent);

}  // namespace korvex
