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
  const auto line = Read({"--sim", "8", "--sim-chip", "0x2CD7:843E94", "--sim-bad-blocks", "3,17",
                          "--sim-seed", "18446744073709551615", "--sim-fault", "random-bad=2,seed=9",
                          "--model", "7120", "--sim-timing"},
                         error);
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

TEST(SimOptions, MistakesAreRefusedWithOneLineNamingTheShellsOption) {
  const struct {
    std::vector<std::string_view> args;
    std::string error;
  } cases[] = {
      {{"--sim", "9"}, "--sim takes a number of boards from 0 to 8"},
      {{"--sim", ""}, "--sim takes a number of boards from 0 to 8"},
      {{"--model", "7140"}, "--model takes 7120, 7130, 7135 or 7105B"},
      {{"--sim-chip", "ECD3"}, "--sim-chip takes MAIN:EXT in hex, e.g. ECD3:589551"},
      {{"--sim-chip", "ECD3:1000000"}, "--sim-chip takes MAIN:EXT in hex, e.g. ECD3:589551"},
      {{"--sim-chip", "1ECD3:589551"}, "--sim-chip takes MAIN:EXT in hex, e.g. ECD3:589551"},
      {{"--sim-chip", "ECD3:58"},
       "--sim-chip: no simulated chip ECD3:58 (known: ECD3:589551 ECD5:74B614 ECD7:78B655 ADD3:34A514 "
       "2CD7:843E94 98DA:761590)"},
      {{"--sim-bad-blocks", "3,x"}, "--sim-bad-blocks takes block numbers separated by commas, e.g. 12,40"},
      {{"--sim-bad-blocks", "12,"}, "--sim-bad-blocks takes block numbers separated by commas, e.g. 12,40"},
      {{"--sim-bad-blocks", "4294967296"}, "--sim-bad-blocks takes block numbers separated by commas, e.g. 12,40"},
      {{"--sim-seed", "-1"}, "--sim-seed takes a decimal number"},
      {{"--sim-fault", "bad=1,,"}, "--sim-fault: empty fault item (two commas in a row, or a comma at an end)"},
      // The fault plan is read first, then the bad blocks, then the seed.
      {{"--sim-seed", "x", "--sim-bad-blocks", "x", "--sim-fault", ","},
       "--sim-fault: empty fault item (two commas in a row, or a comma at an end)"},
      {{"--sim-seed", "x", "--sim-bad-blocks", "x"},
       "--sim-bad-blocks takes block numbers separated by commas, e.g. 12,40"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(Read(c.args, error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace korvex::sim
