#pragma once
// The station's NAND operations on one port's board: each is one operation word of
// request 7, framed by address, length and bulk data, and always followed by the
// 8-byte status reply. Page geometry comes from the record the board holds
// (session.bootConfig.nandPageSize / nandOobSize).

#include <cstdint>
#include <optional>

#include "device/device_session.h"

namespace korvex {

inline constexpr int kNandOpOk = 1;
inline constexpr int kNandOpFailed = 0;        // ReadNandId, FormatNand: unknown CPU model
inline constexpr int kReadPagesRefused = -1;   // start or length over kMaxReadValue
// A request, bulk write or bulk read failed at the host: the link to the board is
// gone. Never the board's own answer, which always arrives as a status.
inline constexpr int kNandOpLinkLost = -2;

inline constexpr std::uint32_t kProgramFailed = 0;            // the board's status said so
inline constexpr std::uint32_t kProgramRefused = 0xFFFFFFFF;  // over kMaxProgramLength
inline constexpr std::uint32_t kProgramLinkLost = 0xFFFFFFFE; // a host call failed
inline constexpr std::uint32_t kMaxProgramLength = 0x100000;  // bytes per ProgramPages
inline constexpr std::uint32_t kMaxReadValue = 0x3FFFFC18;    // ReadPages start and length

// The target of every operation but ProgramPages: the first non-zero entry of
// targetEnable[0 .. targetCount - 1]; none means "send nothing, report success".
std::optional<std::uint8_t> FirstEnabledTarget(const DeviceSession& session);

// Bulk bytes one page occupies in a write: the page alone for options 2 and 3,
// page and spare for any other.
std::uint32_t ProgramPageBytes(const DeviceSession& session);
// Pages a write of nandLength bytes asks for (rounded up).
std::uint32_t ProgramPageCount(const DeviceSession& session);
// Pages a read of nandLength bytes asks for: always one more than the quotient.
std::uint32_t ReadPageCount(const DeviceSession& session);

// Chip ID of the first enabled target → kNandOpOk, or kNandOpFailed after
// kCpuIdVersionErrorText for a CPU model outside 0..3. No enabled target leaves
// both outputs untouched. kNandOpLinkLost, both as 0, at the first exchange that
// failed: no ID was read.
int ReadNandId(DeviceSession& session, std::uint16_t& mainId, std::uint32_t& extId);

// Erases blocks 0 .. totalBlocks - 1 on every enabled target. Returns kNandOpOk, or
// kNandOpLinkLost at the first exchange that failed.
int EraseChip(DeviceSession& session);

// Writes nandLength bytes of the data buffer from page nandStart with nandOption.
// Returns the page after the last one programmed, kProgramFailed, kProgramRefused
// without touching the board, or kProgramLinkLost at the first exchange that failed.
// resultTable (targetCount bytes) is cleared, then entry 0 set to 1 when a page came
// back.
std::uint32_t ProgramPages(DeviceSession& session, std::uint8_t* resultTable);

// Reads pages from nandStart into the start of the data buffer → kNandOpOk,
// kReadPagesRefused without touching the board, or kNandOpLinkLost.
int ReadPages(DeviceSession& session);

// Format of the first enabled target → kNandOpOk, kNandOpLinkLost, or kNandOpFailed
// after kCpuIdVersionErrorText for a CPU model outside 0..3.
int FormatNand(DeviceSession& session);

// File-system format of the first enabled target; an unknown CPU model shows
// kCpuIdVersionErrorText and sends nothing. kNandOpLinkLost when the exchange failed,
// else kNandOpOk.
int FormatFileSystem(DeviceSession& session);

}  // namespace korvex
