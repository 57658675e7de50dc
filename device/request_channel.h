#pragma once
// The numbered requests and bulk transfers that carry everything said to a board.
// A request is one I/O control call with 512 bytes each way; its 32-bit argument
// travels little-endian in the first four input bytes.

#include <array>
#include <cstdint>
#include <string_view>

#include "device/device_session.h"
#include "protocol/request_codes.h"
#include "host/host.h"

namespace korvex {

// The input buffer of a request: the argument in bytes 0..3, zeros behind it.
RequestBuffer RequestInput(std::uint32_t argument);

// One request; true when the driver completed it. Blocks until it has.
bool SendRequest(DeviceHandle device, Request request, std::uint32_t argument);
// The same, keeping the board's 512-byte reply (only request 0 has one): true only
// when the driver returned at least the replyBytes the caller reads of it.
bool SendRequest(DeviceHandle device, Request request, std::uint32_t argument,
                 RequestBuffer& reply, std::uint32_t replyBytes);

// One synchronous write or read of count bytes; true only when all count bytes moved.
// A failed host call, or a transfer that moved fewer bytes, means the link to the
// board can no longer be trusted: the callers end the board as a lost link.
bool BulkWrite(DeviceHandle device, const std::uint8_t* bytes, std::uint32_t count);
bool BulkRead(DeviceHandle device, std::uint8_t* buffer, std::uint32_t count);

// How many exchanges of this thread the host call itself failed, the link gone. A step
// whose result does not tell a lost link from a refusal (the boot, say) compares it
// before and after.
std::uint64_t FailedExchangesOnThisThread();

}  // namespace korvex
