#pragma once
// The station's NAND operations on one port's board: each is one operation word of
// request 7, framed by address, length and bulk data, and always followed by the
// 8-byte status reply. Each takes the pages, length and option of its own call; the
// session gives the open device, the target table and the page geometry of the
// record the board holds (session.bootConfig.nandPageSize / nandOobSize).

#include <cstdint>
#include <optional>
#include <span>

#include "device/device_session.h"

namespace korvex {

inline constexpr std::uint32_t kMaxProgramLength = 0x100000;  // bytes per ProgramPages
inline constexpr std::uint32_t kMaxReadValue = 0x3FFFFC18;    // ReadPages start and length

enum class NandStatus {
  kOk,
  kBoardFailed,  // the board's status said the operation failed
  kRefused,      // over a limit, or a CPU model without the opcode: nothing was sent
  kLinkLost,     // a request, bulk write or bulk read failed at the host: the board is gone
};

// What one operation came to. pagesDone: for ProgramPages the pages from the start to
// the board's next page (bad blocks the firmware stepped over included), for
// ReadPages the pages read; 0 for anything that did not end kOk.
struct NandResult {
  NandStatus status = NandStatus::kOk;
  std::uint32_t pagesDone = 0;

  bool operator==(const NandResult&) const = default;
};

// The target of every operation but ProgramPages: the first non-zero entry of
// targetEnable[0 .. targetCount - 1]; none means "send nothing, report success".
std::optional<std::uint8_t> FirstEnabledTarget(const DeviceSession& session);

// The chip's own block in pages, from the geometry LookupNandPart wrote; 0 while the
// chip is unknown.
std::uint32_t ChipPagesPerBlock(const DeviceSession& session);

// Bulk bytes one page occupies in a write with `option`: the page alone for options
// 2 and 3, page and spare for any other.
std::uint32_t ProgramPageBytes(const DeviceSession& session, std::int32_t option);
// Pages a write of `length` bytes with `option` asks for (rounded up).
std::uint32_t ProgramPageCount(const DeviceSession& session, std::uint32_t length,
                               std::int32_t option);
// Pages a read of `length` bytes asks for: always one more than the quotient.
std::uint32_t ReadPageCount(const DeviceSession& session, std::uint32_t length);

// Chip ID of the first enabled target → kOk, or kRefused after kCpuIdVersionErrorText
// for a CPU model outside 0..3. No enabled target leaves both outputs untouched.
// kLinkLost, both as 0, at the first exchange that failed: no ID was read.
NandResult ReadNandId(DeviceSession& session, std::uint16_t& mainId, std::uint32_t& extId);

// Erases blocks 0 .. totalBlocks - 1 on every enabled target → kOk, or kLinkLost at
// the first exchange that failed.
NandResult EraseChip(DeviceSession& session);

// Writes `data` from page `start` with `option` → kOk with pagesDone, kBoardFailed
// when the board's status names no next page, kRefused without touching the board
// when data is over kMaxProgramLength, or kLinkLost at the first exchange that
// failed. resultTable (targetCount bytes) is cleared, then entry 0 set to 1 when a
// page came back.
NandResult ProgramPages(DeviceSession& session, std::uint32_t start,
                        std::span<const std::uint8_t> data, std::int32_t option,
                        std::uint8_t* resultTable);

// Reads the pages of `length` bytes from page `start` into `buffer` (kDataBufferSize
// bytes) → kOk, kRefused without touching the board when start or length is over
// kMaxReadValue, or kLinkLost.
NandResult ReadPages(DeviceSession& session, std::uint32_t start, std::uint32_t length,
                     std::uint8_t* buffer);

// Format of the first enabled target → kOk, kLinkLost, or kRefused after
// kCpuIdVersionErrorText for a CPU model outside 0..3.
NandResult FormatNand(DeviceSession& session);

// File-system format of the first enabled target; an unknown CPU model shows
// kCpuIdVersionErrorText, sends nothing and still counts as kOk. kLinkLost when the
// exchange failed.
NandResult FormatFileSystem(DeviceSession& session);

}  // namespace korvex
