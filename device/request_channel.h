#pragma once
// The numbered requests and bulk transfers that carry everything said to a board.
// A request is one I/O control call with 512 bytes each way; its 32-bit argument
// travels little-endian in the first four input bytes.

#include <array>
#include <cstdint>
#include <string_view>

#include "device/device_session.h"
#include "host/host.h"

namespace korvex {

// Request numbers (the function field of the control code).
enum class Request : std::uint32_t {
  kGetCpuInfo = 0,
  kSetDataAddress = 1,
  kSetDataLength = 2,
  kFlushCaches = 3,
  kProgStart1 = 4,
  kProgStart2 = 5,
  kNorOps = 6,  // never sent
  kNandOps = 7,
  kSystemReset = 8,
  kConfiguration = 9,
  kGetNum = 10,  // never sent
};

// Device type 0x22 (unknown), function n, buffered, any access.
constexpr std::uint32_t RequestCode(Request request) {
  return 0x220000u + 4u * static_cast<std::uint32_t>(request);
}

// The station's own request table: ten names with their codes. Function 8 (the
// reset) has no name in it.
struct RequestName {
  std::string_view name;
  std::uint32_t code;
};
inline constexpr std::array<RequestName, 10> kRequestNames{{
    {"QX7120_USB_IOCTL_GET_CPU_INFO", RequestCode(Request::kGetCpuInfo)},
    {"QX7120_USB_IOCTL_SET_DATA_ADDRESS", RequestCode(Request::kSetDataAddress)},
    {"QX7120_USB_IOCTL_SET_DATA_LENGTH", RequestCode(Request::kSetDataLength)},
    {"QX7120_USB_IOCTL_FLUSH_CACHES", RequestCode(Request::kFlushCaches)},
    {"QX7120_USB_IOCTL_PROG_START1", RequestCode(Request::kProgStart1)},
    {"QX7120_USB_IOCTL_PROG_START2", RequestCode(Request::kProgStart2)},
    {"QX7120_USB_IOCTL_NOR_OPS", RequestCode(Request::kNorOps)},
    {"QX7120_USB_IOCTL_NAND_OPS", RequestCode(Request::kNandOps)},
    {"QX7120_USB_IOCTL_CONFIGRATION", RequestCode(Request::kConfiguration)},
    {"QX7120_USB_IOCTL_GET_NUM", RequestCode(Request::kGetNum)},
}};

// The input buffer of a request: the argument in bytes 0..3, zeros behind it.
RequestBuffer RequestInput(std::uint32_t argument);

// One request; true when the driver completed it. Blocks until it has.
bool SendRequest(DeviceHandle device, Request request, std::uint32_t argument);
// The same, keeping the board's 512-byte reply (only request 0 has one).
bool SendRequest(DeviceHandle device, Request request, std::uint32_t argument,
                 RequestBuffer& reply);

// One synchronous write or read of count bytes. No caller examines the outcome:
// a short transfer shows only in what the board answers later.
void BulkWrite(DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count);
void BulkRead(DeviceHandle device, std::uint8_t* buffer, std::uint32_t count);

}  // namespace korvex
