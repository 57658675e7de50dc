#pragma once
// Turning a board's identification text (the reply to request 0) into a code.

#include <array>
#include <cstddef>
#include <string_view>

#include "device/device_session.h"

namespace korvex {

// -1 request 0 failed, 0 text in no row, 1..5 the matching row.
using CpuReply = int;
inline constexpr CpuReply kCpuReplyFailed = -1;
inline constexpr CpuReply kCpuReplyUnknown = 0;

// Only this many bytes of the reply are the text; anything behind them is ignored.
inline constexpr std::size_t kIdentificationLength = 8;

// Row i holds the text of code i + 1.
using CpuNameTable = std::array<std::string_view, 5>;

// Used while booting: rows 3..5 mark a board already running our stage 2.
inline constexpr CpuNameTable kBootCpuTable{"QX7120V1", "QX7130V1", "Boot7120", "Boot7130",
                                            "Boot7135"};
// Used once the board is up; differs from the boot table in row 4 only.
inline constexpr CpuNameTable kBurnCpuTable{"QX7120V1", "QX7130V1", "Boot7120", "QX7105B1",
                                            "Boot7135"};

// Compares the first eight bytes of reply, whole and case-sensitive, with the rows
// in order: the first equal row's code, or kCpuReplyUnknown.
CpuReply ClassifyIdentification(std::string_view reply, const CpuNameTable& table);

// Request 0, QX7120_USB_IOCTL_GET_CPU_INFO; no argument.
// The reply classified with the boot table, or kCpuReplyFailed.
CpuReply ClassifyCpuAtBoot(DeviceHandle device);

// Request 0, QX7120_USB_IOCTL_GET_CPU_INFO; no argument.
// The reply classified with the burn table, or kCpuReplyFailed.
CpuReply ClassifyCpuAtBurn(DeviceHandle device);

}  // namespace korvex
