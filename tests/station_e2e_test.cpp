// The console station against simulated boards, end to end: boot, images, identity
// pages, log and exit code, checked on the boards' dumped NAND.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "host/paths.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

// length bytes of a file from offset; past the file's end a dump reads 0xFF, as the
// NAND there was never written.
Bytes ReadAt(const std::filesystem::path& path, std::size_t offset, std::size_t length) {
  Bytes out(length, 0xFF);
  std::ifstream file(path, std::ios::binary);
  file.seekg(static_cast<std::streamoff>(offset));
  file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(length));
  return out;
}

Bytes ReadFile(const std::filesystem::path& path) {
  return ReadAt(path, 0, std::filesystem::file_size(path));
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

  testing::TempDir home_;
  testing::TempDir dump_;
};

// Where each image starts in the dump and the page view it was written in.
struct ZoneCheck {
  const char* image;
  std::size_t firstPage;
  std::size_t pageBytes;
};

TEST_F(StationTest, EveryModelBurnsTwoBoardsFromTheSampleImages) {
  const struct {
    const char* model;
    bool infoPages;
  } models[] = {{"7120", false}, {"7130", true}, {"7135", true}, {"7105B", true}};
  for (const auto& model : models) {
    SCOPED_TRACE(model.model);
    const RunResult run = Burn(std::string("--sim 2 --model ") + model.model);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(ResultOfPort(run.out, 1), "burned");
    EXPECT_EQ(ResultOfPort(run.out, 2), "burned");

    for (int board = 0; board < 2; ++board) {
      // The default chip has 2048-byte pages, so every view is the same here.
      for (const ZoneCheck& zone : {ZoneCheck{"loader.bin", 1024, 2048}, ZoneCheck{"img_boot.bin", 1536, 2048},
                                    ZoneCheck{"minios.bin", 25088, 2048}, ZoneCheck{"res.bin", 49664, 2048}}) {
        const Bytes image = ReadFile(Image(zone.image));
        EXPECT_EQ(Nand(board, zone.firstPage * zone.pageBytes, image.size()), image) << zone.image;
      }
      const Bytes nandBin = ReadFile(Image("nand.bin"));
      EXPECT_EQ(Nand(board, 0, 61 * 2048), Slice(nandBin, 0, 61 * 2048));
      EXPECT_EQ(Nand(board, 1280 * 2048, 4), Bytes(4, 0xFF)) << "def_boot.bin stays out in normal mode";

      // Identity pages: geometry twice (models with information pages), then the ID.
      if (model.infoPages) {
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
    }
  }
  const std::vector<std::string> log = LogLines();
  EXPECT_EQ(log.back(), "Update NUM is 2, someone close the tool of the korvex!");
}

TEST_F(StationTest, BadBlocksInSeveralZonesAreSkippedByTheBoard) {
  // 128 KiB blocks of 64 pages: block 3 lies in nand.bin's zone, 17 in loader.bin's,
  // 30 in img_boot.bin's.
  const RunResult run = Burn("--sim 1 --sim-bad-blocks 3,17,30");
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  const int board = 0;
  const std::size_t block = 64 * 2048;
  const Bytes nandBin = ReadFile(Image("nand.bin"));
  const Bytes loader = ReadFile(Image("loader.bin"));
  const Bytes imgBoot = ReadFile(Image("img_boot.bin"));
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
  const Bytes nandBin = ReadFile(Image("nand.bin"));
  EXPECT_EQ(Nand(board, 0, 61 * 2048), Slice(nandBin, 0, 61 * 2048));
  EXPECT_EQ(Le32(Nand(board, 61 * 2048, 4)), 4096u);
  EXPECT_EQ(Le32(Nand(board, 61 * 2048 + 8, 4)), 128u);
  const Bytes res = ReadFile(Image("res.bin"));
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
  EXPECT_EQ(ResultOfPort(run.out, 1), "failed");
  EXPECT_NE(run.out.find(R"("reason":"Flash: ID=0x98da, ExtID=0x761590. Use default para burning!")"),
            std::string::npos);

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
    for (int port = 1; port <= 8; ++port) EXPECT_EQ(ResultOfPort(run.out, port), "interrupted") << port;
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
    EXPECT_EQ(ResultOfPort(run.out, port), "unplugged") << run.out;
  }
  EXPECT_NE(run.out.find(R"("reason":"nand.bin disconnected!")"), std::string::npos) << run.out;
}

TEST_F(StationTest, ReadbackCopiesAPageRangeOfTheBurnedBoard) {
  // Burn, then read pages 1024..1026 (loader.bin's first pages) of a board seeded the
  // same way: the dump of the burn is the reference.
  ASSERT_EQ(Burn("--sim 1").exitCode, 0);
  const int board = 0;
  const std::filesystem::path out = dump_.path() / "pages.bin";
  // A board fresh from the factory reads all 0xFF.
  const RunResult run = RunKorvex("--home " + home_.path().string() +
                                  " readback --sim 1 --from 1024 --to 1027 --out " + out.string());
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_EQ(ReadFile(out), Bytes(3 * 2048, 0xFF));
  EXPECT_EQ(Nand(board, 1024 * 2048, 8), Slice(ReadFile(Image("loader.bin")), 0, 8));
}

}  // namespace
}  // namespace korvex
