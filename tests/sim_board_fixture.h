#pragma once
// A virtual board already in stage 2, and one open device on it spoken to with raw
// requests and bulk transfers in the orders the station uses.

#include <optional>
#include <vector>

#include "protocol/byte_order.h"
#include "sim/sim_host.h"

namespace korvex::testing {

using Bytes = std::vector<std::uint8_t>;
inline constexpr std::uint32_t kStatusUnread = 0xDEADBEEF;

// Bytes that differ from their neighbours and from page to page.
inline Bytes Pattern(std::size_t size, std::uint8_t seed) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 29 + i / 997);
  return bytes;
}

inline sim::BoardSpec Stage2Board(std::optional<sim::ChipGeometry> geometry = std::nullopt) {
  sim::BoardSpec board;
  board.startInStage2 = true;
  board.chip.geometry = geometry;
  return board;
}

class Wire {
 public:
  Wire(sim::SimHost& sim, int port) : sim_(sim) {
    std::uint32_t error = 0;
    handle_ = sim.OpenDevice(sim.SymbolicLinkOf(port), error);
  }
  HostHandle handle() const { return handle_; }
  bool Request(std::uint32_t n, std::uint32_t argument = 0) {
    RequestBuffer in{}, reply{};
    PutLe32(in, 0, argument);
    return sim_.DeviceIoControl(handle_, 0x220000 + 4 * n, in, reply).Ok();
  }
  bool Write(const Bytes& bytes) {
    return sim_.WriteDevice(handle_, bytes.data(), static_cast<std::uint32_t>(bytes.size())).Ok();
  }
  Bytes Read(std::uint32_t count) {
    Bytes bytes(count);
    const DeviceResult read = sim_.ReadDevice(handle_, bytes.data(), count);
    if (!read.Ok()) return {};
    bytes.resize(read.bytes);
    return bytes;
  }
  std::uint32_t Status() {
    const Bytes status = Read(8);
    return status.size() == 8 ? GetLe32(status, 0) : kStatusUnread;
  }
  // A record of `page`-byte pages, 64 a block, 64 spare bytes (offsets 12, 16, 28),
  // committed; the board's status answer.
  std::uint32_t Configure(std::uint32_t page = 2048) {
    Bytes record(88, 0);
    PutLe32(record, 12, page), PutLe32(record, 16, 64), PutLe32(record, 28, 64);
    return Write(record) && Request(9, 1) ? Status() : kStatusUnread;
  }
  // Address, length, request 7 with `word`, then the status.
  std::uint32_t Operate(std::uint32_t start, std::uint32_t count, std::uint32_t word) {
    Request(1, start);
    Request(2, count);
    return Request(7, word) ? Status() : kStatusUnread;
  }
  // Data, then the program with `option`.
  std::uint32_t Program(std::uint32_t page, std::uint32_t pages, const Bytes& data,
                        std::uint32_t option = 2) {
    Write(data);
    return Operate(page, pages, option << 12 | 0x10 | 7);
  }
  // Pages of 2048 bytes; empty unless the board read them and answered status 1.
  Bytes ReadPages(std::uint32_t page, std::uint32_t pages) {
    Request(1, page);
    Request(2, pages);
    if (!Request(7, 0x2006)) return {};
    Bytes data = Read(pages * 2048);
    return Status() == 1 ? data : Bytes{};
  }

 private:
  sim::SimHost& sim_;
  HostHandle handle_ = kInvalidHandle;
};

}  // namespace korvex::testing
