// The korvex command line, run as a real process against a fresh home folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "nandtable/default_nand_parts.h"
#include "cli_runner.h"
#include "temp_dir.h"

namespace korvex {
namespace {

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

std::size_t LineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(Cli, ListInAnEmptyHomeWritesTheBuiltInTableByteForByte) {
  testing::TempDir home;
  const RunResult run = RunKorvex("--home " + home.path().string() + " --json nand-table list");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(LineCount(run.out), 92u);
  EXPECT_NE(run.out.find(R"({"row":0,"name":"Micr_MT29F32G08CBAAA","mainId":"2cd7","extId":"843e94","pageSize":4096,"blockKiB":512,"oobSize":218,"totalBlocks":8192})"),
            std::string::npos)
      << run.out.substr(0, 300);
  EXPECT_EQ(FileBytes(home.path() / "nand_cfg.bin"), DefaultNandTableBytes());
}

TEST(Cli, LookupPrintsTheGeometryOrTheLookupsOwnMessage) {
  testing::TempDir home;
  const std::string base = "--home " + home.path().string() + " ";
  RunResult run = RunKorvex(base + "nand-table lookup 0xECD7 78B655");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("page size     4096\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("good blocks   7992\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("is2KPage      0\n"), std::string::npos) << run.out;

  run = RunKorvex(base + "nand-table lookup 1234 5");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "Flash: ID=0x1234, ExtID=0x5. Use default para burning!\n");
}

TEST(Cli, AddAndDeleteFollowTheDialogsRules) {
  testing::TempDir home;
  const std::string base = "--home " + home.path().string() + " ";
  RunResult run = RunKorvex(base + "nand-table add --main 0xECDA --ext 10 --page 2048 --block 0 "
                                   "--oob 64 --blocks 2048");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "korvex: record not written: --block (block size in KiB) is missing or 0\n");
  EXPECT_EQ(FileBytes(home.path() / "nand_cfg.bin").size(), 5888u);

  run = RunKorvex(base + "nand-table add --main ecda --page 2048 --block 256 --oob 64 --blocks 2048");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "added as row 92\n");
  run = RunKorvex(base + "--json nand-table lookup ECDA 123456");
  EXPECT_EQ(run.out,
            R"({"found":true,"pageSize":2048,"blockSize":262144,"spareSize":64,"rowCycles":3,)"
            R"("goodBlocks":1998,"totalBlocks":2048,"is2KPage":1})"
            "\n");

  run = RunKorvex(base + "nand-table delete 92 0");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::uint8_t> expected = DefaultNandTableBytes();
  expected.erase(expected.begin(), expected.begin() + 64);
  EXPECT_EQ(FileBytes(home.path() / "nand_cfg.bin"), expected);
}

TEST(Cli, UsageErrorsExitWithTwoAndWriteNothing) {
  testing::TempDir home;
  const std::string base = "--home " + home.path().string() + " ";
  const struct {
    std::string args;
    std::string message;
  } cases[] = {
      {"nand-table list --bogus", "korvex: unknown option '--bogus'\n"},
      {"nand-table add --main", "korvex: option '--main' needs a value\n"},
      {"nand-table lookup XYZ", "korvex: MAIN must be a 16-bit hex ID (maker and device code), e.g. ECD3\n"},
      {"nand-table delete two", "korvex: ROW must be a row number as 'nand-table list' shows it, not 'two'\n"},
      {"devices --sim many", "korvex: --sim takes a number of boards from 0 to 128\n"},
      {"station --sim 1 --sim-chip 1234:56",
       "korvex: --sim-chip: no simulated chip 1234:56 (known: ECD3:589551 ECD5:74B614 ECD7:78B655 "
       "ADD3:34A514 2CD7:843E94 98DA:761590)\n"},
      {"station --demo-period 0", "korvex: --demo-period takes the demo timer's period in milliseconds, 1 or more\n"},
      {"station --sim 1 --sim-bad-blocks 8192", "korvex: --sim-bad-blocks: block 8192 is past the chip's last block 8191\n"},
      {"station --sim 2 --sim-fault 2:bad=1 --sim-fault 2:bad=2,bad=3",
       "korvex: --sim-fault for port 2: fault \"bad\" is given twice\n"},
      {"frobnicate", "korvex: unknown command 'frobnicate'\n"},
  };
  for (const auto& c : cases) {
    const RunResult run = RunKorvex(base + c.args);
    EXPECT_EQ(run.exitCode, 2) << c.args;
    EXPECT_EQ(run.err, c.message) << c.args;
    EXPECT_FALSE(std::filesystem::exists(home.path() / "nand_cfg.bin")) << c.args;
  }
  const RunResult run = RunKorvex("--home " + (home.path() / "missing").string() + " nand-table list");
  EXPECT_EQ(run.exitCode, 2);
}

TEST(Cli, DevicesShowsWhichPortEachSimulatedBoardHolds) {
  testing::TempDir home;
  const RunResult run = RunKorvex("--home " + home.path().string() + " devices --sim 2");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "driver instances: 2 (simulated driver)\n"
            "  #1  linked    \\\\?\\USB#Vid_7a3c&Pid_7120#5&1280f500&0&4#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}\n"
            "  #2  linked    \\\\?\\USB#Vid_7a3c&Pid_7120#5&1280f501&0&4#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}\n"
            "ports:\n"
            "  port 1  instance #1  \\\\?\\USB#Vid_7a3c&Pid_7120#5&1280f500&0&4#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}\n"
            "  port 2  instance #2  \\\\?\\USB#Vid_7a3c&Pid_7120#5&1280f501&0&4#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}\n"
            "  port 3  free\n  port 4  free\n  port 5  free\n  port 6  free\n  port 7  free\n"
            "  port 8  free\n");
}

}  // namespace
}  // namespace korvex
