#include "device/request_channel.h"

#include "protocol/byte_order.h"

namespace korvex {

RequestBuffer RequestInput(std::uint32_t argument) {
  RequestBuffer in{};
  PutLe32(in, 0, argument);
  return in;
}

bool SendRequest(DeviceHandle device, Request request, std::uint32_t argument) {
  RequestBuffer reply{};
  return SendRequest(device, request, argument, reply, 0);
}

bool SendRequest(DeviceHandle device, Request request, std::uint32_t argument,
                 RequestBuffer& reply, std::uint32_t replyBytes) {
  if (device.host == nullptr) return false;
  const DeviceResult result =
      device.host->DeviceIoControl(device.handle, RequestCode(request), RequestInput(argument), reply);
  return result.Ok() && result.bytes >= replyBytes;
}

bool BulkWrite(DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count) {
  if (device.host == nullptr) return false;
  const DeviceResult result = device.host->WriteDevice(device.handle, bytes, count);
  return result.Ok() && result.bytes == count;
}

bool BulkRead(DeviceHandle device, std::uint8_t* buffer, std::uint32_t count) {
  if (device.host == nullptr) return false;
  const DeviceResult result = device.host->ReadDevice(device.handle, buffer, count);
  return result.Ok() && result.bytes == count;
}

}  // namespace korvex
