// The NAND operations against a simulated stage-2 board: the exact exchanges of
// each, the words they carry and where the bytes land on the chip.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "device/device_open.h"
#include "device/device_texts.h"
#include "nand/nand_ops.h"
#include "recording_host.h"
#include "sim_board_fixture.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using Lines = std::vector<std::string>;
using testing::Bytes;
using testing::Pattern;

constexpr std::uint32_t kPage = 2048;
constexpr std::uint32_t kOob = 64;

Lines Program(const std::string& length, const std::string& start, const std::string& pages,
              const std::string& word) {
  return {"write " + length, "req 1 " + start, "req 2 " + pages, "req 7 " + word, "read 8"};
}

class NandOpsTest : public ::testing::Test {
 protected:
  // Plugs a board of `model` with a 2048+64-byte-page chip of 1024 blocks, opens it,
  // commits a record of that geometry and starts a fresh trace.
  void Open(int model, sim::BoardSpec spec = {}) {
    spec.model = model;
    spec.startInStage2 = true;
    spec.chip.geometry = sim::ChipGeometry{kPage, 64 * kPage, kOob, 1024};
    sim_.Plug(0, spec);
    session_.device.host = &host_;
    session_.port = 3;
    session_.devicePath.Assign(sim_.SymbolicLinkOf(0));
    session_.dataBuffer = buffer_.data();
    session_.tail = tail_.data();
    session_.targetEnable = targets_.data();
    EnableTargets({1});
    session_.cpuModel = model;
    session_.totalBlocks = 1024;
    ASSERT_EQ(OpenDevice(session_), kOpenOk);
    BootConfig& config = session_.bootConfig;
    config.nandPageSize = kPage, config.nandPagesPerBlock = 64, config.nandOobSize = kOob;
    ASSERT_EQ(testing::Wire(sim_, 0).Configure(kPage), 1u);
    sim_.ClearTrace(0);
  }
  // Stages `bytes` in the data buffer and programs them.
  NandResult Write(std::uint32_t start, const Bytes& bytes, std::int32_t option = kOptionNoOob) {
    std::copy(bytes.begin(), bytes.end(), buffer_.begin());
    return ProgramPages(session_, start, std::span(buffer_).first(bytes.size()), option, results_.data());
  }
  NandResult Read(std::uint32_t start, std::uint32_t length) {
    return ReadPages(session_, start, length, buffer_.data());
  }
  void EnableTargets(std::initializer_list<std::uint8_t> enable) {
    targets_.fill(0);
    std::copy(enable.begin(), enable.end(), targets_.begin());
    session_.targetCount = static_cast<std::uint8_t>(enable.size());
  }
  Lines Trace() const { return sim_.TraceText(0); }
  Bytes Nand(std::uint64_t page, std::size_t length) const {
    return sim_.ReadNand(0, page * kPage, length);
  }

  testing::TempDir dir_;
  sim::SimHost sim_{1, dir_.path()};
  testing::RecordingHost host_{sim_, dir_.path()};
  Bytes buffer_ = Bytes(kDataBufferSize, 0x5A);
  std::array<std::uint8_t, kTailAreaSize> tail_{};
  std::array<std::uint8_t, kTargetTableSize> targets_{};
  std::array<std::uint8_t, kTargetTableSize> results_{};
  DeviceSession session_;
};

TEST_F(NandOpsTest, ProgramsAskForWholePagesOfTheOptionsSize) {
  const std::vector<std::tuple<std::uint32_t, std::int32_t, const char*, const char*>> cases = {
      {5000, kOptionNoOob, "0x3", "0x2017"},  {5000, kOptionOobEcc, "0x3", "0x17"},
      {4224, kOptionOobEcc, "0x2", "0x17"},   {4225, kOptionOobNoEcc, "0x3", "0x1017"},
      {4096, kOptionNoOobModel0, "0x2", "0x3017"}, {1, kOptionNoOob, "0x1", "0x2017"},
      {2112, 15, "0x1", "0xf017"},  // any other option carries spare bytes too
  };
  for (const auto& [length, option, pages, word] : cases) {
    Open(1);
    Write(64, Pattern(length, 3), option);
    EXPECT_EQ(Trace(), Program(std::to_string(length), "0x40", pages, word)) << length;
  }
}

// A program goes out whatever the target table enables; its target field carries the
// number of targets, not an index.
TEST_F(NandOpsTest, OneMebibyteIsSentAndTheNextPageIsTheBoardsStatusNotStartPlusCount) {
  sim::BoardSpec spec;
  spec.faults.badBlocks = {16};        // pages 1024..1087
  spec.faults.programFailBlocks = {2};  // pages 128..191
  Open(3, spec);
  EnableTargets({0, 0, 0});
  results_.fill(0xEE);
  EXPECT_EQ(Write(0, Bytes(kMaxProgramLength + 1)), (NandResult{NandStatus::kRefused, 0}));
  EXPECT_TRUE(Trace().empty());
  EXPECT_EQ(results_[0], 0xEE);

  const Bytes data = Pattern(kMaxProgramLength, 6);
  // 1023, then 1088..1598: the board's next page is 1599.
  EXPECT_EQ(Write(1023, data), (NandResult{NandStatus::kOk, 1599 - 1023}));
  EXPECT_EQ(Trace(), Program("1048576", "0x3ff", "0x200", "0x2037"));
  // Only targetCount entries belong to the table.
  EXPECT_EQ((std::array{results_[0], results_[1], results_[2], results_[3]}),
            (std::array<std::uint8_t, 4>{1, 0, 0, 0xEE}));
  EXPECT_EQ(Nand(1023, kPage), Bytes(data.begin(), data.begin() + kPage));
  EXPECT_EQ(Nand(1088, data.size() - kPage), Bytes(data.begin() + kPage, data.end()));

  EXPECT_EQ(Write(128, data), (NandResult{NandStatus::kBoardFailed, 0}));
  EXPECT_EQ(results_[0], 0);
}

TEST_F(NandOpsTest, AReadOfOnePageAsksForTwoAndReadsBothWithinTheLimits) {
  Open(2);
  const Bytes pages = Pattern(2 * kPage, 8);
  sim_.WriteNand(0, 5ull * kPage, pages);
  EXPECT_EQ(Read(5, kPage), (NandResult{NandStatus::kOk, 2}));
  EXPECT_EQ(Trace(), (Lines{"req 1 0x5", "req 2 0x2", "req 7 0x2006", "read 4096", "read 8"}));
  EXPECT_EQ(Bytes(buffer_.begin(), buffer_.begin() + 2 * kPage), pages);
  EXPECT_EQ(buffer_[2 * kPage], 0x5A);

  EnableTargets({0, 0, 1});
  sim_.ClearTrace(0);
  EXPECT_EQ(Read(5, 100), (NandResult{NandStatus::kOk, 1}));
  EXPECT_EQ(Trace(), (Lines{"req 1 0x5", "req 2 0x1", "req 7 0x2026", "read 2048", "read 8"}));

  // The limits are checked before anything is sent.
  EnableTargets({1});
  sim_.ClearTrace(0);
  for (auto [start, length] : {std::pair{kMaxReadValue + 1, 0u}, {0u, kMaxReadValue + 1}}) {
    EXPECT_EQ(Read(start, length).status, NandStatus::kRefused);
  }
  EXPECT_TRUE(Trace().empty());

  EXPECT_EQ(Read(kMaxReadValue, 0).status, NandStatus::kOk);
  // The board refuses a gigabyte at once: a failed exchange, after which nothing more
  // is asked; the station never reads past its buffer.
  EXPECT_EQ(Read(0, kMaxReadValue), (NandResult{NandStatus::kLinkLost, 0}));
  EXPECT_EQ(Trace(), (Lines{"req 1 0x3ffffc18", "req 2 0x1", "req 7 0x2006", "read 2048", "read 8",
                            "req 1 0x0", "req 2 0x80000", "req 7 0x2006 FAILED"}));
}

// The ID (five bytes, or two parts on model 0) and the formats (the model's opcodes,
// the image zones left) go to the first enabled target, the erase whole to each.
TEST_F(NandOpsTest, EachOperationGoesToItsTargetsWithItsModelsWords) {
  const Lines fiveBytes = {"req 7 0x10", "read 8", "read 8"};
  const Lines twoParts = {"req 7 0x10", "read 4", "read 8", "req 7 0x19", "read 4", "read 8"};
  for (const auto& [model, mainId, extId, format, fileSystem] :
       {std::tuple{0, 0x98DA, 0x761590, "0x1a", "0x1b"}, {1, 0xECD3, 0x589551, "0x19", "0x1a"},
        {3, 0xADF1, 0x1D8000, "0x19", "0x1a"}}) {
    sim::BoardSpec spec;
    spec.chip.mainId = static_cast<std::uint16_t>(mainId), spec.chip.extId = extId;
    Open(model, spec);
    EnableTargets({0, 1, 0, 1});
    sim_.WriteNand(0, 0, Pattern(kPage, 1));
    sim_.WriteNand(0, 700ull * 64 * kPage, Pattern(kPage, 1));
    std::uint16_t readMain = 0;
    std::uint32_t readExt = 0;
    EXPECT_EQ(ReadNandId(session_, readMain, readExt).status, NandStatus::kOk);
    EXPECT_EQ(std::pair(readMain, readExt), std::pair(std::uint16_t(mainId), std::uint32_t(extId))) << model;
    EXPECT_EQ(FormatNand(session_).status, NandStatus::kOk);
    EXPECT_EQ(FormatFileSystem(session_).status, NandStatus::kOk);
    EXPECT_EQ(Nand(0, kPage), Pattern(kPage, 1));
    EXPECT_EQ(EraseChip(session_).status, NandStatus::kOk);
    EXPECT_EQ(Nand(700 * 64, kPage), Bytes(kPage, 0xFF));
    Lines trace = model == 0 ? twoParts : fiveBytes;
    trace.insert(trace.end(), {std::string("req 7 ") + format, "read 8", std::string("req 7 ") + fileSystem,
                               "read 8", "req 1 0x0", "req 2 0x400", "req 7 0x15", "read 8", "req 1 0x0",
                               "req 2 0x400", "req 7 0x35", "read 8"});
    EXPECT_EQ(Trace(), trace);
  }
  EXPECT_TRUE(host_.Messages().empty());
}

TEST_F(NandOpsTest, WithNoEnabledTargetOrAnUnknownModelNoOtherOperationTalksToTheBoard) {
  for (const int model : {2, 4, -1}) {
    const bool known = model == 2;
    Open(2);
    session_.cpuModel = model;
    if (known) EnableTargets({0, 0, 0});
    std::uint16_t mainId = 0x1111;
    std::uint32_t extId = 0x2222;
    const NandStatus expected = known ? NandStatus::kOk : NandStatus::kRefused;
    EXPECT_EQ(ReadNandId(session_, mainId, extId).status, expected);
    EXPECT_EQ(std::pair(mainId, extId), std::pair(std::uint16_t{0x1111}, std::uint32_t{0x2222}));
    EXPECT_EQ(FormatNand(session_).status, expected);
    EXPECT_EQ(FormatFileSystem(session_).status, NandStatus::kOk);
    if (known) {  // these two do not look at the model
      EXPECT_EQ(EraseChip(session_).status, NandStatus::kOk);
      EXPECT_EQ(Read(0, kPage), (NandResult{NandStatus::kOk, 0}));
    }
    EXPECT_TRUE(Trace().empty()) << model;
  }
  EXPECT_EQ(host_.MessageTexts(), Lines(6, "cpu id version error!"));
  EXPECT_EQ(host_.Messages().at(5).caption, kMessageCaption);
  EXPECT_EQ(host_.Messages().at(5).port, 3);
}

// What the timing model is charged, which the benchmark replays: every transfer's bytes
// on the shared link, every request with the NAND work it did (a free model, so
// nothing waits), and a settle wait the station sleeps on the board's thread.
TEST_F(NandOpsTest, TheTimingModelIsChargedEachTransfersBytesAndEachRequestsNandWork) {
  Open(1);
  sim_.SetTimingModel(sim::TimingModel{0, 0, 0, 0, 0});
  sim_.SetTimingEnabled(true);
  Write(64, Pattern(5000, 1));
  Read(64, kPage);
  EraseChip(session_);
  sim_.SetInstantSleep(false);
  sim_.Sleep(1);
  Lines charges;
  for (const sim::TimedCharge& charge : sim_.TimedCharges(0)) {
    const sim::NandWork& work = charge.work;
    charges.push_back(charge.bulk          ? "bulk " + std::to_string(charge.bytes)
                      : charge.waitMs > 0 ? "wait " + std::to_string(charge.waitMs)
                                          : "req " + std::to_string(work.pagesProgrammed) + "/" +
                                                std::to_string(work.pagesRead) + "/" +
                                                std::to_string(work.blocksErased));
  }
  EXPECT_EQ(charges, (Lines{"bulk 5000", "req 0/0/0", "req 0/0/0", "req 3/0/0", "bulk 8",  // program
                            "req 0/0/0", "req 0/0/0", "req 0/2/0", "bulk 4096", "bulk 8",  // read
                            "req 0/0/0", "req 0/0/0", "req 0/0/1024", "bulk 8",            // erase
                            "wait 1"}));
}

}  // namespace
}  // namespace korvex
