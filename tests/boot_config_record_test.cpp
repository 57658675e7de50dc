// The configuration record: defaults, the plausibility check, what reaches a simulated
// board and when nothing does, the model folders, and the check-config report.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/boot_config.h"
#include "app/model_selection.h"
#include "boot/boot_record.h"
#include "boot/check_config.h"
#include "boot/station_model.h"
#include "protocol/byte_order.h"
#include "device/device_session.h"
#include "null_host.h"
#include "recording_host.h"
#include "sim/sim_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using Texts = std::vector<std::string>;
using Records = std::vector<std::vector<std::uint8_t>>;
using testing::WriteText;
const Texts kRecordExchange = {"write 88", "req 9 0x1", "read 8"};

std::vector<std::uint8_t> Bytes(const BootConfig& c) {
  const BootConfigBytes bytes = SerializeBootConfig(c);
  return {bytes.begin(), bytes.end()};
}

// A record that passes every check.
BootConfig PlausibleRecord() {
  BootConfig c;
  c.extClk = 12, c.cpuMult = 28, c.phmDiv = 4, c.sdramWidth = 0, c.sdramBanks = 1;
  c.nandPageSize = 2048, c.nandOobSize = 64, c.nandPagesPerBlock = 64, c.cpuId = 0x7130;
  return c;
}

BootConfig Defaults(BootConfig record = {}) {
  DeviceSession session;
  session.bootConfig = record;
  SetConfigDefaults(session);
  return session.bootConfig;
}

// Defaults and the field list.

// The byte layout itself is checked at every offset by the parser test.
TEST(SetConfigDefaults, WritesTheDefaultsAndKeepsTheRest) {
  BootConfig c;  // distinct values where the defaults leave the field alone
  c.reserved0 = 5, c.nandPageNumber = 11, c.nandOobSize = 12, c.reserved44 = 13, c.nandBchBits = 14, c.nandWpPin = 15;
  c.nandBlocksPerChip = 16, c.bootFlag = 17, c.reserved79 = 18, c.reserved80 = 19, c.reserved84 = 20;
  BootConfig e = c;  // the defaults go over fields that held something else, too
  c.nandForceErase = 1, c.nandBadBlockPage = 2, c.nandBadBlockPos = 3, c.useUart = 1, c.sdramWidth = 1;
  c.sdramIsMobile = 1;
  e.nandBusWidth = 8, e.nandRowCycles = 3, e.nandPageSize = 2048, e.nandPagesPerBlock = 64, e.nandEccPos = 6;
  e.cpuId = 0x7120, e.extClk = 12, e.cpuMult = 28, e.phmDiv = 4, e.baudRate = 57600, e.sdramBanks = 1;
  e.sdramRowAddr = 13, e.sdramColAddr = 9, e.sdramIsBusShare = 1, e.reserved0 = 0;
  EXPECT_EQ(Bytes(Defaults(c)), Bytes(e));
}

TEST(BootConfigFields, ListCoversEveryByteAtItsWireOffset) {
  BootConfig c = Defaults();
  c.nandPageSize = 0x11223344, c.reserved84 = 0xAABBCCDD;
  const BootConfigBytes bytes = SerializeBootConfig(c);
  std::size_t next = 0;
  for (const auto& f : ListBootConfigFields(c)) {
    EXPECT_EQ(f.offset, next) << f.name;
    next = f.offset + f.size;
    EXPECT_EQ(f.size == 4 ? GetLe32(bytes, f.offset) : bytes[f.offset], f.value) << f.name;
  }
  EXPECT_EQ(next, kBootConfigSize);
}

// The plausibility check.

using C = BootConfig;
using R = ConfigRule;
void Nand(C& c, std::uint32_t page, std::uint32_t spare, std::uint32_t pagesPerBlock) {
  c.nandPageSize = page, c.nandOobSize = spare, c.nandPagesPerBlock = pagesPerBlock;
}

TEST(CheckBootConfig, ReportsExactlyTheBrokenRules) {
  const struct {
    const char* name;
    void (*change)(C&);
    std::vector<R> broken;
  } cases[] = {
      {"Plausible", [](C&) {}, {}},
      {"ExtClk11", [](C& c) { c.extClk = 11, c.cpuMult = 12; }, {R::kExtClkRange}},
      {"ExtClk27", [](C& c) { c.extClk = 27, c.cpuMult = 4; }, {}},
      {"ExtClk28", [](C& c) { c.extClk = 28, c.cpuMult = 3; }, {R::kExtClkRange}},
      {"ExtClk13Mult28Gives364", [](C& c) { c.extClk = 13; }, {R::kCpuClock}},
      {"PhmDiv32", [](C& c) { c.phmDiv = 32; }, {}}, {"PhmDiv33", [](C& c) { c.phmDiv = 33; }, {R::kPhmDivLimit}},
      {"SdramWidth2", [](C& c) { c.sdramWidth = 2; }, {R::kSdramFlags}},
      {"SdramBanks2", [](C& c) { c.sdramBanks = 2; }, {R::kSdramFlags}},
      {"Page1024LargeSpare", [](C& c) { c.nandPageSize = 1024; }, {R::kSmallPageSpare}},
      {"Page512Spare16Pages32", [](C& c) { Nand(c, 512, 16, 32); }, {}},
      {"Page512Pages33", [](C& c) { Nand(c, 512, 16, 33); }, {R::kSmallPageSpare}},
      {"Page2048Spare16", [](C& c) { c.nandOobSize = 16; }, {R::kLargePageSpare}},
      {"Page2048Pages63", [](C& c) { c.nandPagesPerBlock = 63; }, {R::kLargePageSpare}},
      // Signed: a page size with the top bit set is a small page, and so on.
      {"NegativeSpareIsSmall", [](C& c) { Nand(c, 512, 0xFFFFFFFFu, 32); }, {}},
      {"NegativePagesPerBlock", [](C& c) { c.nandPagesPerBlock = 0x80000000u; }, {R::kLargePageSpare}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceSession session;
    session.bootConfig = PlausibleRecord();
    c.change(session.bootConfig);
    std::vector<R> broken;
    for (const auto& f : FindConfigRuleFailures(session.bootConfig)) broken.push_back(f.rule);
    EXPECT_EQ(broken, c.broken);
    EXPECT_EQ(CheckBootConfig(session), c.broken.empty());
  }
}

TEST(CheckRuleTexts, SayWhatIsWrong) {
  const auto texts = [](const BootConfig& c) {
    Texts found;
    for (const auto& f : FindConfigRuleFailures(c)) found.push_back(f.text);
    return found;
  };
  BootConfig c = PlausibleRecord();
  c.extClk = 11, c.phmDiv = 40, c.sdramBanks = 4;
  Nand(c, 1024, 16, 32);
  EXPECT_EQ(texts(c), (Texts{"extClk 11 is outside 12..27", "phmDiv 40 is above 32",
                          "cpuMult 28 x extClk 11 = 308 MHz is not a multiple of 12",
                          "sdramWidth 0 and sdramBanks 4 must both be 0 or 1",
                          "nandPageSize 1024 is above 512, so nandOobSize 16 and "
                          "nandPagesPerBlock 32 must be above 16 and at least 64"}));
  c = PlausibleRecord();
  c.nandPageSize = 0x80000000u;  // a negative page size is a small page, and no other rule breaks
  EXPECT_EQ(texts(c), Texts{"nandPageSize -2147483648 is below 2048, so nandOobSize 64 and "
                         "nandPagesPerBlock 64 must be at most 16 and 32"});
}

// Sending, against a simulated board with a chip of 4096-byte pages, 512 KiB blocks.

class RecordOnBoard : public ::testing::Test {
 protected:
  RecordOnBoard() : sim_(1, dir_.path()), host_(sim_, dir_.path()) {
    sim::BoardSpec board;
    board.startInStage2 = true;
    sim_.Plug(0, board);
    std::uint32_t error = 0;
    session_.device = {&host_, host_.OpenDevice(sim_.SymbolicLinkOf(0), error)};
    session_.tail = tail_.data();
    session_.cpuModel = kModelQx7135;
    session_.bootConfig = PlausibleRecord();
    session_.pageSize = 4096, session_.blockSize = 512 * 1024, session_.spareSize = 224, session_.rowCycles = 3;
  }
  ~RecordOnBoard() override { host_.CloseDevice(session_.device.handle); }

  void UseModel(int model) { session_.cpuModel = model, session_.model = kCpuModels[static_cast<std::size_t>(model)]; }
  Texts BoardTrace() const { return sim_.TraceText(0); }
  Records Received() const { return sim_.ConfigRecords(0); }
  std::filesystem::path ModelFile(int model, std::string_view name) const {
    return dir_.path() / kCpuModels[static_cast<std::size_t>(model)].folder / name;
  }
  // What Configure2K / ConfigureRealGeometry make of the plausible record for this chip.
  static BootConfig WithChip(std::uint32_t pageSize) {
    BootConfig c = PlausibleRecord();
    c.nandPageSize = pageSize, c.nandPagesPerBlock = 128, c.nandRowCycles = 3;
    c.nandOobSize = 224, c.nandBchBits = 8, c.nandBusWidth = 8;
    return c;
  }

  testing::TempDir dir_;
  sim::SimHost sim_;
  testing::RecordingHost host_;
  std::array<std::uint8_t, kTailAreaSize> tail_{};
  DeviceSession session_;
};

TEST_F(RecordOnBoard, NothingIsSentForAFailedCheckWithoutFileOrForAnUnknownModel) {
  EXPECT_EQ(Init_CFG(dir_.path() / "missing.cfg", session_), kConfigNotSent);
  const auto path = dir_.path() / "clock11.cfg";
  WriteText(path, "[PLL]\nEXTCLK 11\nCPUSPEED 132\n[SDRAM]\n[NAND]\n[END]\n");
  EXPECT_EQ(Init_CFG(path, session_), kConfigNotSent);
  session_.cpuModel = kCpuModelCount;
  EXPECT_EQ(Init_CFG(path, session_), kConfigNotSent);
  // The unknown model is reported by the parser and again by Init_CFG.
  EXPECT_EQ(host_.MessageTexts(), (Texts{"Can not open configration file!", "Init_CFG failed!", "check cfg failed!",
                                         "cpu id version error!", "cpu id version error!"}));
  EXPECT_EQ(host_.Messages()[1].caption, "Korvex");
  EXPECT_TRUE(BoardTrace().empty());
}

// Init_CFG sends by SendBootConfig: the record, the commit request and the status read.
TEST_F(RecordOnBoard, InitCfgParsesChecksAndSendsEvenAFileThatEndedEarly) {
  const auto path = dir_.path() / "noend.cfg";
  WriteText(path, "[PLL]\nEXTCLK 24\nCPUSPEED 336\n[SDRAM]\n[NAND]\nOOBSIZE 128\n");
  EXPECT_EQ(Init_CFG(path, session_), kConfigSent);
  EXPECT_EQ(BoardTrace(), kRecordExchange);
  BootConfig expected = PlausibleRecord();
  expected.extClk = 24, expected.cpuMult = 14, expected.nandOobSize = 128;
  EXPECT_EQ(Received(), Records{Bytes(expected)});
}

TEST_F(RecordOnBoard, Model0FileWithoutEndIsSentUncheckedButConfigure2KChecksIt) {
  UseModel(kModelQx7120);
  WriteText(ModelFile(kModelQx7120, kConfig2KFileName), "[NAND]\nOOBSIZE 8\n");  // fails rule 6
  SetConfigDefaults(session_);
  EXPECT_EQ(Init_CFG(ModelFile(kModelQx7120, kConfig2KFileName), session_), kConfigSent);
  EXPECT_EQ(BoardTrace(), kRecordExchange);
  EXPECT_TRUE(host_.Messages().empty());

  EXPECT_EQ(Configure2K(session_), kConfigNotSent);
  EXPECT_EQ(host_.MessageTexts(), (Texts{"check cfg failed!", "API_Init 2K Configure fail!"}));
  EXPECT_EQ(BoardTrace(), kRecordExchange);  // nothing more
}

TEST_F(RecordOnBoard, Configure2KAndRealGeometryForA4KChip) {
  for (int model : {kModelQx7130, kModelQx7135, kModelQx7105B}) {
    UseModel(model);
    session_.bootConfig = PlausibleRecord();
    EXPECT_EQ(Configure2K(session_), kConfigSent);
    EXPECT_EQ(Received().back(), Bytes(WithChip(2048)));  // 128 pages of the real 4096
    EXPECT_EQ(ConfigureRealGeometry(session_), kConfigSent);
    EXPECT_EQ(Received().back(), Bytes(WithChip(4096)));
  }
  EXPECT_EQ(Received().size(), 6u);
  EXPECT_EQ(BoardTrace().size(), 18u);
  EXPECT_TRUE(host_.Messages().empty());
}

TEST_F(RecordOnBoard, FailedSendsNameTheirStepAndNoGeometryIsRefused) {
  session_.bootConfig.phmDiv = 33;  // survives the geometry fill-in
  EXPECT_EQ(Configure2K(session_), kConfigNotSent);
  EXPECT_EQ(ConfigureRealGeometry(session_), kConfigNotSent);
  EXPECT_EQ(host_.MessageTexts(), (Texts{"check cfg failed!", "API_Init 2K Configure fail!",
                                         "check cfg failed!", "Flash original Configure fail!"}));
  session_.bootConfig = PlausibleRecord();
  session_.pageSize = 0;  // nothing to divide by
  EXPECT_EQ(Configure2K(session_), kConfigNotSent);
  EXPECT_EQ(ConfigureRealGeometry(session_), kConfigNotSent);
  EXPECT_TRUE(BoardTrace().empty());
  EXPECT_EQ(Bytes(session_.bootConfig), Bytes(PlausibleRecord()));
}

TEST_F(RecordOnBoard, Model0RealGeometryReadsTheBareNameFromTheCurrentDirectory) {
  UseModel(kModelQx7120);
  const auto work = dir_.path() / "work";
  WriteText(work / "Korvex4K.cfg", "[NAND]\nPAGESIZE 4096\nPAGEPERBLOCK 128\nOOBSIZE 128\n[END]\n");
  WriteText(ModelFile(kModelQx7120, kConfig4KFileName), "[NAND]\nOOBSIZE 99\n[END]\n");
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(work);
  const int result = ConfigureRealGeometry(session_);
  std::filesystem::current_path(saved);

  EXPECT_EQ(result, kConfigSent);
  BootConfig expected = Defaults(PlausibleRecord());
  expected.nandPageSize = 4096, expected.nandPagesPerBlock = 128, expected.nandOobSize = 128;
  EXPECT_EQ(Received(), Records{Bytes(expected)});
}

TEST_F(RecordOnBoard, ConfigureAfterBootSendsForModel0ItsFileByIs2KPage) {
  for (int model : {kModelQx7130, kModelQx7135, kModelQx7105B}) {
    session_.cpuModel = model;
    EXPECT_EQ(ConfigureAfterBoot(session_), kAfterBootOk);  // the boot sent it already
  }
  session_.cpuModel = 4;
  EXPECT_EQ(ConfigureAfterBoot(session_), kAfterBootFailed);
  UseModel(kModelQx7120);
  EXPECT_EQ(ConfigureAfterBoot(session_), kAfterBootFailed);  // no Korvex2K.cfg yet
  EXPECT_EQ(host_.MessageTexts(), (Texts{"cpu id version error!", "Init_CFG failed!"}));

  WriteText(ModelFile(kModelQx7120, kConfig2KFileName), "[NAND]\nOOBSIZE 64\n[END]\n");
  WriteText(ModelFile(kModelQx7120, kConfig4KFileName),
            "[NAND]\nPAGESIZE 4096\nPAGEPERBLOCK 128\nOOBSIZE 218\n[END]\n");
  BootConfig file2K = Defaults(), file4K = Defaults();  // the defaults under the file
  file2K.nandOobSize = 64;
  file4K.nandPageSize = 4096, file4K.nandPagesPerBlock = 128, file4K.nandOobSize = 218;
  session_.is2KPage = 1;  // as before the chip is identified
  EXPECT_EQ(ConfigureAfterBoot(session_), kAfterBootOk);
  session_.is2KPage = 0;
  EXPECT_EQ(ConfigureAfterBoot(session_), kAfterBootOk);
  session_.bootConfig = BootConfig{};
  EXPECT_EQ(Configure2K(session_), kConfigSent);
  EXPECT_EQ(Received(), (Records{Bytes(file2K), Bytes(file4K), Bytes(file2K)}));
  EXPECT_EQ(BoardTrace().size(), 9u);
}

// Model selection and its folders.

TEST(StationModelSelection, RefusesUnknownNamesAndIndexes) {
  for (const char* bad : {"", "7105", "Qx7130", "7130\\"}) EXPECT_FALSE(ParseModelName(bad)) << bad;
  EXPECT_EQ(ParseModelName("7105b"), kModelQx7105B);  // typed in any case
  SelectCpuModel(kModelQx7130);
  EXPECT_FALSE(SelectCpuModel(5));  // the index is taken, the folder stays
  DeviceSession claimed;
  ClaimModel(claimed);
  SelectCpuModel(kDefaultCpuModel);  // as the other suites expect it
  EXPECT_EQ(claimed.cpuModel, 5);
  EXPECT_EQ(claimed.model.folder, "7130");
  EXPECT_EQ(claimed.model.stage1Address, 0x80002000u);
}

// check-config: the report's key lines; station messages are collected, not shown.

TEST(CheckConfig, ReportsDiagnosticsBrokenRulesAndVerdict) {
  testing::TempDir dir;
  testing::NullHost inner;
  testing::RecordingHost host{inner, dir.path()};
  WriteText(dir.path() / "7135" / "Korvex2K.cfg", "[PLL]\nEXTCLK 12\nCPUSPEED 336\n[SDRAM]\n[NAND]\n[END]\n");
  const auto pass = FormatCheckConfigReport(RunCheckConfig(host, kCpuModels[kModelQx7135]));
  EXPECT_TRUE(pass.starts_with("verdict: PASS\nfile: ")) << pass;
  EXPECT_TRUE(pass.ends_with("check: pass\n")) << pass;

  const auto path = dir.path() / "bad.cfg";
  WriteText(path, "[PLL]\nEXTCLK 12MHz\nEXTCLK 13\nCPUSPEED 364\n[SDRAM]\n[NAND]\nPAGESIZE 2048\n");
  const std::string report = FormatCheckConfigReport(RunCheckConfig(host, kModelQx7130, path));
  const Texts keyLines = {
      "verdict: FAIL\nfile: " + path.string() + "\nmodel: 1 Qx7130 (folder 7130)\n",
      "parse: -1 (the file ended too early)\ndiagnostics:\n"
      "  line 2: value '12MHz' of EXTCLK is not a decimal number; line ignored\n"
      "  the file ended before [END]\nstation messages: none\nfields:\n",
      "\n  extClk             = 13 (0xd)\n",
      "\nrecord (88 bytes):\n  0000: 00 00 00 00 00 00 00 00 00 00 00 00 00 08 00 00\n",
      "\ncheck: fail\n  cpuMult 28 x extClk 13 = 364 MHz is not a multiple of 12\n"};
  for (const std::string& line : keyLines) {
    EXPECT_NE(report.find(line), std::string::npos) << line << "\nnot in:\n" << report;
  }
  const CheckConfigResult unknown = RunCheckConfig(host, 9, path);
  EXPECT_EQ(unknown.messages, Texts{"cpu id version error!"});
  EXPECT_NE(FormatCheckConfigReport(unknown).find("model: 9 (unknown)\n"), std::string::npos);
  EXPECT_TRUE(host.Messages().empty());
}

}  // namespace
}  // namespace korvex
