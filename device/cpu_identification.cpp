#include "device/cpu_identification.h"

#include "device/request_channel.h"

namespace korvex {

namespace {

CpuReply AskAndClassify(DeviceHandle device, const CpuNameTable& table) {
  RequestBuffer reply{};
  if (!SendRequest(device, Request::kGetCpuInfo, 0, reply, static_cast<std::uint32_t>(kIdentificationLength))) {
    return kCpuReplyFailed;
  }
  const std::string_view text(reinterpret_cast<const char*>(reply.data()),
                              kIdentificationLength);
  return ClassifyIdentification(text, table);
}

}  // namespace

CpuReply ClassifyIdentification(std::string_view reply, const CpuNameTable& table) {
  const std::string_view text = reply.substr(0, kIdentificationLength);
  for (std::size_t row = 0; row < table.size(); ++row) {
    if (text == table[row]) return static_cast<CpuReply>(row + 1);
  }
  return kCpuReplyUnknown;
}

CpuReply ClassifyCpuAtBoot(DeviceHandle device) { return AskAndClassify(device, kBootCpuTable); }

CpuReply ClassifyCpuAtBurn(DeviceHandle device) { return AskAndClassify(device, kBurnCpuTable); }

}  // namespace korvex
