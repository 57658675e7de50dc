// The scan: claims, open failures, the worker guard, the READ checks, and the rows the
// progress message draws.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <memory>

#include "app/port_progress.h"
#include "app/port_scheduler.h"
#include "records/record_keeper.h"
#include "device/device_texts.h"
#include "recording_host.h"
#include "sim/sim_host.h"
#include "sim/sim_options.h"
#include "temp_dir.h"

namespace korvex {
namespace {

// The workers' gate: a worker counts itself in and holds its context until the test
// opens the gate. Waits block rather than spin and each has a bound, so a worker never
// started or never let go fails the test instead of hanging it.
struct WorkerGate {
  std::mutex mutex;
  std::condition_variable changed;
  bool open = true;
  std::atomic<int> started{0};

  void Set(bool isOpen) {
    std::lock_guard lock(mutex);
    open = isOpen;
    changed.notify_all();
  }
  void CountIn() {
    std::lock_guard lock(mutex);
    ++started;
    changed.notify_all();
  }
  bool WaitFor(const std::function<bool()>& done) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(30), done);
  }
} g_gate;

// Stands in for the burn: holds its context until the gate opens, then returns.
std::uint32_t HoldingWorker(void* argument) {
  auto& context = *static_cast<PortContext*>(argument);
  g_gate.CountIn();
  if (!g_gate.WaitFor([] { return g_gate.open; })) ADD_FAILURE() << "a worker was never let go";
  g_portRuns[static_cast<std::size_t>(context.settings.port)].workerRunning = false;
  return 0;
}

class PortSchedulerTest : public ::testing::Test {
 protected:
  PortSchedulerTest() : sim_(9, dir_.path()), host_(sim_, dir_.path()) {
    ResetPortRecords();
    g_gate.Set(true);
    g_gate.started = 0;
    BuildDeviceTables(host_, *tables_);
    settings_.SetImage(kLoaderBin, "/images/loader.bin", true);
  }
  ~PortSchedulerTest() override {
    g_gate.Set(true);
    sim_.JoinThreads();
  }

  testing::TempDir dir_;
  sim::SimHost sim_;
  testing::RecordingHost host_;
  std::unique_ptr<DeviceTables> tables_ = std::make_unique<DeviceTables>();
  PortScheduler scheduler_{host_, *tables_, HoldingWorker, HoldingWorker, RecordKeeper::None()};
  StationSettings settings_;
};

TEST_F(PortSchedulerTest, ClaimsLinkedBoardsInRegistryOrderAndHoldsThemUntilUnplugged) {
  sim_.Plug(4, {});
  sim_.Plug(2, {});
  StationSettings none;
  EXPECT_EQ(scheduler_.Scan(none).claimed, 0);  // no image chosen: nothing happens
  EXPECT_FALSE(PortScheduler::AnyPortInUse());

  EXPECT_EQ(scheduler_.Scan(settings_).claimed, 2);
  sim_.JoinThreads();
  EXPECT_EQ(g_gate.started, 2);
  EXPECT_EQ(g_portSlots[0].state, kPortWorkerStarted);
  EXPECT_EQ(g_portContexts[0].session.devicePath.View(), sim_.SymbolicLinkOf(2));
  EXPECT_EQ(g_portContexts[1].session.devicePath.View(), sim_.SymbolicLinkOf(4));
  EXPECT_EQ(g_portContexts[1].session.cpuModel, 2);
  EXPECT_TRUE(PortScheduler::AnyPortInUse());

  // A burned board left plugged in is not burned again.
  EXPECT_EQ(scheduler_.Scan(settings_).claimed, 0);
  sim_.Unplug(2);
  scheduler_.Scan(settings_);
  EXPECT_EQ(g_portSlots[0].state, kPortFree);
  EXPECT_EQ(g_portSlots[0].inUse, 0);
  EXPECT_EQ(g_portSlots[1].inUse, 1);
}

TEST_F(PortSchedulerTest, OpenFailureNamesTheOperatorsPortNumberAndKeepsTheClaim) {
  for (int usb = 0; usb < 5; ++usb) sim_.Plug(usb, {});
  // The fifth board's link of 80 characters is too long to read, so its open fails six
  // times with the driver's ERROR_FILE_NOT_FOUND.
  sim_.SetSymbolicLink(4, std::string(80, 'x'));
  BuildDeviceTables(host_, *tables_);
  scheduler_.Scan(settings_);

  std::vector<std::string> expected(6, "Invalid handle!");
  expected.push_back("Port 5 Boot Failed!");
  EXPECT_EQ(host_.MessageTexts(), expected);
  EXPECT_EQ(host_.Messages().at(5).caption, kMessageCaption);
  EXPECT_EQ(host_.Messages().at(5).port, 4);
  EXPECT_EQ(g_portContexts[4].session.lastError, 2u);
  EXPECT_EQ(g_portContexts[4].session.device.handle, kInvalidHandle);
  EXPECT_EQ(g_portSlots[4].state, kPortStartFailed);
  EXPECT_EQ(g_portSlots[4].inUse, 1);
  host_.ClearMessages();
  scheduler_.Scan(settings_);
  EXPECT_TRUE(host_.MessageTexts().empty());  // not retried until unplugged
}

// A timer firing inside the open's message boxes scans again: that scan does nothing.
// A worker that cannot be started leaves no open handle behind.
TEST_F(PortSchedulerTest, TheScanIsNotReenteredAndAFailedWorkerStartClosesTheDevice) {
  sim_.Plug(0, {});
  sim_.Plug(1, {});
  sim_.SetSymbolicLink(0, std::string(80, 'x'));
  BuildDeviceTables(host_, *tables_);
  std::vector<int> innerClaims;
  host_.whileMessageShows = [&] { innerClaims.push_back(scheduler_.Scan(settings_).claimed); };
  EXPECT_EQ(scheduler_.Scan(settings_).claimed, 2);
  EXPECT_EQ(innerClaims, std::vector<int>(7, 0));
  sim_.JoinThreads();
  EXPECT_EQ(g_gate.started, 1);

  host_.whileMessageShows = nullptr;
  host_.failThreads = true;
  host_.ClearMessages();
  sim_.Plug(2, {});
  const int closedBefore = host_.closedDevices;
  EXPECT_EQ(scheduler_.Scan(settings_).claimed, 1);
  EXPECT_EQ(host_.MessageTexts(), std::vector<std::string>{"Can't Create ThreadFunc0!!"});
  EXPECT_EQ(host_.closedDevices, closedBefore + 1);
  EXPECT_EQ(g_portSlots[2].state, kPortStartFailed);
}

TEST_F(PortSchedulerTest, ANewBoardWaitsWhileThePortsPreviousWorkerStillRuns) {
  g_gate.Set(false);
  sim_.Plug(0, {});
  scheduler_.Scan(settings_);
  ASSERT_TRUE(g_gate.WaitFor([] { return g_gate.started == 1; })) << "the worker never started";

  // Unplugged mid-burn: the scan frees the port, the worker has not returned yet.
  sim_.Unplug(0);
  scheduler_.Scan(settings_);
  EXPECT_EQ(g_portSlots[0].state, kPortFree);
  sim_.Plug(0, {});
  const ScanResult waiting = scheduler_.Scan(settings_);
  EXPECT_EQ(waiting.claimed, 0);
  EXPECT_EQ(waiting.postponed, 1);
  EXPECT_EQ(g_portSlots[0].inUse, 0);

  g_gate.Set(true);
  sim_.JoinThreads();
  EXPECT_EQ(scheduler_.Scan(settings_).claimed, 1);
  sim_.JoinThreads();
  EXPECT_EQ(g_gate.started, 2);
}

// `--sim 1 --sim-event 1s:unplug:1 --sim-event 1300ms:plug-new:1`: both happen between
// the scans at 0 s and 2 s, so the port is linked at every scan. The simulator's
// notifications tell the scan it holds a new board.
TEST_F(PortSchedulerTest, ABoardSwappedBetweenTwoScansIsClaimedOnceTheOldWorkerHasEnded) {
  sim::SimOptionParser parser("--sim", "--model", 8);
  std::string error;
  for (const auto& [name, value] : {std::pair{"--sim", "1"}, {"--sim-event", "1s:unplug:1"},
                                    {"--sim-event", "1300ms:plug-new:1"}}) {
    ASSERT_TRUE(parser.Read(name, value, error)) << error;
  }
  std::atomic<std::chrono::milliseconds> now{std::chrono::milliseconds(0)};
  sim_.SetEventClock([&now] { return now.load(); });
  sim_.StartLine(*parser.Finish(error));
  sim_.SetDeviceChangeHandler([this](DeviceChange change, std::string_view link) {
    scheduler_.NoteDeviceChange(change, link);
  });
  g_gate.Set(false);
  EXPECT_EQ(scheduler_.Scan(settings_).claimed, 1);
  // The claimed board's own arrival, told after the scan found it, is no new board.
  scheduler_.NoteDeviceChange(DeviceChange::kArrival, sim_.SymbolicLinkOf(0));
  now = std::chrono::milliseconds(1300);
  const ScanResult waiting = scheduler_.Scan(settings_);  // the old worker still runs
  EXPECT_EQ(waiting.claimed, 0);
  EXPECT_EQ(waiting.postponed, 1);
  EXPECT_EQ(g_portSlots[0].inUse, 1);
  g_gate.Set(true);
  sim_.JoinThreads();
  EXPECT_EQ(scheduler_.Scan(settings_).claimed, 1);
  sim_.JoinThreads();
  EXPECT_EQ(g_gate.started, 2);
  EXPECT_EQ(scheduler_.Scan(settings_).claimed, 0);  // and only once

  // Unheard, a swap between two scans goes unseen, as before.
  sim_.SetDeviceChangeHandler(nullptr);
  sim_.Unplug(0);
  sim_.Plug(0, {});
  EXPECT_EQ(scheduler_.Scan(settings_).claimed, 0);
}

TEST_F(PortSchedulerTest, ReadButtonChecksTheRangeAndPortZerosDevice) {
  EXPECT_FALSE(scheduler_.StartReadBack(settings_, 10, 10, dir_.path() / "out.bin"));
  EXPECT_FALSE(scheduler_.StartReadBack(settings_, 0, 4, dir_.path() / "out.bin"));
  EXPECT_EQ(host_.MessageTexts(), (std::vector<std::string>{"地址设置有误", "No Linked Device Find!"}));

  sim_.Plug(0, {});
  EXPECT_TRUE(scheduler_.StartReadBack(settings_, 100, 104, dir_.path() / "out.bin"));
  sim_.JoinThreads();
  EXPECT_EQ(g_portSlots[0].inUse, 0);  // the read-back does not claim the port
}

TEST(ProgressRows, MessagesDrawTheTableOfTypes) {
  ProgressRows rows;
  const struct {
    ProgressType type;
    std::int32_t port;
    std::intptr_t lParam;
    double fraction;
    const char* text;
  } steps[] = {
      {kProgressBoot, 0, 50, 0.5, "BOOT..50%"},
      {kProgressBoot, 0, 100, 100.0, "BOOT..100%"},
      {kProgressReset, 0, 0, 0.0, "0%"},
      {kProgressImage, 2, 45, 0.45, "BOOT..45%"},  // the label is shared by all rows
      {kProgressImage, 2, 99, 0.99, "BOOT..99%"},
      {kProgressRead, 7, 25, 0.25, "读取进度25%"},
      {kProgressFormat, 3, 0, 100.0, "格式化中..."},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(rows.Handle(ProgressWParam(step.type, step.port), step.lParam), step.port);
    EXPECT_DOUBLE_EQ(rows.Row(static_cast<std::size_t>(step.port)).fraction, step.fraction);
    EXPECT_EQ(rows.Row(static_cast<std::size_t>(step.port)).text, step.text);
  }
  EXPECT_EQ(rows.Handle(ProgressWParam(kProgressLabel, 1), kResBin), -1);
  rows.Handle(ProgressWParam(kProgressImage, 1), 100);
  EXPECT_EQ(rows.Row(1).text, "res.bin 100%");
  EXPECT_DOUBLE_EQ(rows.Row(1).fraction, 100.0);
}

}  // namespace
}  // namespace korvex
