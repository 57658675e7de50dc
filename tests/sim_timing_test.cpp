// The simulator's optional timing model: with timing off nothing waits at all, so the
// tests run at memory speed. (What the model charges is measured by korvex_bench.)

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "protocol/byte_order.h"
#include "sim/sim_host.h"

namespace korvex::sim {
namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class TimedLine : public ::testing::Test {
 protected:
  TimedLine() {
    BoardSpec spec;
    spec.startInStage2 = true;
    spec.chip.geometry = ChipGeometry{2048, 128 * 1024, 64, 16};
    for (int port = 0; port < 2; ++port) {
      sim_.Plug(port, spec);
      std::uint32_t error = 0;
      handles_.push_back(sim_.OpenDevice(sim_.SymbolicLinkOf(port), error));
    }
  }
  // Four bulk writes of 25,000 bytes: 100 ms alone at 1 MB/s.
  void Transfer(int port) {
    const std::vector<std::uint8_t> bytes(25000, 0x5A);
    for (int i = 0; i < 4; ++i) {
      std::uint32_t written = 0;
      sim_.WriteDevice(handles_[static_cast<std::size_t>(port)], bytes.data(), 25000, written);
    }
  }
  bool Request(std::uint32_t n, std::uint32_t argument) {
    RequestBuffer in{}, out{};
    PutLe32(in, 0, argument);
    return sim_.DeviceIoControl(handles_[0], 0x220000 + 4 * n, in, out);
  }

  SimHost sim_{2, "/nonexistent"};
  std::vector<HostHandle> handles_;
};

TEST_F(TimedLine, WithTimingOffNothingWaits) {
  TimingModel model;
  model.usbBytesPerSecond = 1000;  // 100 s for the transfer, were it on
  model.requestRoundTripSeconds = 10;
  sim_.SetTimingModel(model);
  sim_.SetTimingEnabled(true);
  sim_.SetTimingEnabled(false);
  const Clock::time_point start = Clock::now();
  Transfer(0);
  ASSERT_TRUE(Request(3, 0));
  EXPECT_LT(MillisecondsSince(start), 1000.0);
}

}  // namespace
}  // namespace korvex::sim
