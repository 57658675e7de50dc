#pragma once
// One write of staged pages as every writer does it: the program, then, with
// verification on, reading back what the write just put on the board and comparing
// it with the bytes that were sent, padding included. The firmware may have skipped
// bad blocks inside the write (its next page then lies further than the write's
// pages): the written blocks are found in order at the end of the range, and exactly
// the skipped count of blocks in front of them is allowed to differ.

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
WriteCheck VerifyWrite(DeviceSession& session, std::uint32_t first, std::uint32_t next,
                       std::span<const std::uint8_t> sent);

// What a writer does after one write.
enum class WriteStep {
  kAdvance,       // written (and read back alike): go on from `next`
  kSkipBlock,     // the board's status said no: the block at the start is bad
  kLinkLost,      // the board is gone: it ends as a lost link, with the image's line
  kImageError,    // refused before anything was sent: the image cannot go in this way
  kVerifyFailed,  // read back different from what was sent
};

struct PageWrite {
  WriteStep step = WriteStep::kAdvance;
  std::uint32_t next = 0;           // the page after the write (kAdvance)
  std::uint32_t skippedBlocks = 0;  // bad blocks the firmware stepped over (kAdvance)
  std::uint32_t mismatchPage = 0;   // kVerifyFailed
};

// The one judge of a write: programs `data` from page `start` with `option` (see
// ProgramPages for `results`), reads it back when session.verifyWrites is on, and
// says what the writer does next. Without verification the skipped blocks are the
// pages the board went beyond the write's own, in whole chip blocks.
PageWrite WriteAndCheck(DeviceSession& session, std::uint32_t start,
                        std::span<const std::uint8_t> data, std::int32_t option,
                        std::uint8_t* results);

}  // namespace korvex
