#include "device/requests.h"

#include <algorithm>

#include "device/request_channel.h"

namespace korvex {

namespace {

int Result(bool sent) { return sent ? kRequestOk : kRequestFailed; }

}  // namespace

int SetDataAddress(DeviceHandle device, std::uint32_t value) {
  return Result(SendRequest(device, Request::kSetDataAddress, value));
}

int SetDataLength(DeviceHandle device, std::uint32_t value) {
  return Result(SendRequest(device, Request::kSetDataLength, value));
}

int FlushCaches(DeviceHandle device) {
  return Result(SendRequest(device, Request::kFlushCaches, 0));
}

int ProgStart1(DeviceHandle device, std::uint32_t address) {
  return Result(SendRequest(device, Request::kProgStart1, address));
}

int ProgStart2(DeviceHandle device, std::uint32_t address) {
  return Result(SendRequest(device, Request::kProgStart2, address));
}

int NandOps(DeviceHandle device, std::uint16_t word) {
  return Result(SendRequest(device, Request::kNandOps, word));
}

int SystemReset(DeviceSession& session) {
  return SendRequest(session.device, Request::kSystemReset, 1) ? kResetOk : kResetFailed;
}

int CommitConfig(DeviceHandle device, std::uint32_t value) {
  return Result(SendRequest(device, Request::kConfiguration, value));
}

bool ReadStatus(DeviceSession& session) {
  // A status that never arrives (a board unplugged mid-write) must not pass for the
  // previous reply: a stale "next page" would let a dead board's writes look good.
  std::fill_n(session.tail, kStatusReplySize, std::uint8_t{0});
  return BulkRead(session.device, session.tail, kStatusReplySize);
}

}  // namespace korvex
