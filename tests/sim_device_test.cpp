// Devices of the virtual driver and the stage-2 request protocol, driven through the
// Host methods the way the request channel drives them.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "sim_board_fixture.h"

namespace korvex::sim {
namespace {

using korvex::testing::Bytes;
using korvex::testing::Stage2Board;
using korvex::testing::Wire;
using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

class SimDevice : public ::testing::Test {
 protected:
  Wire Plug(const BoardSpec& spec = Stage2Board()) {
    sim_.Plug(0, spec);
    return Wire(sim_, 0);
  }
  SimHost sim_{1, "/nonexistent"};
};

TEST_F(SimDevice, AHandleOpensOnAPlugClosesOnceAndDiesWithItsPlugEvenAfterAReplug) {
  std::uint32_t error = 0;
  EXPECT_EQ(sim_.OpenDevice(sim_.SymbolicLinkOf(0), error), kInvalidHandle);  // nothing plugged
  EXPECT_EQ(error, 2u);
  EXPECT_FALSE(sim_.CloseDevice(4242));
  Wire old = Plug();
  ASSERT_TRUE(old.Request(0));
  sim_.Unplug(0);
  EXPECT_FALSE(old.Request(0));
  EXPECT_FALSE(old.Write(Bytes(4)));
  EXPECT_TRUE(old.Read(8).empty());
  Wire fresh = Plug();
  EXPECT_FALSE(old.Request(0));
  EXPECT_TRUE(fresh.Request(0));
  EXPECT_TRUE(sim_.CloseDevice(old.handle()));
  EXPECT_FALSE(sim_.CloseDevice(old.handle()));
  // Calls on the dead handle reach no board, so the new board's trace has only its own.
  EXPECT_EQ(sim_.TraceText(0), Lines{"req 0 0x0"});
}

TEST_F(SimDevice, UnknownRequestsAndAnyButAWholeFreshRecordAreRefused) {
  Wire wire = Plug();
  for (std::uint32_t n : {6u, 10u, 11u}) EXPECT_FALSE(wire.Request(n)) << n;
  RequestBuffer in{}, out{};
  EXPECT_EQ(sim_.DeviceIoControl(wire.handle(), 0x220001, in, out).status, DeviceStatus::kFailed);
  EXPECT_FALSE(wire.Request(7, 0x000B));  // opcode 11 exists on model 0 only

  ASSERT_TRUE(wire.Write(Bytes(87, 0)));
  EXPECT_FALSE(wire.Request(9, 1));
  ASSERT_EQ(wire.Configure(), 1u);
  EXPECT_FALSE(wire.Request(9, 1));  // the record was taken
  ASSERT_TRUE(wire.Write(Bytes(88, 0)));
  EXPECT_FALSE(wire.Request(9, 2));
  EXPECT_EQ(sim_.ConfigRecords(0).size(), 1u);
}

TEST_F(SimDevice, BulkReadsHandOutWhatIsQueuedAndNoMore) {
  Wire wire = Plug();
  ASSERT_TRUE(wire.Request(7, 0x0000));  // read ID: 8 ID bytes and 8 status bytes
  EXPECT_EQ(wire.Read(6).size(), 6u);
  EXPECT_EQ(wire.Read(100).size(), 10u);
  EXPECT_TRUE(wire.Read(1).empty());
  EXPECT_EQ(sim_.TraceText(0), (Lines{"req 7 0x0", "read 6", "read 100", "read 1 FAILED"}));
}

TEST_F(SimDevice, ResetLeavesTheBoardLinkedButDeaf) {
  Wire wire = Plug();
  EXPECT_FALSE(wire.Request(8, 0));
  ASSERT_TRUE(wire.Request(8, 1));
  EXPECT_TRUE(sim_.WasReset(0));
  EXPECT_TRUE(sim_.IsPlugged(0));
  Wire another(sim_, 0);
  ASSERT_NE(another.handle(), kInvalidHandle);
  EXPECT_FALSE(another.Request(0));
  EXPECT_FALSE(another.Write(Bytes(8)));
}

TEST_F(SimDevice, TraceRecordsEveryExchangeAndRestartsWithAPlug) {
  Wire wire = Plug();
  wire.Write(Bytes(2048, 0));
  wire.Request(1, 1024), wire.Request(2, 1), wire.Request(7, 0x2017);
  wire.Read(8);
  wire.Request(4, 0x1000);
  EXPECT_EQ(sim_.Trace(0).at(3), (TraceEntry{TraceKind::Request, 7, 0x2017, 0, true}));
  EXPECT_EQ(sim_.Trace(0).at(0), (TraceEntry{TraceKind::BulkWrite, 0, 0, 2048, true}));
  EXPECT_EQ(sim_.TraceText(0), (Lines{"write 2048", "req 1 0x400", "req 2 0x1", "req 7 0x2017",
                                      "read 8", "req 4 0x1000 FAILED"}));
  wire.Request(3);
  Plug();
  EXPECT_TRUE(sim_.Trace(0).empty());
}

// Scripted events happen at the first touch of the host once due: a pull, the same
// board back (its NAND kept, from its boot ROM, its link faults spent), and a new one.
TEST(SimLine, ScriptedEventsHappenAtTheNextTouchOnceDue) {
  SimHost sim(2, "/nonexistent");
  std::chrono::milliseconds now{0};
  sim.SetEventClock([&now] { return now; });
  SimulatedLine line;
  line.boards = 1;
  line.portFaults[0].unplugAfterExchange = 1;
  line.events = {{10ms, PlugAction::kPlug, 0}, {20ms, PlugAction::kUnplug, 0}, {20ms, PlugAction::kPlug, 1},
                 {30ms, PlugAction::kPlugNew, 0}};
  sim.StartLine(line);
  sim.WriteNand(0, 0, {0x12});
  ASSERT_TRUE(korvex::testing::Wire(sim, 0).Request(0));
  now = 15ms;
  EXPECT_FALSE(sim.IsPlugged(0)) << "the event is due, but nothing has touched the host";
  std::uint32_t number = 0;
  sim.RegQueryDword(0, "Linked", number);
  EXPECT_TRUE(sim.IsPlugged(0));
  EXPECT_EQ(sim.ReadNand(0, 0, 1), Bytes{0x12});
  EXPECT_EQ(sim.Stage(0), BoardStage::BootRom);
  korvex::testing::Wire again(sim, 0);
  EXPECT_TRUE(again.Request(0) && again.Request(0)) << "unplug-after=1 went with the first plug";
  now = 25ms;
  sim.GetLocalTime();
  EXPECT_FALSE(sim.IsPlugged(0));
  EXPECT_TRUE(sim.IsPlugged(1));
  EXPECT_TRUE(sim.EventsPending());
  now = 30ms;
  sim.Sleep(0);
  EXPECT_TRUE(sim.IsPlugged(0));
  EXPECT_EQ(sim.ReadNand(0, 0, 1), Bytes{0xFF});
  EXPECT_FALSE(sim.EventsPending());
}

// The link the boards share: transfers take turns in the order they were booked, none
// starts before it reached the board, and a link of no bandwidth costs nothing.
TEST(SimTiming, TransfersTakeTurnsOnTheSharedLinkAndNoneStartsBeforeItArrives) {
  SimTiming link;
  TimingModel model;
  model.usbBytesPerSecond = 1e6;
  link.SetModel(model);
  const SimTiming::TimePoint t0 = SimTiming::TimePoint{} + 1h;
  EXPECT_EQ(link.BookTransfer(1000, t0) - t0, 1ms);
  EXPECT_EQ(link.BookTransfer(2000, t0) - t0, 3ms) << "a second board waits for the first";
  EXPECT_EQ(link.BookTransfer(1000, t0 + 10ms) - t0, 11ms) << "an idle link starts at once";
  model.usbBytesPerSecond = 0;
  link.SetModel(model);
  EXPECT_EQ(link.BookTransfer(1000, t0 + 20ms) - t0, 20ms);
}

// The benchmark's yardstick: the same charges with nothing but the model's time. Board
// 1's second transfer arrives after board 2's first and so waits for it; a settle wait
// and a request run on the board's own clock; board 2 is plugged 1 ms late.
TEST(SimTiming, TheZeroCostScheduleServesTheLinkFirstComeFirstServed) {
  TimingModel model;
  model.usbBytesPerSecond = 1e6;         // 1000 bytes a millisecond
  model.requestRoundTripSeconds = 1e-3;
  model.pageProgramSeconds = 2e-3;
  model.pageReadSeconds = 0;
  model.blockEraseSeconds = 5e-3;
  const TimedCharge program{false, 0, {1, 0, 0}, 0};  // 1 + 2 ms
  const std::vector<std::vector<TimedCharge>> boards{
      {{true, 1000, {}, 0}, program, {true, 2000, {}, 0}, {false, 0, {}, 10}},
      {{true, 3000, {}, 0}, {false, 0, {0, 0, 1}, 0}},
  };
  // Board 1: link 0..1, request 1..4, link waits for board 2's 1..4 then 4..6, wait 6..16.
  // Board 2: plugged at 1, link 1..4, erase 4..10.
  EXPECT_NEAR(ZeroCostSeconds(model, boards, 1e-3), 16e-3, 1e-12);
  EXPECT_NEAR(ZeroCostSeconds(model, {boards[1]}), 9e-3, 1e-12);
  model.usbBytesPerSecond = 0;
  EXPECT_NEAR(ZeroCostSeconds(model, boards, 0), 13e-3, 1e-12);
  EXPECT_EQ(ZeroCostSeconds(model, {}), 0);
}

}  // namespace
}  // namespace korvex::sim
