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
  return SendRequest(device, request, argument, reply);
}

bool SendRequest(DeviceHandle device, Request request, std::uint32_t argument,
                 RequestBuffer& reply) {
  if (device.host == nullptr) return false;
  return device.host->DeviceIoControl(device.handle, RequestCode(request),
                                      RequestInput(argument), reply);
}

bool BulkWrite(DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count) {
  if (device.host == nullptr) return false;
  std::uint32_t written = 0;
  return device.host->WriteDevice(device.handle, bytes, count, written);
}

bool BulkRead(DeviceHandle device, std::uint8_t* buffer, std::uint32_t count) {
  if (device.host == nullptr) return false;
  std::uint32_t read = 0;
  return device.host->ReadDevice(device.handle, buffer, count, read);
}

}  // namespace korvex
