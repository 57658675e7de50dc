// The korvex command line, run as a real process against a fresh home folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sys/stat.h>
#include <regex>
#include <string>
#include <vector>

#include "nandtable/default_nand_parts.h"
#include "cli_runner.h"
#include "temp_dir.h"

namespace korvex {
namespace {

std::size_t LineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// What the table commands print and how they exit, from an empty home's built-in table on
// (the table's rules are the nand table tests'; its JSON rows, the schema test's).
TEST(Cli, ListLookupAddAndDeletePrintTheirOwnLines) {
  testing::TempDir home;
  const std::string base = "--home " + home.path().string() + " ";
  RunResult run = RunKorvex(base + "nand-table list");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(run.out.starts_with("row  name                     main  ext      page  block KiB  oob  blocks\n"
                                  "  0  Micr_MT29F32G08CBAAA     2cd7  843e94   4096        512  218    8192\n"))
      << run.out.substr(0, 300);
  run = RunKorvex(base + "nand-table lookup 1234 5");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "korvex: the chip's IDs 1234:000005 are not in nand_cfg.bin, so no board with it is burned: add "
                     "the chip with `korvex nand-table add --main 1234 --ext 000005 --page BYTES --block KIB --oob "
                     "BYTES --blocks N` (its datasheet gives the sizes) (Flash: ID=0x1234, ExtID=0x5. Use default "
                     "para burning!)\n");

  run = RunKorvex(base + "nand-table add --main ecda --page 2048 --block 256 --oob 64 --blocks 2048");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "added as row 92\n");
  run = RunKorvex(base + "--json nand-table lookup 0xECDA 123456");
  EXPECT_EQ(run.out,
            R"({"type":"lookup","found":true,"row":92,"pageSize":2048,"blockSize":262144,"spareSize":64,"rowCycles":3,)"
            R"("goodBlocks":1998,"totalBlocks":2048,"is2KPage":1})"
            "\n");
  run = RunKorvex(base + "nand-table lookup ECDA:123456");
  EXPECT_TRUE(run.out.starts_with("row           92\npage size     2048\nblock size    262144\n")) << run.out;

  // Keys row 5 holds already, with a name the record has no room for.
  run = RunKorvex(base + "nand-table add --main ECD7 --ext 78B655 --page 4096 --block 512 --oob 128 "
                         "--blocks 8192 --name \"Line B chip\"");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "added as row 93\n");
  EXPECT_EQ(run.err, "korvex: warning: rows 5, 11, 17, 57 already have the keys ECD7:78B655; a chip with "
                     "them gets row 5, not the new row 93\n");

  run = RunKorvex(base + "nand-table delete 93 92 0");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out,
            "deleted:\n"
            "row  name                  main  ext     page  block KiB  oob  blocks\n"
            "  0  Micr_MT29F32G08CBAAA  2cd7  843e94  4096        512  218    8192\n"
            " 92  (unnamed)             ecda  0       2048        256   64    2048\n"
            " 93  Line B chip*          ecd7  78b655  4096        512  128    8192\n"
            "* a name kept in " + (home.path() / "nand_cfg.names").string() +
                ", as a record has no room for one\n");
  std::vector<std::uint8_t> expected = DefaultNandTableBytes();
  expected.erase(expected.begin(), expected.begin() + 64);
  EXPECT_EQ(testing::ReadBytes(home.path() / "nand_cfg.bin"), expected);

  std::filesystem::remove(home.path() / "nand_cfg.bin");
  std::filesystem::create_directory(home.path() / "nand_cfg.bin");
  for (const char* command : {"list", "lookup ECD3 589551", "delete 0"}) {
    run = RunKorvex(base + "nand-table " + command);
    EXPECT_EQ(run.exitCode, 1) << command;
    EXPECT_EQ(run.err, "korvex: nand_cfg.bin cannot be read: it must be a readable file in the home folder "
                       "(读取nand_cfg.bin失败!!!)\n") << command;
  }
  // Whatever throws, korvex reports in one line and exits 1: here a home whose name the
  // file system refuses.
  run = RunKorvex("--home /" + std::string(5000, 'h') + " nand-table list");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.err.starts_with("korvex: error: filesystem error: ")) << run.err.substr(0, 200);
  EXPECT_EQ(LineCount(run.err), 1u);
}

TEST(Cli, UsageErrorsExitWithTwoAndWriteNothing) {
  testing::TempDir home;
  const std::string base = "--home " + home.path().string() + " ";
  const struct {
    std::string args, message;
  } cases[] = {
      {"nand-table list --bogus", "korvex: unknown option '--bogus'\n"},
      {"nand-table add --main 0xECDA --ext 10 --page 2048 --block 0 --oob 64 --blocks 2048",
       "korvex: record not written: --block (block size in KiB) is missing or 0\n"},
      {"nand-table add --main", "korvex: option '--main' needs a value\n"},
      {"nand-table lookup XYZ", "korvex: MAIN must be a 16-bit hex ID (maker and device code), e.g. ECD3\n"},
      {"nand-table delete two", "korvex: ROW must be a row number as 'nand-table list' shows it, not 'two'\n"},
      {"nand-table add --main ecda --page 3000 --block 128 --oob 64 --blocks 1024",
       "korvex: record not written: page size 3000 is not a power of two from 512 to 16384 bytes\n"},
      {"devices --sim many", "korvex: --sim takes a number of boards from 0 to 128\n"},
      {"station --demo-period 0", "korvex: --demo-period takes the demo timer's period in milliseconds, 1 or more\n"},
      {"station --advanced --nand x/nand.bin --demo x/demo.rmvb",
       "korvex: --demo works in normal mode only; advanced mode has no demo copy\n"},
      {"station --sim 2 --sim-fault 2:bad=1 --sim-fault 2:bad=2,bad=3",
       "korvex: --sim-fault for port 2: fault \"bad\" is given twice\n"},
      {"frobnicate", "korvex: unknown command 'frobnicate'\n"},
      {"--quiet --verbose devices", "korvex: --quiet and --verbose exclude each other\n"},
      {"station --sim 0 --until-done --nand x/nand.bin",
       "korvex: --until-done waits for boards, and none will come: give --sim N with N of 1 or more\n"},
      {"station --sim 1 --nand /" + std::string(1020, 'd') + "/nand.bin",
       "korvex: --nand: the paths made from it can be 1034 bytes long; the station's settings hold at most 1023\n"},
      {"readback --sim 1 --from 10 --to 10 --out x.bin",
       "korvex: --to (10) must be above --from (10): pages --from up to --to - 1 are read (地址设置有误)\n"},
      {"readback --sim 1 --from 0 --to 1 --out /no/such/dir/x.bin",
       "korvex: cannot create /no/such/dir/x.bin: no such folder /no/such/dir; create it or give another --out\n"},
      {"readback --sim 1 --from 0 --to 999999999 --out x.bin",
       "korvex: the range (--from 0 --to 999999999) runs past the chip: chip ECD3:589551 has 524288 pages "
       "(0..524287); give --to 524288 or less\n"},
      {"readback --sim 1 --sim-chip ECD5:74B614 --from 0 --to 16385 --out x.bin",
       "korvex: the range (--from 0 --to 16385) is 16385 pages; one readback takes at most 16384 pages of 4096 "
       "bytes (64 MiB): read the range in parts\n"},
      {"readback --from 0 --to 2 --out x.bin",
       "korvex: this build has no USB boot driver, so there is no board to read: give --sim 1 to read a "
       "simulated board\n"},
      {"readback --sim 1 --from 0 --to 2 --out /tmp", "korvex: /tmp is not a regular file: give --out a file's name\n"},
      {"station --sim 1 --nand x/image.bin", "korvex: --nand x/image.bin: the file given to --nand must be named "
       "nand.bin (in normal mode the other images are found beside it by their names): rename the file or copy it "
       "as nand.bin (请选择文件nand.bin!)\n"},
      {"records --days 3", "korvex: unknown option '--days'\n"},
      {"records generate-demo --csv", "korvex: unknown option '--csv'\n"},
      {"records --from 2026-13-01", "korvex: --from takes a day as YYYY-MM-DD\n"},
      {"records --csv --json", "korvex: choose one of --csv and --json\n"},
      {"records tidy", "korvex: unknown records action 'tidy' (sync, init-db, generate-demo)\n"},
      {"records sync", "korvex: no database: give --records-db CONN or records_db in korvex.ini\n"},
      {"report --from 2026-12-01", "korvex: report needs --out FILE\n"},
      {"station --records-db a --records-db b", "korvex: option '--records-db' is given twice\n"},
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

TEST(Cli, VersionNamesTheCompilerAndTheDeviceBackend) {
  RunResult run = RunKorvex("--version");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(std::regex_match(run.out, std::regex("korvex [0-9]+\\.[0-9]+\\.[0-9]+( \\(commit [0-9a-f]{12}\\))?\n"
                                                   "compiler: (GCC|clang) [^\n]+\n"
                                                   "device backend: none on this platform: [^\n]+\n")))
      << run.out;
}

// Every command's help: its usage, each option of records and report on its own line
// with its default, from the table their parsers use (an option the help lists is one
// the command takes), and the global options.
TEST(Cli, RecordsAndReportHelpListEveryOptionWithItsDefault) {
  const struct {
    std::string command;
    std::vector<std::string> options;
  } cases[] = {
      {"records", {"--from DAY", "--to DAY", "--job NAME", "--lot L", "--uid TEXT", "--result R", "--csv", "--db CONN"}},
      {"records generate-demo", {"--start DAY", "--days N", "--boards N", "--seed S"}},
      {"records init-db", {"--records-db CONN"}},
      {"records sync", {"--records-db CONN"}},
      {"report", {"--from DAY", "--to DAY", "--job NAME", "--lot L", "--db CONN", "--demo", "--out FILE"}},
      {"station", {}}, {"readback", {}}, {"devices", {}}, {"nand-table", {}}, {"check-config", {}}, {"sim-home", {}},
  };
  testing::TempDir home;
  for (const auto& c : cases) {
    const RunResult help = RunKorvex(c.command + " --help");
    EXPECT_EQ(help.exitCode, 0) << c.command;
    EXPECT_TRUE(help.out.starts_with("usage: korvex [global options] " + c.command)) << help.out;
    EXPECT_NE(help.out.find("\n  --json      one JSON object per line on stdout"), std::string::npos) << c.command;
    const std::string options = help.out.substr(0, help.out.find("global options:"));
    std::string given;
    for (const std::string& option : c.options) {
      const std::size_t at = options.find("\n  " + option + " ");
      ASSERT_NE(at, std::string::npos) << c.command << " " << option << "\n" << options;
      const std::string entry = options.substr(at + 1, options.find("\n  --", at + 1) - at - 1);
      EXPECT_NE(entry.find("(default: "), std::string::npos) << entry;
      const std::string name = option.substr(0, option.find(' '));
      given += " " + name + (name == option ? "" : " x");
    }
    // The parser takes every option the help lists: only the one it does not is refused.
    if (c.options.empty()) continue;
    const RunResult run = RunKorvex("--home " + home.path().string() + " " + c.command + given + " --bogus");
    EXPECT_EQ(run.err, "korvex: unknown option '--bogus'\n") << c.command << given;
  }
}

// Files that are no files, or huge ones, are refused before they are read, each with
// one line and exit 2: a FIFO, /dev/zero, a 10 GiB sparse file as a configuration; a
// symbolic-link loop as nand_cfg.bin (which the table commands never replace); a
// missing demo file.
TEST(Cli, PreflightOfEveryFileRefusesWhatIsNoFileAtOnce) {
  testing::TempDir home;
  ASSERT_EQ(RunKorvex("--home " + home.path().string() + " sim-home").exitCode, 0);
  const std::string base = "--home " + home.path().string() + " ";
  const std::filesystem::path fifo = home.path() / "fifo.cfg", huge = home.path() / "huge.cfg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::resize_file((std::ofstream(huge), huge), 10ull << 30);
  const std::string nand = " --nand " + (home.path() / "images" / "nand.bin").string();
  const struct {
    std::string args, message;
  } cases[] = {
      {"check-config " + fifo.string(),
       fifo.string() + " is not a regular file (a folder, FIFO or device): give a configuration file"},
      {"check-config " + huge.string(), huge.string() + " is 10737418240 bytes, too large for a configuration file (at "
                                                         "most 1048576 bytes are read): give a configuration file"},
      {"station --sim 1 --until-done --demo " + (home.path() / "none.rmvb").string() + nand,
       "pre-flight: demo file: " + (home.path() / "none.rmvb").string() +
           " does not exist: give --demo the file to copy onto the boards"},
  };
  for (const auto& c : cases) {
    const RunResult run = RunKorvex(base + c.args);
    EXPECT_EQ(run.exitCode, 2) << c.args;
    EXPECT_EQ(run.err, "korvex: " + c.message + "\n") << c.args;
  }

  const std::filesystem::path table = home.path() / "nand_cfg.bin";
  std::filesystem::create_symlink("nand_cfg.bin", table);
  const std::string loop = table.string() + " is a symbolic link that leads nowhere (a loop, or its target is missing): "
                           "remove it (the station then writes the built-in table) or point it at a table file\n";
  for (const std::string& args : {"station --sim 1 --until-done" + nand, std::string("nand-table list"),
                                 std::string("nand-table delete 0")}) {
    const RunResult run = RunKorvex(base + args);
    EXPECT_EQ(run.exitCode, 2) << args;
    EXPECT_TRUE(run.err.ends_with(loop)) << run.err;
    EXPECT_TRUE(std::filesystem::is_symlink(table)) << args;
  }
  // A working link is read, but never replaced by the rewrite of add or delete.
  std::filesystem::remove(table);
  ASSERT_EQ(RunKorvex("--home " + (home.path() / "images").string() + " nand-table list").exitCode, 0);
  std::filesystem::create_symlink(home.path() / "images" / "nand_cfg.bin", table);
  EXPECT_EQ(RunKorvex(base + "nand-table lookup ECD3:589551").exitCode, 0);
  const RunResult del = RunKorvex(base + "nand-table delete 0");
  EXPECT_EQ(del.exitCode, 2);
  EXPECT_TRUE(del.err.starts_with("korvex: " + table.string() + " is a symbolic link to ")) << del.err;
  EXPECT_TRUE(std::filesystem::is_symlink(table));
}

// check-config reads a file as the model whose folder holds it, verdict first.
TEST(Cli, CheckConfigTakesTheModelFromTheFilesFolder) {
  testing::TempDir home;
  ASSERT_EQ(RunKorvex("--home " + home.path().string() + " sim-home").exitCode, 0);
  const std::string file = (home.path() / "7120" / "Korvex2K.cfg").string();
  RunResult run = RunKorvex("check-config " + file);
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_TRUE(run.out.starts_with("verdict: PASS\nfile: " + file + "\nmodel: 0 Qx7105\\Qx7120 (folder 7120)\n"))
      << run.out;
  run = RunKorvex("check-config --model 7135 " + file);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.out.starts_with("verdict: FAIL\n")) << run.out;
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
