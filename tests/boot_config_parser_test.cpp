// Reading Korvex2K.cfg / Korvex4K.cfg into the record: both grammars, the line reader
// with its 99-character pieces, the file structure and the lines we reject.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "protocol/boot_config.h"
#include "boot/boot_config_parser.h"
#include "boot/boot_texts.h"
#include "boot/station_model.h"
#include "device/device_session.h"
#include "null_host.h"
#include "recording_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using Texts = std::vector<std::string>;

// A distinct value in every field, so that a test sees any field changed by mistake.
BootConfig DistinctRecord() {
  BootConfig c;
  c.reserved0 = 0xA0, c.nandBusWidth = 0xA1, c.nandRowCycles = 0xA2, c.nandPageSize = 0xA3, c.nandPagesPerBlock = 0xA4;
  c.nandForceErase = 0xA5, c.nandPageNumber = 0xA6, c.nandOobSize = 0xA7, c.nandEccPos = 0xA8, c.reserved84 = 0xBE;
  c.nandBadBlockPage = 0xA9, c.nandBadBlockPos = 0xAA, c.reserved44 = 0xAB, c.nandBchBits = 0xAC, c.nandWpPin = 0xAD;
  c.nandBlocksPerChip = 0xAE, c.cpuId = 0x7130, c.extClk = 24, c.cpuMult = 0xB1, c.phmDiv = 0xB2, c.useUart = 0xB3;
  c.baudRate = 0xB4, c.sdramWidth = 0xB5, c.sdramBanks = 0xB6, c.sdramRowAddr = 0xB7, c.sdramColAddr = 0xB8;
  c.sdramIsMobile = 0xB9, c.sdramIsBusShare = 0xBA, c.bootFlag = 0xBB, c.reserved79 = 0xBC, c.reserved80 = 0xBD;
  return c;
}

std::string FullFile(const std::string& pll, const std::string& sdram, const std::string& nand) {
  return "[PLL]\n" + pll + "[SDRAM]\n" + sdram + "[NAND]\n" + nand + "[END]\n";
}

class ConfigParser : public ::testing::Test {
 protected:
  ConfigParser() : host_(inner_, dir_.path()) {
    session_.device.host = &host_;
    session_.port = 3;
    session_.cpuModel = kModelQx7135;
    session_.bootConfig = DistinctRecord();
    session_.sdramBytes = 0x1234;
  }
  void Reset() { session_.bootConfig = DistinctRecord(), notes_.clear(), host_.ClearMessages(); }
  std::filesystem::path Write(const std::string& text) {
    const std::filesystem::path path = dir_.path() / "Korvex2K.cfg";
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  int Full(const std::string& text) { return ParseFullConfig(Write(text), session_, &notes_); }
  int NandOnly(const std::string& text) { return ParseNandConfig(Write(text), session_, &notes_); }
  Texts Notes() const {
    Texts texts;
    for (const auto& d : notes_) texts.push_back(d.text);
    return texts;
  }
  void ExpectRecord(const BootConfig& expected) const {
    EXPECT_EQ(SerializeBootConfig(session_.bootConfig), SerializeBootConfig(expected));
  }

  testing::TempDir dir_;
  testing::NullHost inner_;
  testing::RecordingHost host_;
  DeviceSession session_;
  ConfigDiagnostics notes_;
};

// A realistic file gives every key's field at its offset of the 88 bytes; the fields no
// key sets keep their distinct values.
TEST_F(ConfigParser, RealisticFullFileGivesEveryByteOfTheRecord) {
  const std::string file =
      "; Korvex2K.cfg of a Qx7135 board\n[PLL]\nEXTCLK 12        ; crystal in MHz\n"
      "CPUSPEED 336\nPHMDIV 3\nBOUDRATE 115200\nUSEUART 1\n"
      "[SDRAM]\nBUSWIDTH 16\nSDRAMWIDTH 16\nBANKS 4\nROWADDR 12\nCOLADDR 8\nISMOBILE 1\n"
      "ISBUSSHARE 0\n[NAND]\nBUSWIDTH 8\nROWCYCLES 3\nPAGESIZE 2048\nPAGEPERBLOCK 64\n"
      "FORCEERASE 1\nPLANENUM 2\nOOBSIZE 64\nECCPOS 4\nBADBLACKPOS 5\nBADBLACKPAGE 63\n"
      "BCHBIT 8\nWPPIN 17\nBLOCKPERCHIP 4096\n[END]\n"
      "PAGESIZE 4096 ; after the end: never read\n";
  ASSERT_EQ(Full(file), kParseOk);
  const BootConfigBytes expected = {
      0xA0, 0x00, 0x00, 0x00,  0x08, 0x00, 0x00, 0x00,  // reserved: kept, nandBusWidth
      0x03, 0x00, 0x00, 0x00,  0x00, 0x08, 0x00, 0x00,  // rowCycles, pageSize 2048
      0x40, 0x00, 0x00, 0x00,  0x01, 0x00, 0x00, 0x00,  // pagesPerBlock, forceErase
      0x02, 0x00, 0x00, 0x00,  0x40, 0x00, 0x00, 0x00,  // planes, oob 64
      0x04, 0x00, 0x00, 0x00,  0x3F, 0x00, 0x00, 0x00,  // eccPos, badBlockPage 63
      0x05, 0x00, 0x00, 0x00,  0xAB, 0x00, 0x00, 0x00,  // badBlockPos, reserved: kept
      0x08, 0x00, 0x00, 0x00,  0x11, 0x00, 0x00, 0x00,  // bch, wp pin 17
      0x00, 0x10, 0x00, 0x00,  0x30, 0x71, 0x00, 0x00,  // blocks 4096, cpuId 0x7130
      0x0C, 0x1C, 0x03, 0x01,  0x00, 0xC2, 0x01, 0x00,  // clk 12, mult 28, div, uart, 115200
      0x01, 0x01, 0x0C, 0x08,  0x01, 0x00, 0xBB, 0xBC,  // 16-bit, 4 banks, 12, 8, mobile; kept
      0xBD, 0x00, 0x00, 0x00,  0xBE, 0x00, 0x00, 0x00,  // kept
  };
  EXPECT_EQ(SerializeBootConfig(session_.bootConfig), expected);
  EXPECT_EQ(session_.sdramBytes, 0x1000000u);
  EXPECT_TRUE(host_.Messages().empty());
  EXPECT_TRUE(notes_.empty());
}

// One file at a time: what it changes, that it changes nothing else, and what it notes.

using C = BootConfig;

TEST_F(ConfigParser, FullGrammarChangesExactlyItsFieldsAndNotesWhatItSkips) {
  const std::string tooLong = ": longer than 99 characters; the rest is read as a line of its own";
  const std::string longComment = ";" + std::string(250, '-') + "\n";  // three pieces
  const struct {
    const char* name;
    std::string pll, sdram, nand;
    void (*change)(C&);  // on the distinct record; null: no change
    Texts notes{};
  } cases[] = {
      // CPUSPEED before EXTCLK divides by the record's clock: 336 / 24.
      {"CpuSpeedBeforeExtClk", "CPUSPEED 336\nEXTCLK 12\n", "", "", [](C& c) { c.cpuMult = 14, c.extClk = 12; }},
      {"ExtClk300Gives44", "EXTCLK 300\nCPUSPEED 440\n", "", "", [](C& c) { c.extClk = 44, c.cpuMult = 10; }},
      {"CpuMultKeepsLow8Bits", "EXTCLK 1\nCPUSPEED 300\n", "", "", [](C& c) { c.extClk = 1, c.cpuMult = 44; }},
      // EXTCLK 256 keeps its low 8 bits, and a clock of 0 gives no multiplier.
      {"CpuSpeedWhileExtClkIs0", "EXTCLK 256\nCPUSPEED 336\nEXTCLK 12\nCPUSPEED 336\n", "", "",
       [](C& c) { c.extClk = 12, c.cpuMult = 28; },
       {"line 3: CPUSPEED 336 cannot be turned into a multiplier while extClk is 0 (give EXTCLK first); "
        "line ignored"}},
      {"SdramBus32AndBanks2GiveZero", "", "BUSWIDTH 32\nBANKS 2\n", "",
       [](C& c) { c.sdramWidth = 0, c.sdramBanks = 0; }},  // other values give 1
      // [END] in a comment is no marker; blanks, tabs and words around the value.
      {"LaterLineWins", "", "", "; [END]\nPAGESIZE 512\nPAGESIZE\t \t4096\tbytes\n",
       [](C& c) { c.nandPageSize = 4096; }},
      {"KeyFoundAnywhereInTheLine", "MY_EXTCLK 13\n", "", "", [](C& c) { c.extClk = 13; }},
      // PAGESIZE comes before OOBSIZE in the search order, so it takes OOBSIZE's value.
      {"FirstKeyInTableOrderWins", "", "", "OOBSIZE 64 PAGESIZE\n", [](C& c) { c.nandPageSize = 64; }},
      {"NoKeysHere", "", "SDRAMWIDTH 32\n",
       "PAGENUMBER 7\nSPARESIZE 16\nLAST_ONE 5\npagesize 4096\n; PAGESIZE 4096\nX ; OOBSIZE 16\n",
       nullptr},
      {"KeysOfOtherSectionsIgnored", "PAGESIZE 4096\nBUSWIDTH 16\n", "EXTCLK 13\n",
       "CPUSPEED 100\nBANKS 4\n", nullptr},
      // A line is read in pieces of 99 characters; one long line is reported once.
      {"PieceOf99ThenALine", "", "", ";" + std::string(98, '-') + "PAGESIZE 4096\n",
       [](C& c) { c.nandPageSize = 4096; }, {"line 4" + tooLong}},
      {"LongComments", longComment, "", longComment, nullptr, {"line 2" + tooLong, "line 5" + tooLong}},
      {"PieceEndsIn40", "", "", "PAGESIZE" + std::string(89, ' ') + "4096\nOOBSIZE 64\n",
       [](C& c) { c.nandPageSize = 40, c.nandOobSize = 64; }, {"line 4" + tooLong}},
      // 99 characters and their line end, LF or CR LF, are one piece: the next line keeps its number.
      {"LinesOf99", "", "",
       "PAGESIZE 4096 " + std::string(85, 'x') + "\nPAGEPERBLOCK 128 " + std::string(82, 'x') +
           "\r\nOOBSIZE 64B\r\n",
       [](C& c) { c.nandPageSize = 4096, c.nandPagesPerBlock = 128; },
       {"line 6: value '64B' of OOBSIZE is not a decimal number; line ignored"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    BootConfig expected = DistinctRecord();
    if (c.change) c.change(expected);
    ASSERT_EQ(Full(FullFile(c.pll, c.sdram, c.nand)), kParseOk);
    ExpectRecord(expected);
    EXPECT_TRUE(host_.Messages().empty());
    EXPECT_EQ(Notes(), c.notes);
  }
}

TEST_F(ConfigParser, NandGrammarHasItsOwnKeys) {
  ASSERT_EQ(NandOnly("[NAND]\nBADBLACKPAGE 63\nPAGENUMBER 65536\nBUSWIDTH 16\nSPARESIZE 16\nPLANENUM 2\nBCHBIT 8\n"
                     "BLOCKPERCHIP 8\nEXTCLK 13\n  just words\nBCHBIT x\n[END]\n"),
            kParseOk);
  BootConfig expected = DistinctRecord();
  expected.nandBadBlockPage = 63, expected.nandPageNumber = 65536, expected.nandBusWidth = 16;
  ExpectRecord(expected);
  EXPECT_EQ(session_.sdramBytes, 0x1234u);
  EXPECT_TRUE(notes_.empty());  // lines without a key of this grammar are not reported
}

// Rejected lines change nothing and say why; the station itself stays silent.

TEST_F(ConfigParser, RejectedLineChangesNothingAndIsReported) {
  using K = ConfigDiagnosticKind;
  const struct {
    std::string pll, sdram, nand;  // one line: line 2 in [PLL], 3 in [SDRAM], 4 in [NAND]
    K kind;
    std::string text;  // then "; line ignored"
  } cases[] = {
      {"", "", "  PAGESIZE 4096\n", K::kLeadingBlank, "line 4: setting of PAGESIZE begins with a blank or tab"},
      {"", "", "PAGESIZE 0x800\n", K::kNotDecimal, "line 4: value '0x800' of PAGESIZE is not a decimal number"},
      {"", "", "ECCPOS -5\n", K::kNotDecimal, "line 4: value '-5' of ECCPOS is not a decimal number"},
      {"", "BANKS +4\n", "", K::kNotDecimal, "line 3: value '+4' of BANKS is not a decimal number"},
      {"BOUDRATE 4294967296\n", "", "", K::kOutOfRange,
       "line 2: value '4294967296' of BOUDRATE does not fit in 32 bits"},
      {"", "", "PAGESIZE\n", K::kNoValue, "line 4: PAGESIZE has no value"},
      {"", "", "PAGESIZE \t;4096\n", K::kNoValue, "line 4: PAGESIZE has no value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Reset();
    ASSERT_EQ(Full(FullFile(c.pll, c.sdram, c.nand)), kParseOk);
    ExpectRecord(DistinctRecord());
    ASSERT_EQ(notes_.size(), 1u);
    EXPECT_EQ(notes_[0].kind, c.kind);
    EXPECT_EQ(notes_[0].text, c.text + "; line ignored");
    EXPECT_TRUE(host_.Messages().empty());
  }
}

TEST_F(ConfigParser, MarkersCountAnywhereAndTheLastLineNeedsNoLineFeed) {
  ASSERT_EQ(Full("clock [PLL]\r\nEXTCLK 13\r\n--[SDRAM]--\n  [NAND]\nOOBSIZE 64\nx[END]"), kParseOk);
  EXPECT_EQ(session_.bootConfig.extClk, 13);
  EXPECT_EQ(session_.bootConfig.nandOobSize, 64u);
}

// File structure: results, messages, and what stays behind.

TEST_F(ConfigParser, UnopenableFileShowsCannotOpenOnlyForTheFullGrammar) {
  EXPECT_EQ(ParseFullConfig(dir_.path() / "none.cfg", session_), kParseCannotOpen);
  EXPECT_EQ(ParseFullConfig(dir_.path(), session_), kParseCannotOpen);  // a folder
  EXPECT_EQ(ParseNandConfig(dir_.path() / "none.cfg", session_), kParseCannotOpen);
  EXPECT_EQ(host_.MessageTexts(), Texts(2, "Can not open configration file!"));
  EXPECT_EQ(host_.Messages()[0].caption, "Korvex");
  EXPECT_EQ(host_.Messages()[0].port, 3);
  ExpectRecord(DistinctRecord());
}

// A file that ends early keeps what it gave; only the full grammar shows a message,
// and only for a file that ends before its [SDRAM].
TEST_F(ConfigParser, FileThatEndsEarlyIsReported) {
  const struct { bool nandOnly; std::string file; Texts messages; std::string note; } cases[] = {
      {false, "", {"Korvex.cfg is bad!"}, "the file ended before [PLL]"},
      {false, "[NAND]\n[END]\n[PLL]\n", {"Korvex.cfg is bad!"}, "the file ended before [SDRAM]"},
      {false, "[PLL]\n[SDRAM]\nBANKS 4\n", {}, "the file ended before [NAND]"},
      {false, "[PLL]\n[SDRAM]\n[NAND]\nPAGESIZE 4096\n", {}, "the file ended before [END]"},
      {true, "[PLL]\n[SDRAM]\n", {}, "the file ended before [NAND]"},
      {true, "[NAND]\nPAGESIZE 4096\n", {}, "the file ended before [END]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Reset();
    EXPECT_EQ(c.nandOnly ? NandOnly(c.file) : Full(c.file), kParseEndedEarly);
    EXPECT_EQ(host_.MessageTexts(), c.messages);
    EXPECT_EQ(session_.sdramBytes, 0x1234u);  // set only at [END]
    EXPECT_EQ(session_.bootConfig.nandPageSize, c.file.ends_with("PAGESIZE 4096\n") ? 4096u : 0xA3u);
    EXPECT_EQ(Notes(), Texts{c.note});
  }
}

// Grammar choice and the SDRAM size.

TEST_F(ConfigParser, SessionModelChoosesTheGrammarOrNoneWhenUnknown) {
  // Model 0 skips to [NAND] and knows no BCHBIT; the others know it.
  const auto path = Write("PAGESIZE 1\n" + FullFile("", "", "BCHBIT 4\n"));
  for (int model : {kModelQx7120, kModelQx7130, kModelQx7135, kModelQx7105B}) {
    SCOPED_TRACE(model);
    session_.cpuModel = model;
    EXPECT_EQ(ParseBootConfig(path, session_), kParseOk);
    BootConfig expected = DistinctRecord();
    expected.nandBchBits = model == kModelQx7120 ? 0xACu : 4u;
    ExpectRecord(expected);
  }
  // An unknown model opens no file and says so.
  session_.bootConfig = DistinctRecord();
  for (int model : {-1, 4}) {
    session_.cpuModel = model;
    EXPECT_EQ(ParseBootConfig(path, session_), kParseEndedEarly);
  }
  EXPECT_EQ(host_.MessageTexts(), (Texts{"cpu id version error!", "cpu id version error!"}));
  ExpectRecord(DistinctRecord());
}

TEST_F(ConfigParser, SdramSizeAtEndFollowsTheModelTheBoardWasClaimedWith) {
  // Other models get 16 MiB whatever the file says: the realistic file's test.
  session_.cpuModel = kModelQx7120;
  EXPECT_EQ(Full(FullFile("", "BUSWIDTH 32\nBANKS 4\nROWADDR 13\nCOLADDR 9\n", "")), kParseOk);
  EXPECT_EQ(session_.sdramBytes, 64u << 20);
}

// Model 0's formula at its edges.
TEST(SdramBytes, Formula) {
  const struct { std::uint8_t row, col, width, banks; std::uint32_t bytes; } cases[] = {
      {13, 9, 1, 1, 32u << 20},  // 16-bit bus
      {13, 9, 0, 0, 32u << 20},  // 2 banks
      {29, 0, 0, 0, 0},          // 2^32 wraps
      {200, 200, 0, 1, 0},       // no undefined shift
  };
  for (const auto& c : cases) {
    BootConfig config;
    config.sdramRowAddr = c.row, config.sdramColAddr = c.col, config.sdramWidth = c.width, config.sdramBanks = c.banks;
    EXPECT_EQ(SdramBytesFor(config, kModelQx7120), c.bytes) << int(c.row) << "/" << int(c.col);
  }
}

}  // namespace
}  // namespace korvex
