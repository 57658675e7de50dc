// The station against simulated boards, end to end: the console's burns checked on
// the boards' dumped NAND (boot, images, identity pages, log and exit code), eight
// boards at once, and READ on a burned board.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/port_scheduler.h"
#include "app/station_settings_model.h"
#include "cli_runner.h"
#include "app/port_workers.h"
#include "host/paths.h"
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

std::uint32_t Le32(const Bytes& bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
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
  // Bytes of a board's dumped NAND.
  Bytes Nand(int board, std::size_t offset, std::size_t length) const {
    return ReadAt(dump_.path() / ("board-" + std::to_string(board) + ".nand"), offset, length);
  }
  std::filesystem::path LogPath() const {
    for (const auto& entry : std::filesystem::directory_iterator(home_.path())) {
      if (entry.path().extension() == ".txt") return entry.path();
    }
    return home_.path() / "no-log.txt";
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

  // Identity pages: geometry twice (models with information pages), then the ID.
  if (infoPages) {
    for (const std::size_t page : {61u, 62u}) {
      EXPECT_EQ(Le32(Nand(board, page * 2048, 4)), 2048u);
      EXPECT_EQ(Le32(Nand(board, page * 2048 + 4, 4)), 64u);
      EXPECT_EQ(Le32(Nand(board, page * 2048 + 8, 4)), 64u);
    }
  } else {
    EXPECT_EQ(Nand(board, 61 * 2048, 2048), Bytes(2048, 0xFF));
  }
  const Bytes uid = Nand(board, 63 * 2048, 16);
  char text[64];
  std::snprintf(text, sizeof text,
                "nandUID: %02x%02x %02x%02x %02x%02x %02x%02x %02x%02x %02x%02x %02x%02x %02x%02x",
                uid[0], uid[1], uid[2], uid[3], uid[4], uid[5], uid[6], uid[7], uid[8], uid[9],
                uid[10], uid[11], uid[12], uid[13], uid[14], uid[15]);
  EXPECT_NE(run.out.find(text), std::string::npos) << text;
  EXPECT_EQ(Nand(board, 63 * 2048 + 16, 2032), Bytes(2032, 0xFF));
  return text;
}

std::string PortResult(int port, const char* result) {
  return R"({"type":"result","port":)" + std::to_string(port) + R"(,"result":")" + result + "\"";
}

TEST_F(StationTest, EveryModelBurnsTwoBoardsFromTheSampleImages) {
  const struct {
    const char* model;
    bool infoPages;
  } models[] = {{"7120", false}, {"7130", true}, {"7105B", true}};  // 7135: eight boards below
  for (const auto& model : models) {
    SCOPED_TRACE(model.model);
    const RunResult run = Burn(std::string("--sim 2 --model ") + model.model);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(PortResult(1, "burned") + R"(,"uid":"nandUID: )"), std::string::npos);
    EXPECT_NE(run.out.find(PortResult(2, "burned")), std::string::npos);
    for (int board = 0; board < 2; ++board) ExpectBurned(run, board, model.infoPages);
  }
  EXPECT_EQ(LogLines().back(), "Update NUM is 2, someone close the tool of the korvex!");
}

TEST_F(StationTest, EightBoardsBurnAtOnceEachWithItsOwnId) {
  const RunResult run = Burn("--sim 8");
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  std::set<std::string> uids;
  for (int board = 0; board < 8; ++board) {
    EXPECT_NE(run.out.find(PortResult(board + 1, "burned")), std::string::npos) << board;
    uids.insert(ExpectBurned(run, board, true));
  }
  EXPECT_EQ(uids.size(), 8u);
  EXPECT_EQ(LogLines().back(), "Update NUM is 8, someone close the tool of the korvex!");
}

TEST_F(StationTest, BadBlocksInSeveralZonesAreSkippedByTheBoard) {
  // 128 KiB blocks of 64 pages: block 3 lies in nand.bin's zone, 17 in loader.bin's,
  // 30 in img_boot.bin's.
  const RunResult run = Burn("--sim 1 --sim-bad-blocks 3,17,30");
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const int board = 0;
  const std::size_t block = 64 * 2048;
  const Bytes nandBin = ReadBytes(Image("nand.bin"));
  const Bytes loader = ReadBytes(Image("loader.bin"));
  const Bytes imgBoot = ReadBytes(Image("img_boot.bin"));
  EXPECT_EQ(Nand(board, 3 * block, block), Bytes(block, 0xFF));
  EXPECT_EQ(Nand(board, 4 * block, block), Slice(nandBin, 3 * block, block));
  EXPECT_EQ(Nand(board, 17 * block, block), Bytes(block, 0xFF));
  EXPECT_EQ(Nand(board, 18 * block, block), Slice(loader, 1 * block, block));
  EXPECT_EQ(Nand(board, 30 * block, block), Bytes(block, 0xFF));
  EXPECT_EQ(Nand(board, 31 * block, block), Slice(imgBoot, 6 * block, block));
}

TEST_F(StationTest, AChipWith4096BytePagesGetsNandBinInTheNarrowViewAndTheRestInItsOwn) {
  // Row 5 of the built-in table: 4096-byte pages, 512 KiB blocks.
  const RunResult run = Burn("--sim 1 --sim-chip ECD7:78B655");
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const int board = 0;
  const Bytes nandBin = ReadBytes(Image("nand.bin"));
  EXPECT_EQ(Nand(board, 0, 61 * 2048), Slice(nandBin, 0, 61 * 2048));
  EXPECT_EQ(Le32(Nand(board, 61 * 2048, 4)), 4096u);
  EXPECT_EQ(Le32(Nand(board, 61 * 2048 + 8, 4)), 128u);
  const Bytes res = ReadBytes(Image("res.bin"));
  EXPECT_EQ(Nand(board, 49664u * 4096, res.size()), res);
}

TEST_F(StationTest, UnknownChipAndUnpluggedBoardEndInTheLogNotInSilence) {
  // A Toshiba TC58NVG1S3E: a chip the simulator carries but the station's table lacks.
  RunResult run = Burn("--sim 1 --sim-chip 98DA:761590");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find(R"({"type":"message","port":1,"text":"Flash: ID=0x98da, ExtID=0x761590. Use default para burning!"})"),
            std::string::npos) << run.out;
  EXPECT_NE(run.out.find(R"({"type":"message","port":1,"text":"Please check nand_cfg.h file!"})"),
            std::string::npos);
  EXPECT_NE(run.out.find(PortResult(1, "failed")), std::string::npos);

  // Unplugged while img_boot.bin is written (its zone starts at page 1536): whether the
  // scan or the next failed exchange notices first, the board is disconnected, never
  // bad NAND, and nothing after it is written.
  run = Burn("--sim 1 --sim-fault unplug-at-page=1600");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out.find("zone have too many bad blocks"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(R"("type":"message")"), std::string::npos) << run.out;
  const std::vector<std::string> log = LogLines();
  ASSERT_GE(log.size(), 2u);
  EXPECT_TRUE(log[log.size() - 2].ends_with(": img_boot.bin disconnected!")) << log[log.size() - 2];
  EXPECT_TRUE(log.back().ends_with("someone close the tool of the korvex!"));
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& line) { return line.ends_with("write Error!"); }),
            0);
}

// Ctrl-C or SIGTERM while eight boards burn: each stops at its next block and is
// interrupted, not bad NAND; the close line is the log's last.
TEST_F(StationTest, ClosingMidBurnInterruptsEveryBoardAndTheCloseLineIsLast) {
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    std::filesystem::remove(LogPath());
    const RunResult run = RunKorvexSignalledAt(
        "--home " + home_.path().string() + " --json station --sim 8 --sim-timing --nand " +
            Image("nand.bin").string(),
        "Update nand.bin succeeded!", signal);
    EXPECT_EQ(run.exitCode, 1);
    for (int port = 1; port <= 8; ++port) {
      EXPECT_NE(run.out.find(R"({"type":"result","port":)" + std::to_string(port) +
                             R"(,"result":"interrupted")"),
                std::string::npos) << port << run.out;
    }
    EXPECT_EQ(run.out.find("zone have too many bad blocks"), std::string::npos);
    const std::vector<std::string> log = LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Update NUM is 8, someone close the tool of the korvex!");
    EXPECT_EQ(std::ranges::count_if(log, [](const std::string& line) { return line.ends_with("Error!"); }),
              0);
  }
}

// Boards unplugged for good: their ports are freed, and --until-done still ends.
TEST_F(StationTest, UntilDoneEndsWhenUnpluggedBoardsPortsAreFreed) {
  const RunResult run = Burn("--sim 3 --sim-fault unplug-at-page=500");
  EXPECT_EQ(run.exitCode, 1);
  for (int port = 1; port <= 3; ++port) {
    EXPECT_NE(run.out.find(R"({"type":"result","port":)" + std::to_string(port) +
                           R"(,"result":"unplugged")"),
              std::string::npos) << run.out;
  }
}

TEST_F(StationTest, ALogThatCannotBeWrittenIsToldOnceAndFailsTheRunButNotTheBurn) {
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
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find(R"({"type":"result","port":1,"result":"burned")"), std::string::npos)
      << run.out;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_TRUE(run.err.starts_with("The production log " + home_.path().string()));
  EXPECT_TRUE(run.err.ends_with(" cannot be written: lines of this run are missing from it. "
                                "Burning goes on.\n")) << run.err;
  std::size_t records = 0;
  for (std::size_t at = 0; (at = run.out.find(R"({"type":"log-failed","file":")", at)) != std::string::npos; ++at) {
    ++records;
  }
  EXPECT_EQ(records, 1u) << run.out;
}

// READ on a burned board: the scan burns the board on port 0, the operator plugs it in
// again with its NAND as the burn left it, and pages 1024..1026 come back as the first
// three pages of loader.bin.
TEST_F(StationTest, ReadbackCopiesAPageRangeOfTheBurnedBoard) {
  sim::SimHost sim(1, home_.path());
  sim.SetInstantSleep(true);
  sim.SetMessageBoxHandler([](const MessageBoxRequest& request) {
    ADD_FAILURE() << request.text;
    return MessageAnswer::Ok;
  });
  ASSERT_TRUE(EnsureNandTable(sim));
  sim.Plug(0, {});
  ResetPortRecords();
  auto tables = std::make_unique<DeviceTables>();
  BuildDeviceTables(sim, *tables);
  PortScheduler scheduler(sim, *tables, ThreadFunc0, ReadBack);
  StationSettings settings;
  ASSERT_TRUE(ChooseNandBin(settings, Image("nand.bin").string(), false));
  settings.hwndMain = 1;
  ASSERT_EQ(scheduler.Scan(settings).claimed, 1);
  sim.JoinThreads();
  ASSERT_EQ(g_portRuns[0].burning, kBurningDone);
  const Bytes burned = sim.ReadNand(0, 0, sim.NandHighWater(0));
  sim.Plug(0, {});
  sim.WriteNand(0, 0, burned);

  const std::filesystem::path out = dump_.path() / "pages.bin";
  ASSERT_TRUE(scheduler.StartReadBack(settings, 1024, 1027, out));
  sim.JoinThreads();
  EXPECT_EQ(ReadBytes(out), Slice(ReadBytes(Image("loader.bin")), 0, 3 * 2048));
  ResetPortRecords();

  // The console's readback is the same READ on a board of its own, a fresh one: only
  // its result line and the file's length tell about the command itself.
  const RunResult run = RunKorvex("--home " + home_.path().string() +
                                  " --json readback --sim 1 --from 1024 --to 1027 --out " + out.string());
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_TRUE(run.out.ends_with(R"({"type":"result","ok":true,"out":")" + out.string() + "\"}\n")) << run.out;
  EXPECT_EQ(std::filesystem::file_size(out), 3u * 2048);
}

}  // namespace
}  // namespace korvex
