// The text form of a board's fault plan.

#include <gtest/gtest.h>

#include <string>

#include "sim/board_setup.h"

namespace korvex::sim {
namespace {

TEST(SimFaultPlan, ReadsEveryFaultInAnyOrder) {
  std::string error;
  const auto plan = ParseFaultPlan(
      "seed=0x10, bad=3;17;0x20,unplug-after=40,program-fail=9,hang-after=0,"
      "fail-request=7@3,random-bad=5,unplug-at-page=1024",
      error);
  ASSERT_TRUE(plan) << error;
  EXPECT_EQ(plan->seed, 16u);
  EXPECT_EQ(plan->badBlocks, (std::vector<std::uint32_t>{3, 17, 32}));
  EXPECT_EQ(plan->unplugAfterExchange, 40u);
  EXPECT_EQ(plan->programFailBlocks, std::vector<std::uint32_t>{9});
  EXPECT_EQ(plan->hangAfterExchange, 0u);
  EXPECT_EQ(plan->failRequest, 7u);
  EXPECT_EQ(plan->failRequestOccurrence, 3u);
  EXPECT_EQ(plan->randomBadBlocks, 5u);
  EXPECT_EQ(plan->unplugAtPage, 1024u);
}

TEST(SimFaultPlan, EmptyTextIsNoFaultAndOccurrenceDefaultsToFirst) {
  std::string error;
  const auto none = ParseFaultPlan("", error);
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->unplugAfterExchange || none->hangAfterExchange || none->failRequest);
  EXPECT_TRUE(none->badBlocks.empty());
  const auto first = ParseFaultPlan("fail-request=9", error);
  ASSERT_TRUE(first) << error;
  EXPECT_EQ(first->failRequest, 9u);
  EXPECT_EQ(first->failRequestOccurrence, 1u);
}

TEST(SimFaultPlan, RefusesMalformedTextSayingWhy) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"unplug-after=0", "out of range 1.."},
      {"unplug-after=ten", "\"ten\" is not a number"},
      {"bad=1;;2", "\"\" is not a number"},
      {"bad=1;2;", "\"\" is not a number"},
      {"fail-request=7@0", "out of range 1.."},
      {"unplug-at-page=4294967296", "out of range 0..4294967295"},
      {"random-bad=-1", "not a number"},
      {"seed=1,seed=2", "\"seed\" is given twice"},
      {"explode=1", "unknown fault \"explode\""},
      {"bad", "needs a value"},
      {"bad=", "needs a value"},
      {"hang-after=1,", "empty fault item"},
      {"seed=99999999999999999999", "not a number"},
  };
  for (const auto& [text, why] : cases) {
    std::string error;
    EXPECT_FALSE(ParseFaultPlan(text, error)) << text;
    EXPECT_NE(error.find(why), std::string::npos) << text << " -> " << error;
  }
}

}  // namespace
}  // namespace korvex::sim
