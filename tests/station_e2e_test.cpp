// The station against simulated boards, end to end: the console's burns checked on
// the boards' dumped NAND (boot, images, identity pages, log and exit code), eight
// boards at once, and READ on a burned board.

#include <gtest/gtest.h>

#include "records/record_query.h"

#include <algorithm>
#include <csignal>
#include <ctime>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/station_core.h"
#include "app/station_settings_model.h"
#include "cli_runner.h"
#include "app/port_workers.h"
#include "host/paths.h"
#include "nand/identity_pages.h"
#include "nandtable/nand_cfg.h"
#include "sim/sim_host.h"
#include "station/production_log.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ReadBytes;

// length bytes of a file from offset; past the file's end a dump reads 0xFF, as the
// NAND there was never written.
Bytes ReadAt(const std::filesystem::path& path, std::size_t offset, std::size_t length) {
  Bytes out(length, 0xFF);
  std::ifstream file(path, std::ios::binary);
  file.seekg(static_cast<std::streamoff>(offset));
  file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(length));
  return out;
}

Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t length) {
  Bytes out(length, 0xFF);
  for (std::size_t i = 0; i < length && offset + i < bytes.size(); ++i) out[i] = bytes[offset + i];
  return out;
}

class StationTest : public ::testing::Test {
 protected:
  StationTest() {
    const RunResult made = RunKorvex("--home " + home_.path().string() + " sim-home");
    EXPECT_EQ(made.exitCode, 0) << made.err;
  }

  RunResult Burn(const std::string& options) {
    return RunKorvex("--home " + home_.path().string() + " --json station --until-done --nand " +
                     Image("nand.bin").string() + " --sim-dump " + dump_.path().string() + " " +
                     options);
  }
  std::filesystem::path Image(const char* name) const { return home_.path() / "images" / name; }
  // Bytes of a board's dumped NAND (board counted from 0; its file from 1, as the ports).
  Bytes Nand(int board, std::size_t offset, std::size_t length) const {
    return ReadAt(dump_.path() / ("board-" + std::to_string(board + 1) + ".nand"), offset, length);
  }
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::directory_iterator(home_.path())) {
      if (entry.path().extension() != ".txt") continue;
      std::ifstream file(entry.path());
      for (std::string line; std::getline(file, line);) lines.push_back(line.substr(line.find(" : ") + 3));
    }
    return lines;
  }

  std::string ExpectBurned(const RunResult& run, int board, bool infoPages) const;

  testing::TempDir home_;
  testing::TempDir dump_;
};

// One board of a burn with the sample images: every image in its zone (the default
// chip has 2048-byte pages, so every view is the same), the identity pages, and the
// UID the run reported. Returns the UID's text.
std::string StationTest::ExpectBurned(const RunResult& run, int board, bool infoPages) const {
  SCOPED_TRACE("board " + std::to_string(board));
  for (const auto& [image, firstPage] : {std::pair{"loader.bin", 1024}, {"img_boot.bin", 1536},
                                         {"minios.bin", 25088}, {"res.bin", 49664}}) {
    const Bytes bytes = ReadBytes(Image(image));
    EXPECT_EQ(Nand(board, firstPage * 2048u, bytes.size()), bytes) << image;
  }
  EXPECT_EQ(Nand(board, 0, 61 * 2048), Slice(ReadBytes(Image("nand.bin")), 0, 61 * 2048));
  EXPECT_EQ(Nand(board, 1280 * 2048, 4), Bytes(4, 0xFF)) << "def_boot.bin stays out in normal mode";

  // Identity pages: geometry twice (models with information pages: 2048-byte pages, 64
  // a block, 64 spare bytes), then the ID.
  if (infoPages) {
    const Bytes geometry = {0x00, 0x08, 0, 0, 0x40, 0, 0, 0, 0x40, 0, 0, 0};
    for (const std::size_t page : {61u, 62u}) EXPECT_EQ(Nand(board, page * 2048, 12), geometry) << page;
  } else {
    EXPECT_EQ(Nand(board, 61 * 2048, 2048), Bytes(2048, 0xFF));
  }
  Uid uid{};
  const Bytes page = Nand(board, 63 * 2048, kUidSize);
  std::copy(page.begin(), page.end(), uid.begin());
  const std::string text(FormatUidText(uid).View());
  EXPECT_NE(run.out.find(text), std::string::npos) << text;
  EXPECT_EQ(Nand(board, 63 * 2048 + 16, 2032), Bytes(2032, 0xFF));
  return text;
}

// Two boards of each model and eight at once of the default one (7135), each its own ID.
TEST_F(StationTest, EveryModelBurnsItsBoardsFromTheSampleImagesEachWithItsOwnId) {
  for (const auto& [model, boards, infoPages] :
       {std::tuple{" --model 7120", 2, false}, {" --model 7130", 2, true}, {" --model 7105B", 2, true}, {"", 8, true}}) {
    SCOPED_TRACE(model);
    const RunResult run = Burn("--sim " + std::to_string(boards) + model);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    std::set<std::string> uids;
    for (int board = 0; board < boards; ++board) {
      EXPECT_EQ(ResultOfPort(run.out, board + 1), "burned") << board;
      uids.insert(ExpectBurned(run, board, infoPages));
    }
    EXPECT_EQ(uids.size(), static_cast<std::size_t>(boards));
    EXPECT_EQ(LogLines().back(), "Update NUM is " + std::to_string(boards) + ", someone close the tool of the korvex!");
  }
}

// Bad blocks the board steps over count in its result: nand.bin's 15 when it runs out of
// its zone after block 0, in the result, the summary and the record (the image unwritten);
// blocks 3, 17 and 30 (128 KiB blocks of 64 pages) in nand.bin's, loader.bin's and
// img_boot.bin's zones, the image's block meant for each going one block on.
TEST_F(StationTest, BadBlocksTheBoardStepsOverCountInItsResult) {
  const std::string fifteen = " --sim 1 --sim-bad-blocks 1,2,3,4,5,6,7,8,9,10,11,12,13,14,15";
  RunResult run = Burn(fifteen);
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.out.find(R"("result":"zone-full",)"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(R"("bad_blocks":15,"bytes_written":0,"end":"zone-full"})"), std::string::npos) << run.out;
  const RunResult listed = RunKorvex("--home " + home_.path().string() + " --json records");
  EXPECT_NE(listed.out.find(R"("images":[{"file":")" + Image("nand.bin").string() + R"(","size":1585209,"sha256":")"),
            std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(R"(","firstPage":0,"endPage":1088,"blocksSkipped":15,"written":false,"verify":"not-run"}],)"),
            std::string::npos) << listed.out;
  const RunResult text = RunKorvex("--home " + home_.path().string() + " station --until-done --nand " +
                                   Image("nand.bin").string() + fifteen);
  const std::size_t row = text.out.find("\n    1     1  zone-full ");
  ASSERT_NE(row, std::string::npos) << text.out;
  EXPECT_EQ(text.out.find(" s          15  ", row), text.out.find(" s ", row)) << text.out;

  run = Burn("--sim 1 --sim-bad-blocks 3,17,30");
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find(R"("bad_blocks":3,)"), std::string::npos) << run.out;
  const std::size_t block = 64 * 2048;
  for (const auto& [bad, image, ofImage] :
       {std::tuple{3u, "nand.bin", 3u}, {17u, "loader.bin", 1u}, {30u, "img_boot.bin", 6u}}) {
    EXPECT_EQ(Nand(0, bad * block, block), Bytes(block, 0xFF)) << image;
    EXPECT_EQ(Nand(0, (bad + 1) * block, block), Slice(ReadBytes(Image(image)), ofImage * block, block)) << image;
  }
}

// A chip the simulator carries but the station's table lacks (a Toshiba TC58NVG1S3E):
// the lookup's messages on the board's port, and the first of them as its reason.
// (An unplugged board's end is the fault matrix's and the --quiet run's below.)
TEST_F(StationTest, AnUnknownChipFailsWithTheLookupsMessagesAsItsReason) {
  const RunResult run = Burn("--sim 1 --sim-chip 98DA:761590");
  EXPECT_EQ(run.exitCode, 1);
  const std::string flash = "Flash: ID=0x98da, ExtID=0x761590. Use default para burning!";
  for (const std::string& text : {flash, std::string("Please check nand_cfg.h file!")}) {
    EXPECT_NE(run.out.find(R"({"type":"message","port":1,"text":")" + text + R"("})"), std::string::npos) << run.out;
  }
  EXPECT_EQ(ResultOfPort(run.out, 1), "chip-unknown");
  EXPECT_NE(run.out.find(R"("reason":")" + flash + R"(")"), std::string::npos);
  // The console leads with what is wrong and the command that would add the chip.
  const RunResult text = RunKorvex("--home " + home_.path().string() + " station --until-done --sim 1 --sim-chip "
                                   "98DA:761590 --nand " + Image("nand.bin").string());
  EXPECT_NE(text.out.find(" s           0       the chip's IDs 98DA:761590 are not in nand_cfg.bin, so "
                          "no board with it is burned: add the chip with `korvex nand-table add --main 98DA --ext "
                          "761590 --page BYTES --block KIB --oob BYTES --blocks N` (its datasheet gives the sizes) "
                          "(" + flash + ")\n"), std::string::npos) << text.out;
  // The record keeps the IDs the chip answered.
  const RunResult listed = RunKorvex("--home " + home_.path().string() + " --json records");
  EXPECT_NE(listed.out.find(R"("reason":"chip-unknown","message":")" + flash +
                            R"(","chip":{"mainId":"98da","extId":"761590","part":"","pageSize":0,)"),
            std::string::npos) << listed.out;
}

// Chips of 4096-byte pages get nand.bin in the narrow view and the rest in their own:
// the built-in table's row 5, and a part the line has never had, rehearsed with its row
// added and its IDs and geometry given to the simulated board.
TEST_F(StationTest, ChipsOf4096BytePagesGetNandBinInTheNarrowViewAndTheRestInTheirOwn) {
  ASSERT_EQ(RunKorvex("--home " + home_.path().string() + " nand-table add --main 1234 --ext ABCDEF --page 4096 "
                      "--block 1024 --oob 128 --blocks 1024").exitCode, 0);
  for (const auto& [chip, pagesPerBlock] : {std::pair{"ECD7:78B655", 128},
                                            {"1234:ABCDEF,page=4096,block=1024,spare=128,blocks=1024", 256}}) {
    const RunResult run = Burn(std::string("--sim 1 --sim-chip ") + chip);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(Nand(0, 0, 61 * 2048), Slice(ReadBytes(Image("nand.bin")), 0, 61 * 2048));
    const auto low = static_cast<std::uint8_t>(pagesPerBlock), high = static_cast<std::uint8_t>(pagesPerBlock >> 8);
    EXPECT_EQ(Nand(0, 61 * 2048, 12), (Bytes{0x00, 0x10, 0, 0, 0x80, 0, 0, 0, low, high, 0, 0}));
    const Bytes res = ReadBytes(Image("res.bin"));
    EXPECT_EQ(Nand(0, 49664u * 4096, res.size()), res);
  }
}

// Ctrl-C or SIGTERM while eight boards burn: each stops at its next block and is
// interrupted, not bad NAND; the close line is the log's last.
TEST_F(StationTest, ClosingMidBurnInterruptsEveryBoardAndTheCloseLineIsLast) {
  const std::string closeLine = "Update NUM is 8, someone close the tool of the korvex!";
  long runs = 0;
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    const RunResult run = RunKorvexSignalledAt(
        "--home " + home_.path().string() + " --json station --sim 8 --sim-timing --nand " +
            Image("nand.bin").string(),
        "Update nand.bin succeeded!", signal);
    EXPECT_EQ(run.exitCode, 1);
    for (int port = 1; port <= 8; ++port) EXPECT_EQ(ResultOfPort(run.out, port), "interrupted") << port;
    EXPECT_EQ(run.out.find("zone have too many bad blocks"), std::string::npos);
    const std::vector<std::string> log = LogLines();  // of this run and those before it
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), closeLine);
    EXPECT_EQ(std::ranges::count(log, closeLine), ++runs);
    EXPECT_EQ(std::ranges::count_if(log, [](const std::string& line) { return line.ends_with("Error!"); }),
              0);
  }
}

// Nothing is claimed, created or logged before the pre-flight has passed, and each
// problem is one line that names the file or folder it is about.
TEST_F(StationTest, PreflightRefusesWithOneLinePerProblemAndTouchesNothing) {
  const std::string home = home_.path().string();
  const std::string station = "--home " + home + " station --sim 2 --nand " + Image("nand.bin").string();
  RunResult run = RunKorvex(station + " --check");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(run.out.ends_with("\npre-flight: passed; zones measured in 2048-byte pages for nand.bin, "
                                "2048-byte pages for the others (the page of the simulated chip "
                                "ECD3:589551)\n"))
      << run.out;

  std::filesystem::remove(Image("loader.bin"));
  std::filesystem::resize_file(Image("res.bin"), 100 << 20);
  std::ofstream(home_.path() / "7135" / "Korvex4K.cfg") << "[PLL]\n";
  run = RunKorvex(station);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err,
            "korvex: pre-flight: loader.bin: " + Image("loader.bin").string() +
                " does not exist (normal mode takes it from nand.bin's folder)\n"
                "korvex: pre-flight: res.bin: " + Image("res.bin").string() +
                " (104857600 bytes) does not fit its zone even without bad blocks: it needs 51201 pages of "
                "2048 bytes, the zone (pages 49664..98303) takes 48639, 99612672 bytes (2048-byte pages: the "
                "page of the simulated chip ECD3:589551)\n"
                "korvex: pre-flight: " + home + "/7135/Korvex4K.cfg does not pass check-config (`korvex --home " +
                home + " check-config --model 7135 " + home + "/7135/Korvex4K.cfg` shows why)\n");
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(std::filesystem::exists(home_.path() / "nand_cfg.bin"));
  EXPECT_TRUE(LogLines().empty());

  testing::TempDir empty;
  const std::string e = empty.path().string();
  run = RunKorvex("--home " + e + " station --sim 1 --advanced --nand " + e + "/nand.bin --res " + e);
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err, "korvex: pre-flight: nand.bin: " + e + "/nand.bin does not exist\n"
                     "korvex: pre-flight: res.bin: " + e + " is not a regular file\n"
                     "korvex: pre-flight: model folder " + e + "/7135 is missing: it must hold fw.bin, "
                     "korvex.bin, Korvex2K.cfg and Korvex4K.cfg (`korvex --home " + e +
                     " sim-home` writes one for simulated boards)\n");
  EXPECT_TRUE(std::filesystem::is_empty(empty.path()));
}

// Not a terminal: a line per state and per tenth of an image, not per block; --quiet
// leaves the results (and --until-done ends once an unplugged board's port is freed),
// --verbose adds the requests.
TEST_F(StationTest, LinesPerStateQuietAndVerbose) {
  const auto run = [&](const std::string& global, const std::string& options) {
    return RunKorvex("--home " + home_.path().string() + " " + global + " station --sim 1 --until-done --nand " +
                     Image("nand.bin").string() + " " + options);
  };
  RunResult result = run("", "");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(std::ranges::count(result.out, '\n'), 84) << result.out;
  for (const char* lines :
       {"\nport 1: booting\nport 1: identifying the chip\nport 1: erasing the nand.bin zone\n"
        "port 1: writing nand.bin 0%\nport 1: writing nand.bin 16%\n",
        "\nport 1: writing nand.bin 91%\nport 1: writing the identity pages\n",
        "\nport 1: writing res.bin 90%\n", "\nport 1: resetting the board\n", "\nport 1: done in ",
        "\n\nboard  port  result  duration  bad blocks  UID", "\nboards 1, burned 1, failed 0; wall time "}) {
    EXPECT_NE(result.out.find(lines), std::string::npos) << lines;
  }

  // The states in the order the board goes through them: formatting, then resetting;
  // with --verify each image is "verifying".
  for (const auto& [options, ending] : {
           std::pair<std::string, std::string>{"--format-after", "res.bin 90%\nport 1: formatting\nport 1: resetting the board\n"},
           {"--model 7105B --fs-format", "res.bin 90%\nport 1: formatting\nport 1: resetting the board\n"},
           {"--verify", "port 1: verifying res.bin 90%\nport 1: resetting the board\nport 1: done in "}}) {
    result = run("", options);
    EXPECT_EQ(result.exitCode, 0) << options << result.err;
    std::string states;  // the board's lines without the log's between them
    for (std::size_t at = 0; (at = result.out.find("port 1: ", at)) != std::string::npos; ++at) {
      states += result.out.substr(at, result.out.find('\n', at) + 1 - at);
    }
    EXPECT_NE(states.find(ending), std::string::npos) << options << "\n" << states;
  }

  result = run("--quiet", "--sim-fault unplug-at-page=1600");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(result.out.starts_with("port 1: unplugged: img_boot.bin disconnected!\n\nboard  port  result ")) << result.out;
  EXPECT_NE(result.out.find("\nboards 1, burned 0, failed 1 (1 unplugged); wall time "), std::string::npos);

  result = run("--verbose", "--sim-chip 98DA:761590");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.out.find("\nport 1: trace: req 0 0x0\nport 1: trace: req 0 0x0\nport 1: trace: req 1 0x80002000\n"),
            std::string::npos) << result.out;
}

// On a terminal: each board's row coloured by its end unless NO_COLOR is set, the state
// column as wide as the terminal allows, and a small terminal's frame never taller
// than the screen (the cursor goes back over it each time, never scrolling it away).
TEST_F(StationTest, TheLiveViewTakesTheTerminalsSizeAndColours) {
  const std::string burn = "--home " + home_.path().string() + " station --until-done --nand " +
                           Image("nand.bin").string() + " --sim 2 --sim-fault 2:unplug-after=2";
  RunResult run = RunKorvexOnTerminal(burn, 80, 14);
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.out.find("\r\x1b[32m  1   done in "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\r\x1b[33m  2   unplugged: board disconnected!"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\rempty ports: 3 4 5 6 7 8\x1b[K"), std::string::npos) << run.out;
  for (std::size_t at = 0; (at = run.out.find("\x1b[", at)) != std::string::npos; ++at) {
    const std::size_t end = run.out.find_first_not_of("0123456789", at + 2);
    if (end < run.out.size() && run.out[end] == 'A') {
      EXPECT_LE(std::stoi(run.out.substr(at + 2, end - at - 2)), 13);
    }
  }
  run = RunKorvexOnTerminal(burn, 80, 40, "NO_COLOR=1");
  EXPECT_EQ(run.out.find("\x1b[32m"), std::string::npos);
  EXPECT_NE(run.out.find("\r  3   empty\x1b[K"), std::string::npos) << run.out;

  // 400 columns: the unknown chip's whole reason fits in its row.
  run = RunKorvexOnTerminal("--home " + home_.path().string() + " station --until-done --nand " +
                            Image("nand.bin").string() + " --sim 1 --sim-chip 98DA:761590", 400, 40);
  EXPECT_NE(run.out.find("  1   failed: the chip's IDs 98DA:761590 are not in nand_cfg.bin, so no board with it is "
                         "burned: add the chip with `korvex nand-table add --main 98DA --ext 761590 --page BYTES "
                         "--block KIB --oob BYTES --blocks N` (its datasheet gives the sizes) (Flash: ID=0x98da, "
                         "ExtID=0x761590. Use default para burning!)  "), std::string::npos) << run.out;
}

// Every object --json writes, from every command, against docs/korvex-json.schema.json.
TEST_F(StationTest, EveryJsonObjectFollowsTheSchema) {
  const std::string home = "--home " + home_.path().string() + " --json ";
  const std::string nand = " --nand " + Image("nand.bin").string();
  const std::filesystem::path gbk = dump_.path() / "gbk.cfg";
  std::ofstream(gbk) << "[PLL]\nEXTCLK \xb8\xf1\xca\xbd\n";  // GBK, as an editor on a Chinese desktop saves
  const std::string demoHome = "--home " + (dump_.path() / "demo").string() + " --json ";
  const std::string noDb = " --records-db 'Driver={no such driver}'";
  std::string stream = RunKorvex(demoHome + "sim-home").out;
  for (const std::string& command : std::vector<std::string>{
       "records generate-demo --days 1 --boards 1", "records --from 2026-11-30", "records sync" + noDb,
       "records init-db" + noDb, "report --out " + (dump_.path() / "r.html").string(), "--version"}) {
    stream += RunKorvex(demoHome + command).out;
    EXPECT_TRUE(stream.ends_with("}\n")) << command;
  }
  for (const std::string& command : std::vector<std::string>{
       "station --until-done --sim 2 --sim-bad-blocks 3" + nand,
        "--verbose station --until-done --sim 1 --sim-chip 98DA:761590" + nand,
        "station --sim 1 --check" + nand, "station --sim 1 --nand " + dump_.path().string() + "/nand.bin",
        "readback --sim 1 --from 0 --to 2 --out " + (dump_.path() / "pages.bin").string(),
        "readback --sim 1 --from 0 --to 2000000 --out x.bin", "readback --from 0 --to 2 --out x.bin",
        "check-config --model 7135 " + gbk.string(), "devices --sim 2", "nand-table list",
        "nand-table lookup ECD3:589551", "nand-table lookup 1234",
        "nand-table add --main ECD3 --ext 589551 --page 2048 --block 128 --oob 64 --blocks 8192 --name A",
        "nand-table delete 92",
        "job new --name S --model 7135 --hook-after false --out " + (dump_.path() / "s.job").string() + nand,
        "station --until-done --sim 1 --job " + (dump_.path() / "s.job").string(), "frobnicate", ""}) {
    const RunResult run = RunKorvex(home + command);
    EXPECT_TRUE(run.out.ends_with("}\n")) << command;  // every command answers in JSON
    stream += run.out;
  }
  const std::filesystem::path lines = dump_.path() / "stream.jsonl";
  std::ofstream(lines) << stream;
  // A missing jsonschema module fails the test: make deps installs python3-jsonschema.
  const std::string check = std::string("python3 -c \"") +
      "import json, sys, jsonschema\n"
      "schema = json.load(open(sys.argv[1], encoding='utf-8'))\n"
      "jsonschema.Draft202012Validator.check_schema(schema)\n"
      "validator = jsonschema.Draft202012Validator(schema)\n"
      "assert not validator.is_valid({'type': 'result', 'port': 1})\n"
      "types = set()\n"
      "for line in open(sys.argv[2], encoding='utf-8'):\n"
      "    value = json.loads(line)\n"
      "    types.add(value['type'])\n"
      "    for error in validator.iter_errors(value): sys.exit(error.message + ' in ' + line)\n"
      "named = {list(ref.values())[0].split('/')[-1] for ref in schema['oneOf']}\n"
      "print(sorted(named - types))\n\" " + std::string(KORVEX_SOURCE_DIR) + "/docs/korvex-json.schema.json " +
      lines.string();
  FILE* pipe = ::popen((check + " 2>&1").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out(4096, '\0');
  out.resize(std::fread(out.data(), 1, out.size(), pipe));
  EXPECT_EQ(::pclose(pipe), 0) << out;
  // Every type the schema names shows up, but for those a run here cannot bring about:
  // the records database tests see duplicate UIDs and the database's news, the full-disk
  // tests held ports and refused records; a lost log line is the log's tests'.
  EXPECT_EQ(out, "['duplicate-uid', 'log-failed', 'port-held', 'records', 'records-news']\n");
}

// Every claimed board leaves a record: a verified burn with its images, and a board
// whose read-back differs with the stable reason code.
// Verification on eight boards, one of which reads a page back different: that board
// alone fails, and its record says why in the words of its message box.
TEST_F(StationTest, EachBoardLeavesARecordWithItsImagesAndReason) {
  EXPECT_EQ(Burn("--sim 8 --verify --sim-fault 3:corrupt-page=1100").exitCode, 1);
  const RunResult listed = RunKorvex("--home " + home_.path().string() + " --json records");
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
  EXPECT_EQ(std::ranges::count(listed.out, '\n'), 8) << listed.out;
  std::size_t burned = 0;
  for (std::size_t at = 0; (at = listed.out.find(R"("result":"passed","reason":"burned","message":"")", at)) !=
                           std::string::npos;
       ++at) {
    ++burned;
  }
  EXPECT_EQ(burned, 7u) << listed.out;
  const std::size_t failed = listed.out.find(
      R"("result":"failed","reason":"verify-mismatch","message":"loader.bin verify failed: page 1100 reads)"
      R"( back different from what was written!","chip":{"mainId":"ecd3","extId":"589551","part":"SAMSUNG_)");
  ASSERT_NE(failed, std::string::npos) << listed.out;
  EXPECT_EQ(listed.out.rfind(R"("port":)", failed), listed.out.rfind(R"("port":3,)", failed));  // as --sim-fault 3: counts
  EXPECT_NE(listed.out.find(R"("file":")" + Image("res.bin").string() + R"(","size":)"), std::string::npos);
  EXPECT_NE(listed.out.find(R"("firstPage":49664)"), std::string::npos);
  // The image the failed board ended in is listed, unwritten, with its verdict.
  EXPECT_NE(listed.out.find(R"(loader.bin","size":)"), std::string::npos);
  EXPECT_NE(listed.out.find(R"(,"written":false,"verify":"mismatch"})"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(R"("verify":"passed")"), std::string::npos);
}

// A home whose log cannot be written is found before any board is claimed: the
// pre-flight names the file and the station does not start.
TEST_F(StationTest, ALogThatCannotBeWrittenStopsTheStationBeforeAnyBoard) {
  // Folders in the place of this month's log file and, should the run cross into it,
  // the next one's.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  for (const int month : {local.tm_mon, local.tm_mon + 1}) {
    const LocalTime time{static_cast<std::uint16_t>(local.tm_year + 1900 + month / 12),
                         static_cast<std::uint16_t>(month % 12 + 1)};
    std::filesystem::create_directory(home_.path() / PathFromUtf8(LogFileName(time)));
  }
  const RunResult run = Burn("--sim 1");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.out.find(R"({"type":"preflight","ok":false,"problems":["the production log )" +
                         home_.path().string()), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(R"("type":"result")"), std::string::npos);
}

// READ on a burned board, in the chip's real geometry (4096-byte pages): the scan burns
// the board on port 0, the operator plugs it in again with its NAND as the burn left it,
// and pages 1024..1026 come back as the first three pages of loader.bin, each read as
// two pages of which one is kept; then the board is reset.
TEST_F(StationTest, ReadbackCopiesAPageRangeOfTheBurnedBoard) {
  sim::SimHost sim(1, home_.path());
  sim.SetInstantSleep(true);
  sim.SetMessageBoxHandler([](const MessageBoxRequest& request) {
    ADD_FAILURE() << request.text;
    return MessageAnswer::Ok;
  });
  sim::BoardSpec board;
  board.chip = {0xECD5, 0x74B614, std::nullopt};
  sim.Plug(0, board);
  auto station = StationCore::BringUp(sim, RecordKeeper::None());
  ASSERT_TRUE(station);
  PortScheduler& scheduler = station->scheduler();
  StationSettings settings;
  ASSERT_TRUE(ChooseNandBin(settings, Image("nand.bin").string(), false));
  settings.hwndMain = 1;
  ASSERT_EQ(scheduler.Scan(settings).claimed, 1);
  sim.JoinThreads();
  ASSERT_EQ(g_portRuns[0].burning, kBurningDone);
  const Bytes burned = sim.ReadNand(0, 0, sim.NandHighWater(0));
  sim.Plug(0, board);
  sim.WriteNand(0, 0, burned);

  const std::filesystem::path out = dump_.path() / "pages.bin";
  ASSERT_TRUE(scheduler.StartReadBack(settings, 1024, 1027, out));
  sim.JoinThreads();
  EXPECT_EQ(ReadBytes(out), Slice(ReadBytes(Image("loader.bin")), 0, 3 * 4096));
  EXPECT_EQ(std::ranges::count(sim.TraceText(0), std::string("read 8192")), 3);
  EXPECT_TRUE(sim.WasReset(0));
  ResetPortRecords();

  // The console's readback is the same READ on a board of its own, a fresh one: only
  // its result line and the file's length tell about the command itself.
  const RunResult run = RunKorvex("--home " + home_.path().string() +
                                  " --json readback --sim 1 --from 1024 --to 1027 --out " + out.string());
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_TRUE(run.out.ends_with(R"({"type":"readback","ok":true,"out":")" + out.string() +
                                R"(","from":1024,"to":1027,"bytes":6144})" + "\n")) << run.out;
  EXPECT_EQ(std::filesystem::file_size(out), 3u * 2048);

  // A write that comes up short (here a file size limit) fails the command, never
  // "read pages ... into".
  const RunResult shortWrite = RunKorvex("--home " + home_.path().string() + " readback --sim 1 --from 0 --to 100 "
                                         "--out " + out.string(), "ulimit -f 8; trap '' XFSZ; ");
  EXPECT_EQ(shortWrite.exitCode, 1);
  EXPECT_EQ(shortWrite.out.find("read pages"), std::string::npos) << shortWrite.out;
  // The limit counts in blocks of the shell's size: 512 bytes for sh.
  EXPECT_TRUE(shortWrite.err.ends_with("korvex: readback: writing " + out.string() + " failed: it holds 4096 bytes "
                                       "of the 204800 the pages take (disk full or a write refused?); free some "
                                       "space or give --out another folder\n")) << shortWrite.err;

  // Ctrl-C or SIGTERM mid-read: exit 1 and no partial file left behind.
  for (const int signal : {SIGINT, SIGTERM}) {
    const RunResult stopped = RunKorvexSignalledAt("--home " + home_.path().string() + " readback --sim 1 --from 0 "
                                                   "--to 32768 --out " + out.string(), "reading back 10%", signal);
    EXPECT_EQ(stopped.exitCode, 1) << signal;
    EXPECT_EQ(stopped.out.find("read pages"), std::string::npos) << stopped.out;
    EXPECT_FALSE(std::filesystem::exists(out)) << signal;
  }
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

std::string ReadText(const std::string& path) {
  const Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// A release engineer's job, checked and burned by: the boards carry its identity,
// options may repeat it but not contradict it, and an image that is not the
// released one stops the pre-flight with both hashes.
TEST_F(StationTest, AJobBurnsWithItsIdentityAndRefusesImagesItDidNotRelease) {
  const std::string home = "--home " + home_.path().string() + " ";
  const std::string job = (home_.path() / "r1.job").string();
  RunResult run = RunKorvex("job new --name R1 --model 7130 --nand " + Image("nand.bin").string() +
                            " --verify --lot L7 --out " + job);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(ReadText(job).find("\nnand = images/nand.bin\n"), std::string::npos) << ReadText(job);
  run = RunKorvex("job check " + job);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_TRUE(run.out.ends_with("the images on disk are the ones job R1 released\n")) << run.out;

  run = RunKorvex(home + "station --sim 1 --job " + job + " --lot L8");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err, "korvex: --lot L8 contradicts job R1, whose is L7\n");
  run = RunKorvex(home + "station --sim 1 --job " + job + " --model 7135");
  EXPECT_EQ(run.err, "korvex: --model 7135 contradicts job R1, which burns model 7130\n");

  run = RunKorvex(home + "--json station --until-done --sim 2 --job " + job + " --operator Ann --work-order W9 "
                  "--verify --nand " + Image("nand.bin").string());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find(R"("model":"7130","simulated":true,"boards":2,"chip":"ECD3:589551","job":"R1","lot":"L7",)"
                         R"("workOrder":"W9","operator":"Ann")"), std::string::npos) << run.out;
  const RunResult listed = RunKorvex(home + "--json records --job R1 --lot L7");
  EXPECT_EQ(std::ranges::count(listed.out, '\n'), 2) << listed.out;
  EXPECT_NE(listed.out.find(R"("options":{"formatAfter":false,"eraseChip":false,"fsFormat":false,"verify":true},)"
                            R"("job":"R1","lot":"L7","workOrder":"W9","operator":"Ann"})"), std::string::npos);
  EXPECT_EQ(RunKorvex(home + "records --job R2").out, RecordTableHeader() + "0 records\n");

  std::ofstream(Image("res.bin"), std::ios::app) << "patched";
  run = RunKorvex("job check " + job);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find("res.bin: differs  " + Image("res.bin").string() + "\n  job  "), std::string::npos);
  run = RunKorvex(home + "station --sim 1 --job " + job);
  EXPECT_EQ(run.exitCode, 2);
  const std::string head = "korvex: pre-flight: res.bin: " + Image("res.bin").string() +
                           " is not the image job R1 released: its SHA-256 is ";
  ASSERT_TRUE(run.err.starts_with(head)) << run.err;
  const std::string jobText = ReadText(job);
  const std::string released = jobText.substr(jobText.find("sha256.res.bin = ") + 17, 64);
  EXPECT_EQ(run.err.substr(head.size() + 64), ", the job's is " + released + "\n");
}

}  // namespace
}  // namespace korvex
