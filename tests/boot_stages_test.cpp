// The two-stage boot against simulated boards that start in their boot ROM, with the
// placeholder home as the program folder: the exchange each board sees, the images it
// received, the waits, the record, and where each failure stops the boot.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "boot/boot_texts.h"
#include "boot/station_model.h"
#include "boot/two_stage_boot.h"
#include "recording_host.h"
#include "sim/placeholder_firmware.h"
#include "sim/placeholder_home.h"
#include "sim/sim_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

const Lines kStage1Exchange = {"req 0 0x0", "req 0 0x0", "req 1 0x80002000", "write 4096",
                               "req 4 0x80002000"};
const Lines kStage2Exchange = {"req 0 0x0", "req 1 0x80900000", "write 262144", "req 0 0x0",
                               "req 3 0x0", "req 5 0x80900000", "req 0 0x0"};
const Lines kRecordExchange = {"write 88", "req 9 0x1", "read 8"};

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// FirmwareArgs of the sample Korvex2K.cfg: cpuId, 12 MHz x 28, divider 4, UART 0,
// 115200 baud, 32-bit SDRAM with 4 banks, 13 row and 9 column bits, bus shared.
Bytes SampleArgs(std::uint32_t cpuId) {
  Bytes args = {0, 0, 0, 0, 12, 28, 4, 0, 0x00, 0xC2, 0x01, 0x00, 0, 1, 13, 9, 0, 1};
  args[0] = static_cast<std::uint8_t>(cpuId), args[1] = static_cast<std::uint8_t>(cpuId >> 8);
  args.resize(28, 0);
  return args;
}

Bytes Patched(Bytes image, const Bytes& args) {
  std::copy(args.begin(), args.end(), image.begin() + 8);
  return image;
}

class BootStages : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim::WritePlaceholderHome(dir_.path(), error)) << error;
  }
  // The station set to `model`; a board (of that model unless given) on USB port 0,
  // opened through a fresh recording host.
  void Plug(int model, std::optional<sim::BoardSpec> board = std::nullopt) {
    sim::BoardSpec spec = board.value_or(sim::BoardSpec{});
    if (!board) spec.model = model;
    sim_.Plug(0, spec);
    host_ = std::make_unique<testing::RecordingHost>(sim_, dir_.path());
    std::uint32_t error = 0;
    session_.device = {host_.get(), host_->OpenDevice(sim_.SymbolicLinkOf(0), error)};
    session_.port = 5;
    session_.cpuModel = model;
    session_.model = kCpuModels[static_cast<std::size_t>(model)];
    session_.dataBuffer = buffer_.data();
    session_.tail = tail_.data();
  }
  std::filesystem::path ModelFile(std::string_view name) const {
    return dir_.path() / session_.model.folder / name;
  }
  Bytes FileBytes(std::string_view name) const { return testing::ReadBytes(ModelFile(name)); }
  void WriteFile(std::string_view name, const Bytes& bytes) const {
    testing::WriteBytes(ModelFile(name), bytes);
  }
  void WriteConfig(const std::string& text) const {
    testing::WriteText(ModelFile(kConfig2KFileName), text);
  }
  // Bytes 60..87 (the FirmwareArgs part) of the only record the board received.
  Bytes RecordArgs() const {
    const auto records = sim_.ConfigRecords(0);
    return records.size() == 1 ? Bytes(records[0].begin() + 60, records[0].end()) : Bytes{};
  }

  testing::TempDir dir_;
  sim::SimHost sim_{1, dir_.path()};
  std::unique_ptr<testing::RecordingHost> host_;
  Bytes buffer_ = Bytes(kDataBufferSize);
  std::array<std::uint8_t, kTailAreaSize> tail_{};
  DeviceSession session_;
};

// Models 1..3 identify the board, send both images with the config's FirmwareArgs
// (QX7130V1 gives 0x7130; QX7105B1 is no table row), pause and send the record;
// model 0 sends its images unpatched without identification, pause or record.
TEST_F(BootStages, EachModelBootsBothStagesAndModelsOneToThreeGetTheirArgsAndTheRecord) {
  const Lines model0 = {"req 0 0x0", "req 1 0x80000000", "write 4096", "req 4 0x80000000", "req 0 0x0",
                        "req 1 0x81d00000", "write 262144", "req 0 0x0", "req 3 0x0", "req 5 0x81d00000"};
  for (const auto& [model, cpuIdBefore, cpuIdAfter] :
       {std::tuple{1, 0, 0x7130}, {2, 0, 0x7130}, {3, 0x7105, 0x7105}, {0, 0x7120, 0}}) {
    SCOPED_TRACE(model);
    Plug(model);
    session_.bootConfig.cpuId = cpuIdBefore;
    session_.bootConfig.bootFlag = 0x5A;
    EXPECT_EQ(Boot(session_), kBootOk);
    const bool record = model != 0;
    const Bytes args = record ? SampleArgs(cpuIdAfter) : Bytes{};  // none: images as they are
    EXPECT_EQ(sim_.TraceText(0), record ? Join({kStage1Exchange, kStage2Exchange, kRecordExchange}) : model0);
    EXPECT_EQ(host_->Sleeps(), (record ? std::vector<std::uint32_t>{1000, 500} : std::vector<std::uint32_t>{1000}));
    EXPECT_TRUE(host_->MessageTexts().empty());
    EXPECT_EQ(sim_.Stage1Image(0), Patched(FileBytes(kStage1FileName), args));
    EXPECT_EQ(sim_.Stage2Image(0), Patched(FileBytes(kStage2FileName), args));
    EXPECT_EQ(sim_.ConfigRecords(0).size(), record ? 1u : 0u);
    EXPECT_EQ(RecordArgs(), args);
  }

  // Model 0 without a device: there is nothing to say and nobody to say it to.
  sim_.ClearTrace(0);
  session_.device.handle = kInvalidHandle;
  EXPECT_EQ(Boot(session_), kBootFailed);
  EXPECT_TRUE(sim_.Trace(0).empty());
  EXPECT_TRUE(host_->MessageTexts().empty());
}

TEST_F(BootStages, ABoardAlreadyInStage2IsOnlyConfiguredAgain) {
  // The board answers Boot7120, Boot7130 or Boot7135 by its model.
  for (const auto& [boardModel, stationModel, cpuIdAfter] :
       {std::tuple{0, 1, 0x7120}, {1, 1, 0x7130}, {2, 2, 0x1234}, {3, 3, 0x1234}}) {
    SCOPED_TRACE(boardModel);
    sim::BoardSpec spec;
    spec.model = boardModel;
    spec.startInStage2 = true;
    Plug(stationModel, spec);
    session_.bootConfig.cpuId = 0x1234;
    EXPECT_EQ(Boot(session_), kBootOk);
    EXPECT_EQ(sim_.TraceText(0), Join({{"req 0 0x0"}, kRecordExchange}));
    EXPECT_EQ(host_->Sleeps(), std::vector<std::uint32_t>{500});
    EXPECT_EQ(RecordArgs(), SampleArgs(cpuIdAfter));
  }
}

TEST_F(BootStages, Stage1SizeEdges) {
  Plug(kModelQx7135);
  WriteFile(kStage1FileName, sim::MakePlaceholderFirmware(sim::FirmwareStage::Stage1, 2, 16384));
  EXPECT_EQ(Boot(session_), kBootOk);
  EXPECT_EQ(sim_.TraceText(0).at(3), "write 16384");

  // Shorter than the FirmwareArgs slot: patched as far as it goes (the ROM then refuses
  // an image without our header).
  Plug(kModelQx7130);
  Bytes shortImage(20, 0xEE);
  WriteFile(kStage1FileName, shortImage);
  EXPECT_EQ(Boot(session_), kBootFailed);
  const Bytes args = SampleArgs(0x7130);
  std::copy_n(args.begin(), 12, shortImage.begin() + 8);
  EXPECT_EQ(sim_.Stage1Image(0), shortImage);
  EXPECT_EQ(host_->MessageTexts(),
            (Lines{std::string(kTextStage1StartFailed), std::string(kTextBootFailed)}));
}

// A full-grammar Korvex2K.cfg with the given clock and spare size.
std::string Config(int extClk, int oob) {
  return "[PLL]\nEXTCLK " + std::to_string(extClk) + "\nCPUSPEED 336\nPHMDIV 4\n[SDRAM]\n"
         "BUSWIDTH 32\nBANKS 4\nROWADDR 13\nCOLADDR 9\n[NAND]\nPAGESIZE 2048\nPAGEPERBLOCK 64\n"
         "OOBSIZE " + std::to_string(oob) + "\n[END]\n";
}

TEST_F(BootStages, EachFailureStopsTheBootWithItsMessage) {
  const Lines untilStage2 = Join({kStage1Exchange, {"req 0 0x0"}});
  const auto stage2 = [this] { return ModelFile(kStage2FileName); };
  struct Case {
    std::string name;
    std::function<void()> setup;
    std::string_view message;
    Lines trace;
    bool bootFailMessage = true;  // DownloadStages failed, so Boot adds its own
  };
  const std::vector<Case> cases = {
      {"fw.bin over 16384 bytes", [this] { WriteFile(kStage1FileName, Bytes(16385, 0)); },
       kTextStage1TooLarge, {"req 0 0x0"}},
      {"fw.bin missing", [this] { std::filesystem::remove(ModelFile(kStage1FileName)); },
       kTextStage1CannotOpen, {"req 0 0x0"}},
      {"stage-1 address of model 0", [this] { session_.model.stage1Address = 0x80000000; },
       kTextStage1SetAddressFailed, {"req 0 0x0", "req 0 0x0", "req 1 0x80000000 FAILED"}},
      {"korvex.bin missing", [&] { std::filesystem::remove(stage2()); }, kTextStage2CannotOpen,
       untilStage2},
      // Were it read, the 2 MiB buffer would overflow under the sanitizers.
      {"korvex.bin over 2 MiB", [&] { std::filesystem::resize_file(stage2(), (2u << 20) + 1); },
       kTextStage2TooLarge, untilStage2},
      {"korvex.bin a folder",
       [&] { std::filesystem::remove(stage2()), std::filesystem::create_directory(stage2()); },
       kTextStage2SizeUnknown, untilStage2},
      {"EXTCLK 11: stage 1 leaves SDRAM off", [this] { WriteConfig(Config(11, 64)); },
       kTextStage2SetAddressFailed, Join({untilStage2, {"req 1 0x80900000 FAILED"}})},
      {"korvex.bin a stage-1 image",
       [this] { WriteFile(kStage2FileName, FileBytes(kStage1FileName)); }, kTextStage2StartFailed,
       Join({untilStage2, {"req 1 0x80900000", "write 4096", "req 0 0x0", "req 3 0x0",
                           "req 5 0x80900000 FAILED"}})},
      {"record refused after the download", [this] { WriteConfig(Config(12, 16)); },
       kTextCheckCfgFailed, Join({kStage1Exchange, kStage2Exchange}), false},
      {"identification fails",
       [this] {
         sim::BoardSpec spec;
         spec.faults.failRequest = 0;
         Plug(kModelQx7135, spec);
       },
       kTextReadCpuModelFailed, {"req 0 0x0 FAILED"}, false},
      {"unknown model", [this] { session_.cpuModel = 4; }, kTextCpuIdVersionError, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Plug(kModelQx7135);
    std::string error;
    std::filesystem::remove_all(dir_.path() / "7135");
    ASSERT_TRUE(sim::WritePlaceholderModelFolder(dir_.path(), kModelQx7135, error)) << error;
    c.setup();
    session_.firstBox.Clear();  // as a burn starts
    EXPECT_EQ(Boot(session_), kBootFailed);
    Lines messages{std::string(c.message)};
    if (c.bootFailMessage) messages.emplace_back(kTextBootFailed);
    EXPECT_EQ(host_->MessageTexts(), messages);
    EXPECT_EQ(session_.firstBox.View(), c.message);  // the board's record names the step that failed
    EXPECT_EQ(host_->Messages().at(0).port, 5);
    EXPECT_EQ(sim_.TraceText(0), c.trace);
  }
}

}  // namespace
}  // namespace korvex
