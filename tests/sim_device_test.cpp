// Devices of the virtual driver and the stage-2 request protocol, driven through the
// Host methods the way the request channel drives them.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "device/byte_order.h"
#include "sim/sim_host.h"

namespace korvex::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// These scenarios talk to the stage-2 firmware from the start.
BoardSpec Stage2Board() {
  BoardSpec spec;
  spec.startInStage2 = true;
  return spec;
}

// One open device, spoken to with raw requests and bulk transfers.
class Wire {
 public:
  Wire(SimHost& sim, int port) : sim_(sim) {
    std::uint32_t error = 0;
    handle_ = sim.OpenDevice(sim.SymbolicLinkOf(port), error);
  }
  HostHandle handle() const { return handle_; }
  bool Request(std::uint32_t n, std::uint32_t argument = 0, RequestBuffer* out = nullptr) {
    return RequestCode(0x220000 + 4 * n, argument, out);
  }
  bool RequestCode(std::uint32_t code, std::uint32_t argument, RequestBuffer* out = nullptr) {
    RequestBuffer in{};
    RequestBuffer reply{};
    PutLe32(in, 0, argument);
    const bool ok = sim_.DeviceIoControl(handle_, code, in, reply);
    if (out) *out = reply;
    return ok;
  }
  bool Write(const Bytes& bytes) {
    std::uint32_t written = 0;
    return sim_.WriteDevice(handle_, bytes.data(), static_cast<std::uint32_t>(bytes.size()), written);
  }
  Bytes Read(std::uint32_t count) {
    Bytes bytes(count);
    std::uint32_t read = 0;
    if (!sim_.ReadDevice(handle_, bytes.data(), count, read)) return {};
    bytes.resize(read);
    return bytes;
  }

 private:
  SimHost& sim_;
  HostHandle handle_ = kInvalidHandle;
};

Bytes Record(std::uint32_t pageSize, std::uint32_t pagesPerBlock, std::uint32_t oob) {
  Bytes record(88, 0);
  PutLe32(record, 12, pageSize);
  PutLe32(record, 16, pagesPerBlock);
  PutLe32(record, 28, oob);
  record[64] = 12;  // something outside the geometry, to see it kept
  return record;
}

TEST(SimDevice, OpensOnlyAPluggedPortsLink) {
  SimHost sim(2, "/nonexistent");
  std::uint32_t error = 0;
  EXPECT_EQ(sim.OpenDevice(sim.SymbolicLinkOf(0), error), kInvalidHandle);
  EXPECT_EQ(error, 2u);
  sim.Plug(0, Stage2Board());
  error = 0;
  EXPECT_EQ(sim.OpenDevice(sim.SymbolicLinkOf(0) + "x", error), kInvalidHandle);
  EXPECT_EQ(error, 2u);
  EXPECT_EQ(sim.OpenDevice(sim.SymbolicLinkOf(1), error), kInvalidHandle);
  const HostHandle handle = sim.OpenDevice(sim.SymbolicLinkOf(0), error);
  EXPECT_NE(handle, kInvalidHandle);
  EXPECT_TRUE(sim.CloseDevice(handle));
  EXPECT_FALSE(sim.CloseDevice(handle));
  EXPECT_FALSE(sim.CloseDevice(4242));
}

TEST(SimDevice, AHandleDiesWithItsPlugEvenAfterAReplug) {
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, Stage2Board());
  Wire old(sim, 0);
  ASSERT_TRUE(old.Request(0));
  sim.Unplug(0);
  EXPECT_FALSE(old.Request(0));
  EXPECT_FALSE(old.Write(Bytes(4)));
  EXPECT_TRUE(old.Read(8).empty());
  sim.Plug(0, Stage2Board());
  EXPECT_FALSE(old.Request(0));
  Wire fresh(sim, 0);
  EXPECT_TRUE(fresh.Request(0));
  EXPECT_TRUE(sim.CloseDevice(old.handle()));
  // Calls on the dead handle reach no board, so the new board's trace has only its own.
  EXPECT_EQ(sim.TraceText(0), std::vector<std::string>{"req 0 0x0"});
}

TEST(SimDevice, IdentificationTextDependsOnModel) {
  const std::vector<std::pair<int, std::string>> cases = {
      {0, "Boot7120"}, {1, "Boot7130"}, {2, "Boot7135"}, {3, "Boot7135"}};
  for (const auto& [model, text] : cases) {
    SimHost sim(1, "/nonexistent");
    BoardSpec spec = Stage2Board();
    spec.model = model;
    sim.Plug(0, spec);
    Wire wire(sim, 0);
    RequestBuffer out{};
    out.fill(0xAA);
    ASSERT_TRUE(wire.Request(0, 0, &out));
    EXPECT_EQ(std::string(out.begin(), out.begin() + 8), text) << model;
    EXPECT_EQ(std::count(out.begin() + 8, out.end(), 0), 504) << model;
  }
}

TEST(SimDevice, OnlyTheStage2RequestsSucceed) {
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, Stage2Board());
  Wire wire(sim, 0);
  EXPECT_TRUE(wire.Request(1, 0x100));
  EXPECT_TRUE(wire.Request(2, 3));
  EXPECT_TRUE(wire.Request(3));
  EXPECT_FALSE(wire.Request(4, 0x1000));
  EXPECT_FALSE(wire.Request(5, 0x30000000));
  EXPECT_FALSE(wire.Request(6));
  EXPECT_FALSE(wire.Request(10));
  EXPECT_FALSE(wire.Request(11));
  EXPECT_FALSE(wire.RequestCode(0x220001, 0));
  EXPECT_FALSE(wire.Request(7, 0x000B));  // opcode 11 exists on model 0 only
}

TEST(SimDevice, ConfigurationRecordSelectsTheViewAndAnswersAStatus) {
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, Stage2Board());
  Wire wire(sim, 0);
  ASSERT_TRUE(wire.Write(Bytes(87, 0)));
  EXPECT_FALSE(wire.Request(9, 1));
  const Bytes record = Record(2048, 64, 64);
  ASSERT_TRUE(wire.Write(record));
  EXPECT_FALSE(wire.Request(9, 2));
  ASSERT_TRUE(wire.Request(9, 1));
  EXPECT_EQ(wire.Read(8), (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(wire.Read(8).empty());  // nothing more queued
  EXPECT_FALSE(wire.Request(9, 1));   // the record was taken
  EXPECT_EQ(sim.ConfigRecords(0), std::vector<Bytes>{record});
}

TEST(SimDevice, BulkReadsHandOutWhatIsQueuedAndNoMore) {
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, Stage2Board());
  Wire wire(sim, 0);
  ASSERT_TRUE(wire.Request(7, 0x0000));  // read ID: 8 ID bytes and 8 status bytes
  EXPECT_EQ(wire.Read(6).size(), 6u);
  EXPECT_EQ(wire.Read(100).size(), 10u);
  EXPECT_TRUE(wire.Read(1).empty());
  EXPECT_EQ(sim.TraceText(0),
            (std::vector<std::string>{"req 7 0x0", "read 6", "read 100", "read 1 FAILED"}));
}

TEST(SimDevice, ResetLeavesTheBoardLinkedButDeaf) {
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, Stage2Board());
  Wire wire(sim, 0);
  EXPECT_FALSE(wire.Request(8, 0));
  EXPECT_FALSE(sim.WasReset(0));
  ASSERT_TRUE(wire.Request(8, 1));
  EXPECT_TRUE(sim.WasReset(0));
  EXPECT_TRUE(sim.IsPlugged(0));
  EXPECT_FALSE(wire.Request(0));
  EXPECT_FALSE(wire.Write(Bytes(8)));
  Wire another(sim, 0);
  ASSERT_NE(another.handle(), kInvalidHandle);
  EXPECT_FALSE(another.Request(0));
  EXPECT_EQ(sim.TraceText(0), (std::vector<std::string>{"req 8 0x0 FAILED", "req 8 0x1",
                                                        "req 0 0x0 FAILED", "write 8 FAILED",
                                                        "req 0 0x0 FAILED"}));
}

TEST(SimDevice, TraceRecordsEveryExchangeAndRestartsWithAPlug) {
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, Stage2Board());
  Wire wire(sim, 0);
  wire.Write(Bytes(2048, 0));
  wire.Request(1, 1024);
  wire.Request(2, 1);
  wire.Request(7, 0x2017);
  wire.Read(8);
  wire.Request(4, 0x1000);
  const std::vector<TraceEntry> trace = sim.Trace(0);
  ASSERT_EQ(trace.size(), 6u);
  EXPECT_EQ(trace[3], (TraceEntry{TraceKind::Request, 7, 0x2017, 0, true}));
  EXPECT_EQ(trace[0], (TraceEntry{TraceKind::BulkWrite, 0, 0, 2048, true}));
  EXPECT_EQ(sim.TraceText(0),
            (std::vector<std::string>{"write 2048", "req 1 0x400", "req 2 0x1", "req 7 0x2017",
                                      "read 8", "req 4 0x1000 FAILED"}));
  sim.ClearTrace(0);
  EXPECT_TRUE(sim.Trace(0).empty());
  wire.Request(3);
  sim.Plug(0, Stage2Board());
  EXPECT_TRUE(sim.Trace(0).empty());
}

TEST(SimDeviceFaults, UnplugAfterAnExchangeCompletesIt) {
  SimHost sim(1, "/nonexistent");
  BoardSpec spec = Stage2Board();
  spec.faults.unplugAfterExchange = 2;
  sim.Plug(0, spec);
  Wire wire(sim, 0);
  EXPECT_TRUE(wire.Request(1, 5));
  EXPECT_TRUE(wire.Request(2, 6));
  EXPECT_FALSE(sim.IsPlugged(0));
  EXPECT_FALSE(wire.Request(3));
  EXPECT_EQ(sim.TraceText(0), (std::vector<std::string>{"req 1 0x5", "req 2 0x6"}));
}

TEST(SimDeviceFaults, TheKthOccurrenceOfARequestFails) {
  SimHost sim(1, "/nonexistent");
  BoardSpec spec = Stage2Board();
  spec.faults.failRequest = 2;
  spec.faults.failRequestOccurrence = 2;
  sim.Plug(0, spec);
  Wire wire(sim, 0);
  EXPECT_TRUE(wire.Request(2, 1));
  EXPECT_TRUE(wire.Request(1, 1));
  EXPECT_FALSE(wire.Request(2, 2));
  EXPECT_TRUE(wire.Request(2, 3));
  EXPECT_TRUE(sim.IsPlugged(0));
}

TEST(SimDeviceFaults, AHungBoardHoldsTheCallerUntilUnplugged) {
  SimHost sim(1, "/nonexistent");
  BoardSpec spec = Stage2Board();
  spec.faults.hangAfterExchange = 1;
  sim.Plug(0, spec);
  Wire wire(sim, 0);
  ASSERT_TRUE(wire.Request(0));
  std::atomic<int> result{-1};
  std::thread worker([&] { result = wire.Request(3) ? 1 : 0; });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(result.load(), -1);  // still waiting for an answer
  EXPECT_TRUE(sim.IsPlugged(0));
  sim.Unplug(0);
  worker.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(sim.TraceText(0), (std::vector<std::string>{"req 0 0x0", "req 3 0x0 FAILED"}));
}

TEST(SimDeviceFaults, ReplacingAHungBoardAlsoWakesItsCaller) {
  SimHost sim(1, "/nonexistent");
  BoardSpec spec = Stage2Board();
  spec.faults.hangAfterExchange = 0;
  sim.Plug(0, spec);
  Wire wire(sim, 0);
  std::atomic<int> result{-1};
  std::thread worker([&] { result = wire.Write(Bytes(16)) ? 1 : 0; });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  sim.Plug(0, Stage2Board());
  worker.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_TRUE(sim.IsPlugged(0));
}

}  // namespace
}  // namespace korvex::sim
