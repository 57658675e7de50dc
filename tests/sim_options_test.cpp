// The --sim-... options as both station shells read them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_options.h"

namespace korvex::sim {
namespace {

// `args` under the console's names: each option then its value, if it takes one.
std::optional<SimulatedLine> Read(const std::vector<std::string_view>& args, std::string& error) {
  SimOptionParser parser("--sim", "--model", 8);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const SimOption* option = parser.Find(args[i]);
    if (option == nullptr) {
      error = "not an option: " + std::string(args[i]);
      return std::nullopt;
    }
    const std::string_view value = option->takesValue ? args.at(++i) : std::string_view();
    if (!parser.Read(option->name, value, error)) return std::nullopt;
  }
  return parser.Finish(error);
}

TEST(SimOptions, EveryOptionIsReadAndAFaultPlanGivenLastKeepsTheBlocksAndSeed) {
  std::string error;
  const auto line = Read({"--sim", "8", "--sim-chip", "0x2CD7:843E94", "--sim-bad-blocks", "3,17", "--sim-seed",
                          "18446744073709551615", "--sim-fault", "random-bad=2,seed=9", "--model", "7120",
                          "--sim-timing"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->boards, 8);
  EXPECT_EQ(line->board.chip.mainId, 0x2CD7);
  EXPECT_EQ(line->board.chip.extId, 0x843E94u);
  EXPECT_EQ(line->board.model, 0);
  EXPECT_EQ(line->board.faults.badBlocks, (std::vector<std::uint32_t>{3, 17}));
  EXPECT_EQ(line->board.faults.randomBadBlocks, 2u);
  EXPECT_EQ(line->board.faults.seed, 18446744073709551615u);
  EXPECT_TRUE(line->timing);
}

// A port's faults go over every board's: its numbers replace, its blocks add; texts
// for one target read as one plan. Events sort by time, ties as given.
TEST(SimOptions, PortFaultsLieOverEveryBoardsAndEventsKeepTheirOrder) {
  std::string error;
  const auto line = Read({"--sim", "2", "--sim-fault", "bad=3,unplug-after=9", "--sim-fault", "2:bad=7",
                          "--sim-fault", "2:unplug-after=4", "--sim-bad-blocks", "5", "--sim-fault", "seed=6",
                          "--sim-event", "1s:plug:5", "--sim-event", "500ms:unplug:2", "--sim-event",
                          "1000ms:plug-new:1", "--sim-fault", "5:hang-after=0"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->board.faults.badBlocks, (std::vector<std::uint32_t>{3, 5}));
  EXPECT_EQ(line->board.faults.seed, 6u);
  EXPECT_EQ(line->FirstBoardOn(0).faults.unplugAfterExchange, 9u);
  const FaultPlan port2 = line->FirstBoardOn(1).faults;
  EXPECT_EQ(port2.badBlocks, (std::vector<std::uint32_t>{3, 5, 7}));
  EXPECT_EQ(port2.unplugAfterExchange, 4u);
  EXPECT_EQ(port2.seed, 6u);
  EXPECT_EQ(line->FirstBoardOn(4).faults.hangAfterExchange, 0u);
  EXPECT_EQ(line->UsbPorts(), 5);
  ASSERT_EQ(line->events.size(), 3u);
  EXPECT_EQ(line->events[0].usbPort, 1);
  EXPECT_EQ(line->events[1].action, PlugAction::kPlug);
  EXPECT_EQ(line->events[2].at, std::chrono::milliseconds(1000));
  EXPECT_EQ(line->events[2].usbPort, 0);
}

// Any chip: keys in no list, with the geometry given; its blocks bound the bad blocks.
TEST(SimOptions, AChipOfAnyGeometryTakesItsKeysAndFields) {
  std::string error;
  const auto line = Read({"--sim-chip", "1234:ABCDEF,blocks=512,page=2048,spare=64,block=1024", "--sim-bad-blocks",
                          "511"}, error);
  ASSERT_TRUE(line) << error;
  EXPECT_EQ(line->board.chip.mainId, 0x1234);
  EXPECT_EQ(line->board.chip.extId, 0xABCDEFu);
  ASSERT_TRUE(line->board.chip.geometry);
  const ChipGeometry& geometry = *line->board.chip.geometry;
  EXPECT_EQ(geometry.pageSize, 2048u);
  EXPECT_EQ(geometry.blockSize, 1024u * 1024);
  EXPECT_EQ(geometry.spareSize, 64u);
  EXPECT_EQ(geometry.totalBlocks, 512u);
  EXPECT_FALSE(Read({"--sim-chip", "1234:ABCDEF,page=2048,block=1024,spare=64,blocks=512", "--sim-bad-blocks", "512"},
                    error));
  EXPECT_EQ(error, "--sim-bad-blocks: block 512 is past the chip's last block 511");
  // A known chip given again without fields is the simulator's own again.
  ASSERT_TRUE(Read({"--sim-chip", "1234:ABCDEF,page=2048,block=1024,spare=64,blocks=512", "--sim-chip", "ECD3:589551"},
                   error));
}

TEST(SimOptions, MistakesAreRefusedWithOneLineNamingTheShellsOption) {
  const std::string boards = "--sim takes a number of boards from 0 to 8";
  const std::string chip = "--sim-chip takes MAIN:EXT in hex, e.g. ECD3:589551";
  const std::string geometry =
      "--sim-chip takes MAIN:EXT or MAIN:EXT,page=P,block=KIB,spare=S,blocks=N, e.g. "
      "98DA:761590,page=2048,block=128,spare=64,blocks=2048";
  const std::string blocks = "--sim-bad-blocks takes block numbers separated by commas, e.g. 12,40";
  const std::string emptyItem = "--sim-fault: empty fault item (two commas in a row, or a comma at an end)";
  const struct { std::vector<std::string_view> args; std::string error; } cases[] = {
      {{"--sim", "9"}, boards}, {{"--sim", ""}, boards},
      {{"--model", "7140"}, "--model takes 7120, 7130, 7135 or 7105B"},
      {{"--sim-chip", "ECD3"}, chip}, {{"--sim-chip", "ECD3:1000000"}, chip}, {{"--sim-chip", "1ECD3:589551"}, chip},
      {{"--sim-chip", "ECD3:58"},
       "--sim-chip: no simulated chip ECD3:58 (known: ECD3:589551 ECD5:74B614 ECD7:78B655 ADD3:34A514 "
       "2CD7:843E94 98DA:761590)"},
      {{"--sim-chip", "1234:5,page=2048,block=128,spare=64"},
       "--sim-chip: blocks= is missing (" + geometry + ")"},
      {{"--sim-chip", "1234:5,page=2048,pages=64"}, geometry + " (not a field: \"pages=64\")"},
      {{"--sim-chip", "1234:5,page=2048,page=4096"}, "--sim-chip: page= is given twice"},
      {{"--sim-chip", "1234:5,page=2k,block=128,spare=64,blocks=8"},
       "--sim-chip: page= takes a decimal number, not \"2k\""},
      {{"--sim-chip", "1234:5,page=3000,block=128,spare=64,blocks=8"},
       "--sim-chip: page=3000 is not a page size: a power of two from 512 to 16384 bytes"},
      {{"--sim-chip", "1234:5,page=4096,block=6,spare=64,blocks=8"},
       "--sim-chip: block=6 is not a block: KiB from 1 to 16384 holding a whole number of 4096-byte pages"},
      {{"--sim-chip", "1234:5,page=2048,block=128,spare=600,blocks=8"},
       "--sim-chip: spare=600 is more spare bytes than a 2048-byte page has (at most 512)"},
      {{"--sim-chip", "1234:5,page=2048,block=128,spare=64,blocks=1"},
       "--sim-chip: blocks=1 is not from 2 to 65536"},
      {{"--sim-chip", "1234,page=2048"}, geometry},
      {{"--sim-bad-blocks", "3,x"}, blocks}, {{"--sim-bad-blocks", "12,"}, blocks},
      {{"--sim-bad-blocks", "4294967296"}, blocks}, {{"--sim-seed", "-1"}, "--sim-seed takes a decimal number"},
      {{"--sim-fault", "bad=1,,"}, emptyItem},
      // The fault plan is read first, then the bad blocks, then the seed.
      {{"--sim-seed", "x", "--sim-bad-blocks", "x", "--sim-fault", ","}, emptyItem},
      {{"--sim-seed", "x", "--sim-bad-blocks", "x"}, blocks},
      // Blocks past the end of the line's chip (the default chip's: the console tests).
      {{"--sim-fault", "bad=0x1000", "--sim-chip", "ADD3:34A514"},
       "--sim-fault: bad block 4096 is past the chip's last block 4095"},
      {{"--sim", "1", "--sim-chip", "98DA:761590", "--sim-fault", "1:program-fail=2048"},
       "--sim-fault for port 1: program-fail block 2048 is past the chip's last block 2047"},
      {{"--sim-fault", "seed=1", "--sim-fault", "seed=2"}, "--sim-fault: fault \"seed\" is given twice"},
      {{"--sim-fault", "9:seed=1"}, "--sim-fault \"9:seed=1\": port 9 is not one of 1..8"},
      {{"--sim", "2", "--sim-fault", "3:seed=1", "--sim-event", "1s:plug-new:3"},
       "--sim-fault for port 3: no board is ever plugged into port 3 (--sim 2, and no --sim-event plugs one "
       "there)"},
      {{"--sim-event", "5:unplug:1"},
       "--sim-event \"5:unplug:1\": the time \"5\" is not a whole number of ms or s up to 3600s"},
      {{"--sim-event", "3601s:unplug:1"},
       "--sim-event \"3601s:unplug:1\": the time \"3601s\" is not a whole number of ms or s up to 3600s"},
      {{"--sim-event", "5s:pull:1"},
       "--sim-event \"5s:pull:1\": unknown action \"pull\" (known: unplug, plug, plug-new)"},
      {{"--sim-event", "5s:plug:0"}, "--sim-event \"5s:plug:0\": the port \"0\" is not one of 1..8"},
      {{"--sim-event", "5s:plug"}, "--sim-event \"5s:plug\": takes TIME:ACTION:PORT, e.g. 5s:unplug:3"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(Read(c.args, error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace korvex::sim
