// The configuration record at each point of a job: defaults, the plausibility check,
// what reaches a simulated board and when nothing does, the model folders, and the
// check-config report.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "boot/boot_config.h"
#include "boot/boot_record.h"
#include "boot/check_config.h"
#include "boot/station_model.h"
#include "device/byte_order.h"
#include "device/device_session.h"
#include "null_host.h"
#include "recording_host.h"
#include "sim/sim_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using Texts = std::vector<std::string>;
using Records = std::vector<std::vector<std::uint8_t>>;
const Texts kRecordExchange = {"write 88", "req 9 0x1", "read 8"};

// Sets the station's model selection for one test and restores it afterwards.
struct StationModel {
  explicit StationModel(int model) { SelectCpuModel(model); }
  ~StationModel() { g_cpuModel.store(model_), g_modelFolder.store(folder_); }
  const int model_ = g_cpuModel.load();
  const CpuModelInfo* const folder_ = g_modelFolder.load();
};

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

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

const std::string kValidFullFile =
    "[PLL]\nEXTCLK 12\nCPUSPEED 336\nPHMDIV 4\n[SDRAM]\nBUSWIDTH 32\nBANKS 4\nROWADDR 13\n"
    "COLADDR 9\n[NAND]\nPAGESIZE 2048\nPAGEPERBLOCK 64\nOOBSIZE 64\n[END]\n";

// ---------------------------------------------------------------------------
// Defaults and the field list.

TEST(SetConfigDefaults, WritesTheDefaultColumnAndLeavesTheRest) {
  const BootConfigBytes expected = {
      0x00, 0x00, 0x00, 0x00,  0x08, 0x00, 0x00, 0x00,  // reserved, bus 8
      0x03, 0x00, 0x00, 0x00,  0x00, 0x08, 0x00, 0x00,  // row cycles 3, page 2048
      0x40, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,  // 64 pages, no force erase
      0x0B, 0x00, 0x00, 0x00,  0x0C, 0x00, 0x00, 0x00,  // page number, oob: kept
      0x06, 0x00, 0x00, 0x00,  0x00, 0x00, 0x00, 0x00,  // ecc 6, bad-block page 0
      0x00, 0x00, 0x00, 0x00,  0x0D, 0x00, 0x00, 0x00,  // bad-block pos 0, reserved: kept
      0x0E, 0x00, 0x00, 0x00,  0x0F, 0x00, 0x00, 0x00,  // bch, wp: kept
      0x10, 0x00, 0x00, 0x00,  0x20, 0x71, 0x00, 0x00,  // blocks: kept; cpuId 0x7120
      0x0C, 0x1C, 0x04, 0x00,  0x00, 0xE1, 0x00, 0x00,  // 12 MHz x 28, div 4, uart 0, 57600
      0x00, 0x01, 0x0D, 0x09,  0x00, 0x01, 0x11, 0x12,  // 32-bit, 4 banks, 13, 9, -, shared
      0x13, 0x00, 0x00, 0x00,  0x14, 0x00, 0x00, 0x00,  // bootFlag and reserved: kept
  };
  BootConfig c;
  c.reserved0 = 5, c.nandPageNumber = 11, c.nandOobSize = 12, c.reserved44 = 13;
  c.nandBchBits = 14, c.nandWpPin = 15, c.nandBlocksPerChip = 16, c.bootFlag = 17;
  c.reserved79 = 18, c.reserved80 = 19, c.reserved84 = 20, c.sdramIsMobile = 1;
  EXPECT_EQ(SerializeBootConfig(Defaults(c)), expected);
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

// ---------------------------------------------------------------------------
// The plausibility check.

struct CheckCase {
  const char* name;
  void (*change)(BootConfig&);
  std::vector<ConfigRule> broken;
};
void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class CheckRules : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckRules, ReportsExactlyTheBrokenRules) {
  DeviceSession session;
  session.bootConfig = PlausibleRecord();
  GetParam().change(session.bootConfig);
  std::vector<ConfigRule> broken;
  for (const auto& f : FindConfigRuleFailures(session.bootConfig)) broken.push_back(f.rule);
  EXPECT_EQ(broken, GetParam().broken);
  EXPECT_EQ(CheckBootConfig(session), GetParam().broken.empty());
}

using C = BootConfig;
using R = ConfigRule;
void Nand(C& c, std::uint32_t page, std::uint32_t spare, std::uint32_t pagesPerBlock) {
  c.nandPageSize = page, c.nandOobSize = spare, c.nandPagesPerBlock = pagesPerBlock;
}
const CheckCase kCheckCases[] = {
    {"Plausible", [](C&) {}, {}},
    {"ExtClk11", [](C& c) { c.extClk = 11, c.cpuMult = 12; }, {R::kExtClkRange}},
    {"ExtClk27", [](C& c) { c.extClk = 27, c.cpuMult = 4; }, {}},
    {"ExtClk28", [](C& c) { c.extClk = 28, c.cpuMult = 3; }, {R::kExtClkRange}},
    {"ExtClk13Mult28Gives364", [](C& c) { c.extClk = 13; }, {R::kCpuClock}},
    {"PhmDiv32", [](C& c) { c.phmDiv = 32; }, {}},
    {"PhmDiv33", [](C& c) { c.phmDiv = 33; }, {R::kPhmDivLimit}},
    {"SdramWidth2", [](C& c) { c.sdramWidth = 2; }, {R::kSdramFlags}},
    {"SdramBanks2", [](C& c) { c.sdramBanks = 2; }, {R::kSdramFlags}},
    {"Page1024SmallSpare", [](C& c) { Nand(c, 1024, 16, 32); }, {R::kLargePageSpare}},
    {"Page1024LargeSpare", [](C& c) { c.nandPageSize = 1024; }, {R::kSmallPageSpare}},
    {"Page512Spare16Pages32", [](C& c) { Nand(c, 512, 16, 32); }, {}},
    {"Page512Pages33", [](C& c) { Nand(c, 512, 16, 33); }, {R::kSmallPageSpare}},
    {"Page2048Spare16", [](C& c) { c.nandOobSize = 16; }, {R::kLargePageSpare}},
    {"Page2048Pages63", [](C& c) { c.nandPagesPerBlock = 63; }, {R::kLargePageSpare}},
    // Signed: a page size with the top bit set is a small page, and so on.
    {"NegativePageSizeIsSmall", [](C& c) { Nand(c, 0x80000000u, 16, 32); }, {}},
    {"NegativePageSizeLargeSpare", [](C& c) { c.nandPageSize = 0x80000000u; },
     {R::kSmallPageSpare}},
    {"NegativeSpareIsSmall", [](C& c) { Nand(c, 512, 0xFFFFFFFFu, 32); }, {}},
    {"NegativePagesPerBlock", [](C& c) { c.nandPagesPerBlock = 0x80000000u; },
     {R::kLargePageSpare}},
};
INSTANTIATE_TEST_SUITE_P(Records, CheckRules, ::testing::ValuesIn(kCheckCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CheckRuleTexts, SayWhatIsWrong) {
  BootConfig c = PlausibleRecord();
  c.extClk = 11, c.phmDiv = 40, c.sdramBanks = 4;
  Nand(c, 1024, 16, 32);
  Texts texts;
  for (const auto& f : FindConfigRuleFailures(c)) texts.push_back(f.text);
  EXPECT_EQ(texts, (Texts{"extClk 11 is outside 12..27", "phmDiv 40 is above 32",
                          "cpuMult 28 x extClk 11 = 308 MHz is not a multiple of 12",
                          "sdramWidth 0 and sdramBanks 4 must both be 0 or 1",
                          "nandPageSize 1024 is above 512, so nandOobSize 16 and "
                          "nandPagesPerBlock 32 must be above 16 and at least 64"}));
  c = PlausibleRecord();
  c.nandPageSize = 0x80000000u;
  EXPECT_EQ(FindConfigRuleFailures(c).at(0).text,
            "nandPageSize -2147483648 is below 2048, so nandOobSize 64 and "
            "nandPagesPerBlock 64 must be at most 16 and 32");
}

// ---------------------------------------------------------------------------
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
    session_.pageSize = 4096, session_.blockSize = 512 * 1024;
    session_.spareSize = 224, session_.rowCycles = 3;
  }
  ~RecordOnBoard() override { host_.CloseDevice(session_.device.handle); }

  // The fixture's StationModel restores the selection afterwards.
  void UseModel0() { session_.cpuModel = kModelQx7120, SelectCpuModel(kModelQx7120); }
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

  StationModel model_{kModelQx7135};
  testing::TempDir dir_;
  sim::SimHost sim_;
  testing::RecordingHost host_;
  std::array<std::uint8_t, kTailAreaSize> tail_{};
  DeviceSession session_;
};

TEST_F(RecordOnBoard, SendWritesTheRecordCommitsAndReadsStatusOnlyIfTheCheckPasses) {
  ASSERT_TRUE(session_.device.IsOpen());
  EXPECT_EQ(SendBootConfig(session_), kConfigSent);
  EXPECT_EQ(BoardTrace(), kRecordExchange);
  EXPECT_EQ(Received(), Records{Bytes(PlausibleRecord())});
  EXPECT_TRUE(host_.Messages().empty());

  session_.bootConfig.extClk = 13;
  EXPECT_EQ(SendBootConfig(session_), kConfigNotSent);
  EXPECT_EQ(BoardTrace(), kRecordExchange);  // nothing more
  EXPECT_EQ(host_.MessageTexts(), Texts{"check cfg failed!"});
  EXPECT_EQ(host_.Messages()[0].caption, "Korvex");
  EXPECT_EQ(session_.bootConfig.extClk, 13);  // the record keeps what failed
}

TEST_F(RecordOnBoard, InitCfgSendsNothingWithoutFileForAFailedCheckOrAnUnknownModel) {
  EXPECT_EQ(Init_CFG(dir_.path() / "missing.cfg", session_), kConfigNotSent);
  const auto path = dir_.path() / "clock11.cfg";
  WriteText(path, "[PLL]\nEXTCLK 11\nCPUSPEED 132\n[SDRAM]\n[NAND]\n[END]\n");
  for (const int model : {int{kModelQx7130}, int{kModelQx7105B}, kCpuModelCount}) {
    session_.cpuModel = model;
    EXPECT_EQ(Init_CFG(path, session_), kConfigNotSent);
  }
  // The unknown model is reported by the parser and again by Init_CFG.
  EXPECT_EQ(host_.MessageTexts(),
            (Texts{"Can not open configration file!", "Init_CFG failed!", "check cfg failed!",
                   "check cfg failed!", "cpu id version error!", "cpu id version error!"}));
  EXPECT_TRUE(BoardTrace().empty());
}

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
  UseModel0();
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
    StationModel selection(model);
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
  session_.bootConfig = PlausibleRecord();
  session_.pageSize = 0;  // nothing to divide by
  EXPECT_EQ(Configure2K(session_), kConfigNotSent);
  EXPECT_EQ(ConfigureRealGeometry(session_), kConfigNotSent);
  EXPECT_EQ(host_.MessageTexts(),
            (Texts{"check cfg failed!", "API_Init 2K Configure fail!", "check cfg failed!",
                   "Flash original Configure fail!", "check cfg failed!",
                   "API_Init 2K Configure fail!", "check cfg failed!",
                   "Flash original Configure fail!"}));
  EXPECT_TRUE(BoardTrace().empty());
  EXPECT_EQ(Bytes(session_.bootConfig), Bytes(PlausibleRecord()));
}

TEST_F(RecordOnBoard, Model0RealGeometryReadsTheBareNameFromTheCurrentDirectory) {
  UseModel0();
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

TEST_F(RecordOnBoard, Model0ConfigureAfterBootPicksItsFileByIs2KPageAndConfigure2KThe2KOne) {
  UseModel0();
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

TEST_F(RecordOnBoard, ConfigureAfterBootOtherCases) {
  for (int model : {kModelQx7130, kModelQx7135, kModelQx7105B}) {
    session_.cpuModel = model;
    EXPECT_EQ(ConfigureAfterBoot(session_), kAfterBootOk);  // the boot sent it already
  }
  session_.cpuModel = 4;
  EXPECT_EQ(ConfigureAfterBoot(session_), kAfterBootFailed);
  UseModel0();
  EXPECT_EQ(ConfigureAfterBoot(session_), kAfterBootFailed);  // no Korvex2K.cfg
  EXPECT_EQ(host_.MessageTexts(), (Texts{"cpu id version error!", "Init_CFG failed!"}));
  EXPECT_TRUE(BoardTrace().empty());
}

// ---------------------------------------------------------------------------
// Model selection and its folders.

TEST(StationModelSelection, NamesFoldersAndPaths) {
  const char* combo[] = {"Qx7105\\Qx7120", "Qx7130", "Qx7135", "Qx7105B"};
  const char* folder[] = {"7120", "7130", "7135", "7105B"};
  for (int i = 0; i < kCpuModelCount; ++i) {
    EXPECT_EQ(FindCpuModel(i)->comboText, combo[i]);
    EXPECT_EQ(FindCpuModel(i)->folder, folder[i]);
    EXPECT_EQ(ParseModelName(folder[i]), i);
  }
  for (const char* bad : {"", "7105", "7105b", "Qx7130", "7130\\"}) {
    EXPECT_EQ(ParseModelName(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(FindCpuModel(4), nullptr);

  testing::TempDir dir;
  testing::NullHost inner;
  testing::RecordingHost host(inner, dir.path());
  StationModel selection(kModelQx7130);
  EXPECT_EQ(ModelFilePath(host, "fw.bin"), dir.path() / "7130" / "fw.bin");
  EXPECT_FALSE(SelectCpuModel(5));  // the index is taken, the folder stays
  EXPECT_EQ(g_cpuModel.load(), 5);
  EXPECT_EQ(ModelFilePath(host, "fw.bin"), dir.path() / "7130" / "fw.bin");
  EXPECT_TRUE(SelectCpuModel(kModelQx7105B));
  EXPECT_EQ(ModelFilePath(host, kConfig4KFileName), dir.path() / "7105B" / "Korvex4K.cfg");
}

// ---------------------------------------------------------------------------
// check-config.

bool Has(const std::string& report, const std::string& part) {
  return report.find(part) != std::string::npos;
}

class CheckConfig : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  testing::NullHost inner_;
  testing::RecordingHost host_{inner_, dir_.path()};
};

TEST_F(CheckConfig, PassingFileReportsFieldsBytesAndVerdict) {
  WriteText(dir_.path() / "7135" / "Korvex2K.cfg", kValidFullFile);
  const CheckConfigResult result = RunCheckConfig(host_, kCpuModels[kModelQx7135]);
  EXPECT_TRUE(result.Passed());
  const std::string report = FormatCheckConfigReport(result);
  EXPECT_EQ(report.rfind("file: " + (dir_.path() / "7135" / "Korvex2K.cfg").string() + "\n"
                         "model: 2 Qx7135 (folder 7135)\n"
                         "parse: 1 ([END] reached)\n"
                         "diagnostics: none\n"
                         "station messages: none\n"
                         "fields:\n"
                         "  reserved0          = 0 (0x0)\n",
                         0),
            0u)
      << report;
  EXPECT_TRUE(Has(report, "\n  nandPagesPerBlock  = 64 (0x40)\n")) << report;
  EXPECT_TRUE(Has(report, "\n  cpuMult            = 28 (0x1c)\n")) << report;
  EXPECT_TRUE(Has(report,
                  "record (88 bytes):\n"
                  "  0000: 00 00 00 00 00 00 00 00 00 00 00 00 00 08 00 00\n"
                  "  0010: 40 00 00 00 00 00 00 00 00 00 00 00 40 00 00 00\n"
                  "  0020: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
                  "  0030: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\n"
                  "  0040: 0c 1c 04 00 00 00 00 00 00 01 0d 09 00 00 00 00\n"
                  "  0050: 00 00 00 00 00 00 00 00\n"
                  "sdramBytes: 16777216 (0x1000000)\n"
                  "check: pass\n"
                  "verdict: PASS\n"))
      << report;
}

TEST_F(CheckConfig, FailingFileListsRejectedLinesAndBrokenRules) {
  const auto path = dir_.path() / "bad.cfg";
  WriteText(path, "[PLL]\nEXTCLK 12MHz\nEXTCLK 13\nCPUSPEED 364\n[SDRAM]\n[NAND]\nPAGESIZE 2048\n");
  const CheckConfigResult result = RunCheckConfig(host_, kModelQx7130, path);
  EXPECT_FALSE(result.Passed());
  const std::string report = FormatCheckConfigReport(result);
  EXPECT_TRUE(Has(report,
                  "parse: -1 (the file ended too early)\n"
                  "diagnostics:\n"
                  "  line 2: value '12MHz' of EXTCLK is not a decimal number; line ignored\n"
                  "  the file ended before [END]\n"
                  "station messages: none\n"))
      << report;
  EXPECT_TRUE(Has(report,
                  "sdramBytes: 0 (0x0)\n"
                  "check: fail\n"
                  "  cpuMult 28 x extClk 13 = 364 MHz is not a multiple of 12\n"
                  "  nandPageSize 2048 is above 512, so nandOobSize 0 and nandPagesPerBlock 0 "
                  "must be above 16 and at least 64\n"
                  "verdict: FAIL\n"))
      << report;
}

TEST_F(CheckConfig, StationMessagesAreCollectedNotShown) {
  const CheckConfigResult missing = RunCheckConfig(host_, kCpuModels[kModelQx7105B]);
  EXPECT_EQ(missing.path, dir_.path() / "7105B" / "Korvex2K.cfg");
  EXPECT_EQ(missing.parseResult, kParseCannotOpen);
  EXPECT_TRUE(Has(FormatCheckConfigReport(missing),
                  "station messages:\n  Can not open configration file!\n"));
  const CheckConfigResult unknown = RunCheckConfig(host_, 9, dir_.path() / "x.cfg");
  EXPECT_EQ(unknown.messages, Texts{"cpu id version error!"});
  EXPECT_TRUE(Has(FormatCheckConfigReport(unknown), "model: 9 (unknown)\n"));
  EXPECT_FALSE(missing.Passed() || unknown.Passed());
  EXPECT_TRUE(host_.Messages().empty());
}

TEST_F(CheckConfig, Model0ReadsOnlyNandOverTheDefaults) {
  WriteText(dir_.path() / "7120" / "Korvex2K.cfg", "[PLL]\nEXTCLK 24\n[NAND]\nOOBSIZE 64\n[END]\n");
  const CheckConfigResult result = RunCheckConfig(host_, kCpuModels[kModelQx7120]);
  EXPECT_TRUE(result.Passed());
  BootConfig expected = Defaults();
  expected.nandOobSize = 64;
  EXPECT_EQ(Bytes(result.config), Bytes(expected));
  EXPECT_EQ(result.sdramBytes, 0u);
}

}  // namespace
}  // namespace korvex
