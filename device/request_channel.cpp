#include "device/request_channel.h"

#include "protocol/byte_order.h"

namespace korvex {

namespace {

// Each worker burns one board on its own thread, so a count per thread is that board's.
thread_local std::uint64_t t_failedExchanges = 0;

bool Counted(bool completed) {
  if (!completed) ++t_failedExchanges;
  return completed;
}

}  // namespace

std::uint64_t FailedExchangesOnThisThread() { return t_failedExchanges; }

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
  return Counted(result.Ok() && result.bytes >= replyBytes);
}

bool BulkWrite(DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count) {
  if (device.host == nullptr) return false;
  const DeviceResult result = device.host->WriteDevice(device.handle, bytes, count);
  return Counted(result.Ok() && result.bytes == count);
}

bool BulkRead(DeviceHandle device, std::uint8_t* buffer, std::uint32_t count) {
  if (device.host == nullptr) return false;
  const DeviceResult result = device.host->ReadDevice(device.handle, buffer, count);
  return Counted(result.Ok() && result.bytes == count);
}

}  // namespace korvex
