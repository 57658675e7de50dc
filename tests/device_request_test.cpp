// The request channel: codes and buffers on the wire, one wrapper per request, the
// identification tables, and opening and closing a board's device.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "boot/boot_config.h"
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

// Keeps the code and input bytes of every request, and can replace the board's reply
// text or fail opens and closes, to reach paths the board never takes.
class WireHost : public testing::RecordingHost {
 public:
  using RecordingHost::RecordingHost;
  bool DeviceIoControl(HostHandle h, std::uint32_t code, const RequestBuffer& in,
                       RequestBuffer& out) override {
    codes.push_back(code);
    inputs.push_back(in);
    const bool ok = RecordingHost::DeviceIoControl(h, code, in, out);
    if (ok && replyText) {
      out.fill(0);
      std::memcpy(out.data(), replyText->data(), replyText->size());
    }
    return ok;
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
  std::optional<std::string> replyText;
  int failingOpens = 0;
  bool failClose = false;
};

class DeviceRequestTest : public ::testing::Test {
 protected:
  void Open(int model) {
    sim_.Plug(0, sim::BoardSpec{model, {}, {}, true});  // already in stage 2
    session_.device.host = &host_;
    session_.port = 6;
    session_.devicePath.Assign(sim_.SymbolicLinkOf(0));
    session_.tail = tail_.data();
    ASSERT_EQ(OpenDevice(session_), kOpenOk);
    sim_.ClearTrace(0);
  }
  Lines Trace() const { return sim_.TraceText(0); }

  testing::TempDir dir_;
  sim::SimHost sim_{1, dir_.path()};
  WireHost host_{sim_, dir_.path()};
  std::array<std::uint8_t, kTailAreaSize> tail_{};
  DeviceSession session_;
};

TEST(DeviceRequestCodes, NameTableAndArgumentBytes) {
  const std::array<std::uint32_t, 10> functions{0, 1, 2, 3, 4, 5, 6, 7, 9, 10};  // 8 has no name
  const std::array<std::string_view, 10> names{
      "GET_CPU_INFO", "SET_DATA_ADDRESS", "SET_DATA_LENGTH", "FLUSH_CACHES", "PROG_START1",
      "PROG_START2",  "NOR_OPS",          "NAND_OPS",        "CONFIGRATION", "GET_NUM"};
  for (std::size_t i = 0; i < kRequestNames.size(); ++i) {
    EXPECT_EQ(kRequestNames[i].name, "QX7120_USB_IOCTL_" + std::string(names[i]));
    EXPECT_EQ(kRequestNames[i].code, 0x220000u + 4u * functions[i]);
  }
  EXPECT_EQ(RequestCode(Request::kSystemReset), 0x220020u);

  RequestBuffer expected{};
  expected[0] = 0x04;
  expected[2] = 0xD0;
  expected[3] = 0x81;
  EXPECT_EQ(RequestInput(0x81D00004), expected);
}

struct WrapperCase {
  const char* name;
  std::function<int(DeviceSession&)> call;
  const char* trace;
  int result;  // as the stage-2 board answers it
};

class DeviceWrapperTest : public DeviceRequestTest,
                          public ::testing::WithParamInterface<WrapperCase> {};

TEST_P(DeviceWrapperTest, SendsOneRequestWithItsNumberAndArgument) {
  const WrapperCase& c = GetParam();
  Open(2);
  EXPECT_EQ(c.call(session_), c.result);
  EXPECT_EQ(Trace(), Lines{c.trace});
  ASSERT_EQ(host_.codes.size(), 1u);
  const sim::TraceEntry sent = sim_.Trace(0).at(0);
  EXPECT_EQ(host_.codes[0], 0x220000u + 4u * sent.request);
  EXPECT_EQ(host_.inputs[0], RequestInput(sent.argument));
}

INSTANTIATE_TEST_SUITE_P(
    DeviceWrappers, DeviceWrapperTest,
    ::testing::Values(
        WrapperCase{"SetDataAddress", [](auto& s) { return SetDataAddress(s.device, 0x80002000); },
                    "req 1 0x80002000", kRequestOk},
        WrapperCase{"SetDataLength", [](auto& s) { return SetDataLength(s.device, 0x12345678); },
                    "req 2 0x12345678", kRequestOk},
        WrapperCase{"FlushCaches", [](auto& s) { return FlushCaches(s.device); }, "req 3 0x0",
                    kRequestOk},
        // A board in stage 2 has nothing left to start and refuses both.
        WrapperCase{"ProgStart1", [](auto& s) { return ProgStart1(s.device, 0x80000000); },
                    "req 4 0x80000000 FAILED", kRequestFailed},
        WrapperCase{"ProgStart2", [](auto& s) { return ProgStart2(s.device, 0x80900000); },
                    "req 5 0x80900000 FAILED", kRequestFailed},
        WrapperCase{"NandOps", [](auto& s) { return NandOps(s.device, 0x2006); }, "req 7 0x2006",
                    kRequestOk},
        WrapperCase{"SystemReset", [](auto& s) { return SystemReset(s); }, "req 8 0x1", kResetOk},
        // No record was written just before, so the commit is refused.
        WrapperCase{"CommitConfig", [](auto& s) { return CommitConfig(s.device, 1); },
                    "req 9 0x1 FAILED", kRequestFailed}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeviceRequestTest, AConfigurationRecordIsWrittenCommittedAndAnswered) {
  Open(2);
  BootConfig config;
  config.nandPageSize = 2048;
  const BootConfigBytes record = SerializeBootConfig(config);
  tail_.fill(0xAA);
  BulkWrite(session_.device, record.data(), static_cast<std::uint32_t>(record.size()));
  EXPECT_EQ(CommitConfig(session_.device, 1), kRequestOk);
  ReadStatus(session_);

  EXPECT_EQ(Trace(), (Lines{"write 88", "req 9 0x1", "read 8"}));
  const auto records = sim_.ConfigRecords(0);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], std::vector<std::uint8_t>(record.begin(), record.end()));
  // The status fills the first eight bytes of the tail and nothing behind them.
  std::array<std::uint8_t, kTailAreaSize> expected{1};
  std::fill(expected.begin() + 8, expected.end(), 0xAA);
  EXPECT_EQ(tail_, expected);
}

TEST_F(DeviceRequestTest, SystemResetReportsFailureAsZeroAndTheOthersAsMinusOne) {
  Open(1);
  EXPECT_EQ(SystemReset(session_), 1);
  EXPECT_EQ(SystemReset(session_), 0);  // a reset board answers nothing more
  EXPECT_EQ(SetDataAddress(session_.device, 7), -1);
  EXPECT_EQ(Trace(), (Lines{"req 8 0x1", "req 8 0x1 FAILED", "req 1 0x7 FAILED"}));
}

TEST_F(DeviceRequestTest, AnUnpluggedBoardFailsEveryRequest) {
  Open(2);
  sim_.Unplug(0);
  const DeviceHandle d = session_.device;
  const std::vector<int> results = {SetDataAddress(d, 1), SetDataLength(d, 1), FlushCaches(d),
                                    ProgStart1(d, 1),     ProgStart2(d, 1),    NandOps(d, 5),
                                    CommitConfig(d, 1),   ClassifyCpuAtBoot(d),
                                    ClassifyCpuAtBurn(d)};
  EXPECT_EQ(results, std::vector<int>(9, -1));
  EXPECT_EQ(SystemReset(session_), kResetFailed);
  EXPECT_EQ(host_.codes.size(), 10u);
}

struct BoardIdCase {
  int model;
  std::optional<std::string> reply;  // what the driver hands back instead of the board's text
  CpuReply boot;
  CpuReply burn;
};

void PrintTo(const BoardIdCase& c, std::ostream* out) {
  *out << "model " << c.model << " reply " << c.reply.value_or("(the board's)");
}

class DeviceBoardIdTest : public DeviceRequestTest,
                          public ::testing::WithParamInterface<BoardIdCase> {};

TEST_P(DeviceBoardIdTest, TheReplyIsClassifiedByEachTable) {
  const BoardIdCase& c = GetParam();
  Open(c.model);
  host_.replyText = c.reply;
  EXPECT_EQ(ClassifyCpuAtBoot(session_.device), c.boot);
  EXPECT_EQ(ClassifyCpuAtBurn(session_.device), c.burn);
  EXPECT_EQ(Trace(), (Lines{"req 0 0x0", "req 0 0x0"}));
  EXPECT_EQ(host_.inputs.at(0), RequestBuffer{});  // no argument: all 512 bytes zero
}

INSTANTIATE_TEST_SUITE_P(DeviceReplies, DeviceBoardIdTest,
                         ::testing::Values(BoardIdCase{0, std::nullopt, 3, 3},  // "Boot7120"
                                           BoardIdCase{1, std::nullopt, 4, 0},  // "Boot7130"
                                           BoardIdCase{2, std::nullopt, 5, 5},  // "Boot7135"
                                           BoardIdCase{3, std::nullopt, 5, 5},
                                           BoardIdCase{2, "QX7105B1 and more", 0, 4},
                                           BoardIdCase{2, "QX7120V1", 1, 1},
                                           BoardIdCase{2, "QX7120V", 0, 0}));

TEST(DeviceIdentification, ComparesTheFirstEightCharactersWholeAndCaseSensitive) {
  const std::vector<std::tuple<std::string, CpuReply, CpuReply>> cases = {
      {"QX7120V1", 1, 1},          {"QX7130V1", 2, 2}, {"Boot7120", 3, 3},
      {"Boot7130", 4, 0},          {"QX7105B1", 0, 4}, {"Boot7135", 5, 5},
      {"QX7130V1-rev2", 2, 2},     {std::string("Boot7135\0\0\0", 11), 5, 5},
      {"qx7120v1", 0, 0},          {"boot7135", 0, 0}, {"Boot7136", 0, 0},
      {std::string("Boot713\0", 8), 0, 0},             {"", 0, 0},
  };
  for (const auto& [text, boot, burn] : cases) {
    EXPECT_EQ(ClassifyIdentification(text, kBootCpuTable), boot) << text;
    EXPECT_EQ(ClassifyIdentification(text, kBurnCpuTable), burn) << text;
  }
}

TEST_F(DeviceRequestTest, AnOpenRetriesWithOneMessagePerFailedAttempt) {
  sim_.Plug(0, sim::BoardSpec{});
  session_.device.host = &host_;
  session_.port = 6;
  session_.devicePath.Assign(sim_.SymbolicLinkOf(0));
  host_.failingOpens = 5;
  EXPECT_EQ(OpenDevice(session_), kOpenOk);  // the sixth attempt
  EXPECT_EQ(session_.lastError, 1167u);
  ASSERT_EQ(host_.MessageTexts(), Lines(5, "Invalid handle!"));
  EXPECT_EQ(host_.Messages()[4].port, 6);

  host_.ClearMessages();
  host_.failingOpens = 6;
  EXPECT_EQ(OpenDevice(session_), kOpenFailed);
  EXPECT_EQ(host_.MessageTexts(), Lines(6, "Invalid handle!"));
}

TEST_F(DeviceRequestTest, AFailingCloseKeepsTheHandleAndNoHandleClosesFine) {
  Open(2);
  const HostHandle handle = session_.device.handle;
  host_.failClose = true;
  EXPECT_EQ(CloseDevice(session_), kCloseFailed);
  EXPECT_EQ(session_.device.handle, handle);
  host_.failClose = false;
  EXPECT_EQ(CloseDevice(session_), kCloseOk);
  EXPECT_EQ(session_.device.handle, kInvalidHandle);
  EXPECT_EQ(CloseDevice(session_), kCloseOk);
  EXPECT_EQ(ClassifyCpuAtBoot(session_.device), kCpuReplyFailed);
  EXPECT_TRUE(Trace().empty());  // a closed handle reaches no board
}

}  // namespace
}  // namespace korvex
