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
  return SendRequest(device, request, argument, reply);
}

bool SendRequest(DeviceHandle device, Request request, std::uint32_t argument,
                 RequestBuffer& reply) {
  if (device.host == nullptr) return false;
  return Counted(device.host->DeviceIoControl(device.handle, RequestCode(request),
                                              RequestInput(argument), reply));
}

bool BulkWrite(DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count) {
  if (device.host == nullptr) return false;
  std::uint32_t written = 0;
  return Counted(device.host->WriteDevice(device.handle, bytes, count, written));
}

bool BulkRead(DeviceHandle device, std::uint8_t* buffer, std::uint32_t count) {
  if (device.host == nullptr) return false;
  std::uint32_t read = 0;
  return Counted(device.host->ReadDevice(device.handle, buffer, count, read));
}

}  // namespace korvex
