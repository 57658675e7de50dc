#pragma once
// One wrapper per board request, named after it, plus the status reply. Failures
// are returned, never shown: the caller words the message.

#include <cstdint>

#include "device/device_session.h"

namespace korvex {

inline constexpr int kRequestOk = 1;
inline constexpr int kRequestFailed = -1;
inline constexpr int kResetOk = 1;
inline constexpr int kResetFailed = 0;  // the reset alone reports failure as 0

// Bytes of every status reply; they land at the start of the session's tail area.
inline constexpr std::uint32_t kStatusReplySize = 8;

// Request 1, QX7120_USB_IOCTL_SET_DATA_ADDRESS.
// Argument: board address of a download, or first page/block of a NAND transfer.
int SetDataAddress(DeviceHandle device, std::uint32_t value);

// Request 2, QX7120_USB_IOCTL_SET_DATA_LENGTH.
// Argument: length of the next NAND transfer (pages or blocks, per opcode).
int SetDataLength(DeviceHandle device, std::uint32_t value);

// Request 3, QX7120_USB_IOCTL_FLUSH_CACHES.
// No argument (all zeros).
int FlushCaches(DeviceHandle device);

// Request 4, QX7120_USB_IOCTL_PROG_START1.
// Argument: entry address of stage 1.
int ProgStart1(DeviceHandle device, std::uint32_t address);

// Request 5, QX7120_USB_IOCTL_PROG_START2.
// Argument: entry address of stage 2.
int ProgStart2(DeviceHandle device, std::uint32_t address);

// Request 7, QX7120_USB_IOCTL_NAND_OPS.
// Argument: the 16-bit NAND operation word, upper half zero.
int NandOps(DeviceHandle device, std::uint16_t word);

// Request 8 (unnamed), ends the job on the board.
// Argument: always 1. Returns kResetOk or kResetFailed.
int SystemReset(DeviceSession& session);

// Request 9, QX7120_USB_IOCTL_CONFIGRATION: commits the record just written.
// Argument: value (always 1).
int CommitConfig(DeviceHandle device, std::uint32_t value);

// Bulk read of the 8-byte status reply into session.tail; left for the caller to read.
// False when the read failed at the host: the reply is then all zeros, which a caller
// must not take for the board's answer.
bool ReadStatus(DeviceSession& session);

}  // namespace korvex
