#pragma once
// Request numbers and control codes of the USB boot driver: what each numbered
// request is called on the wire.

#include <array>
#include <cstdint>
#include <string_view>

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

}  // namespace korvex
