// The request channel: codes and buffers on the wire, one wrapper per request, the
// identification tables, and opening and closing a board's device.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "protocol/boot_config.h"
#include "device/cpu_identification.h"
#include "device/device_open.h"
#include "device/device_texts.h"
#include "device/request_channel.h"
#include "device/requests.h"
#include "recording_host.h"
#include "sim/sim_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using Lines = std::vector<std::string>;

// Keeps the code and input bytes of every request, and can fail opens and closes, to
// reach paths the board never takes.
class WireHost : public testing::RecordingHost {
 public:
  using RecordingHost::RecordingHost;
  DeviceResult DeviceIoControl(HostHandle h, std::uint32_t code, const RequestBuffer& in,
                               RequestBuffer& out) override {
    codes.push_back(code), inputs.push_back(in);
    return RecordingHost::DeviceIoControl(h, code, in, out);
  }
  HostHandle OpenDevice(std::string_view path, std::uint32_t& lastError) override {
    if (failingOpens > 0 && failingOpens--) {
      lastError = 1167;
      return kInvalidHandle;
    }
    return RecordingHost::OpenDevice(path, lastError);
  }
  bool CloseDevice(HostHandle h) override { return !failClose && RecordingHost::CloseDevice(h); }

  std::vector<std::uint32_t> codes;
  std::vector<RequestBuffer> inputs;
  int failingOpens = 0;
  bool failClose = false;
};

class DeviceRequestTest : public ::testing::Test {
 protected:
  // A fresh stage-2 board of `model`, opened as port 6, with a fresh trace.
  void Open(int model) {
    sim_.Plug(0, sim::BoardSpec{model, {}, {}, true});
    session_.device.host = &host_;
    session_.port = 6;
    session_.devicePath.Assign(sim_.SymbolicLinkOf(0));
    session_.tail = tail_.data();
    ASSERT_EQ(OpenDevice(session_), kOpenOk);
    sim_.ClearTrace(0);
    host_.codes.clear(), host_.inputs.clear();
  }
  Lines Trace() const { return sim_.TraceText(0); }

  testing::TempDir dir_;
  sim::SimHost sim_{1, dir_.path()};
  WireHost host_{sim_, dir_.path()};
  std::array<std::uint8_t, kTailAreaSize> tail_{};
  DeviceSession session_;
};

TEST_F(DeviceRequestTest, EveryWrapperSendsOneRequestWithItsNumberAndArgument) {
  Open(1);
  const DeviceHandle d = session_.device;
  BootConfig config;
  config.nandPageSize = 2048;
  const BootConfigBytes record = SerializeBootConfig(config);
  BulkWrite(d, record.data(), static_cast<std::uint32_t>(record.size()));
  EXPECT_EQ(CommitConfig(d, 1), kRequestOk);
  tail_.fill(0xAA);
  ReadStatus(session_);
  // The status fills the first eight bytes of the tail and nothing behind them.
  std::array<std::uint8_t, kTailAreaSize> status{1};
  std::fill(status.begin() + 8, status.end(), 0xAA);
  EXPECT_EQ(tail_, status);
  // A board in stage 2 has nothing left to start and refuses both; no record was
  // written just before the second commit, so that is refused.
  const std::vector<int> results = {NandOps(d, 0x2006), SetDataAddress(d, 0x80002000), SetDataLength(d, 0x12345678),
                                    FlushCaches(d),     ProgStart1(d, 0x80000000),     ProgStart2(d, 0x80900000),
                                    CommitConfig(d, 1), SystemReset(session_),         SystemReset(session_)};
  EXPECT_EQ(results, (std::vector<int>{kRequestOk, kRequestOk, kRequestOk, kRequestOk,
                                       kRequestFailed, kRequestFailed, kRequestFailed, 1, 0}));
  EXPECT_EQ(Trace(), (Lines{"write 88", "req 9 0x1", "read 8", "req 7 0x2006", "req 1 0x80002000", "req 2 0x12345678",
                            "req 3 0x0", "req 4 0x80000000 FAILED", "req 5 0x80900000 FAILED", "req 9 0x1 FAILED",
                            "req 8 0x1", "req 8 0x1 FAILED"}));
  std::vector<sim::TraceEntry> sent = sim_.Trace(0);
  std::erase_if(sent, [](const sim::TraceEntry& e) { return e.kind != sim::TraceKind::Request; });
  ASSERT_EQ(host_.codes.size(), sent.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(host_.codes[i], 0x220000u + 4u * sent[i].request) << i;
    EXPECT_EQ(host_.inputs[i], RequestInput(sent[i].argument)) << i;
  }
  // A reset board answers nothing more: the reset alone reports that as 0.
  const std::vector<int> afterReset = {SetDataAddress(d, 1), SetDataLength(d, 1), FlushCaches(d), ProgStart1(d, 1),
                                      ProgStart2(d, 1), NandOps(d, 5), CommitConfig(d, 1), ClassifyCpuAtBoot(d),
                                      ClassifyCpuAtBurn(d)};
  EXPECT_EQ(afterReset, std::vector<int>(9, -1));
  EXPECT_EQ(host_.codes.size(), 19u);
}

TEST_F(DeviceRequestTest, TheBoardsIdIsClassifiedByEachTable) {
  for (const auto& [model, boot, burn] : {std::tuple{0, 3, 3}, {1, 4, 0}, {2, 5, 5}, {3, 5, 5}}) {
    Open(model);
    EXPECT_EQ(ClassifyCpuAtBoot(session_.device), boot) << model;
    EXPECT_EQ(ClassifyCpuAtBurn(session_.device), burn) << model;
    EXPECT_EQ(Trace(), (Lines{"req 0 0x0", "req 0 0x0"}));
    EXPECT_EQ(host_.inputs.at(0), RequestBuffer{});  // no argument: all 512 bytes zero
  }
}

TEST(DeviceIdentification, ComparesTheFirstEightCharactersWholeAndCaseSensitive) {
  const std::vector<std::tuple<std::string, CpuReply, CpuReply>> cases = {
      {"QX7120V1", 1, 1}, {"QX7130V1", 2, 2}, {"Boot7120", 3, 3}, {"Boot7130", 4, 0}, {"QX7105B1", 0, 4},
      {"Boot7135", 5, 5}, {"QX7130V1-rev2", 2, 2}, {std::string("Boot7135\0\0\0", 11), 5, 5},
      {"qx7120v1", 0, 0}, {"boot7135", 0, 0}, {"Boot7136", 0, 0}, {std::string("Boot713\0", 8), 0, 0},
      {"", 0, 0}, {"QX7120V", 0, 0},
  };
  for (const auto& [text, boot, burn] : cases) {
    EXPECT_EQ(ClassifyIdentification(text, kBootCpuTable), boot) << text;
    EXPECT_EQ(ClassifyIdentification(text, kBurnCpuTable), burn) << text;
  }
}

TEST_F(DeviceRequestTest, AnOpenRetriesAndAFailingCloseKeepsTheHandle) {
  host_.failingOpens = 5;
  Open(2);  // the sixth attempt
  EXPECT_EQ(session_.lastError, 1167u);
  ASSERT_EQ(host_.MessageTexts(), Lines(5, "Invalid handle!"));
  EXPECT_EQ(host_.Messages()[4].port, 6);

  const HostHandle handle = session_.device.handle;
  host_.failClose = true;
  EXPECT_EQ(CloseDevice(session_), kCloseFailed);
  EXPECT_EQ(session_.device.handle, handle);
  host_.failClose = false;
  EXPECT_EQ(CloseDevice(session_), kCloseOk);
  EXPECT_EQ(session_.device.handle, kInvalidHandle);
  EXPECT_EQ(CloseDevice(session_), kCloseOk);  // no handle closes fine
  EXPECT_EQ(ClassifyCpuAtBoot(session_.device), kCpuReplyFailed);
  EXPECT_TRUE(Trace().empty());  // a closed handle reaches no board

  host_.ClearMessages();
  host_.failingOpens = 6;
  EXPECT_EQ(OpenDevice(session_), kOpenFailed);
  EXPECT_EQ(host_.MessageTexts(), Lines(6, "Invalid handle!"));
}

}  // namespace
}  // namespace korvex
