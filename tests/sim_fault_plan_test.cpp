// The text form of a board's fault plan.

#include <gtest/gtest.h>

#include <string>

#include "sim/board_setup.h"

namespace korvex::sim {
namespace {

TEST(SimFaultPlan, RefusesMalformedTextSayingWhy) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"unplug-after=0", "out of range 1.."},
      {"unplug-after=ten", "\"ten\" is not a number"},
      {"bad=1;;2", "\"\" is not a number"},
      {"fail-request=7@0", "out of range 1.."},
      {"unplug-at-page=4294967296", "out of range 0..4294967295"},
      {"random-bad=-1", "not a number"},
      {"seed=1,seed=2", "\"seed\" is given twice"},
      {"explode=1", "unknown fault \"explode\""},
      {"bad=", "needs a value"},
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
