// The desktop services of the simulated host: message boxes.

#include <gtest/gtest.h>


#include "sim/sim_host.h"

namespace korvex::sim {
namespace {

TEST(SimDesktop, MessageBoxesGoToStderrWithThePortNumberedFromOneOrToAHandler) {
  SimHost sim(1, "/nonexistent");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(sim.ShowMessageBox({"Invalid handle!", "", MessageButtons::OkCancel, 2}),
            MessageAnswer::Ok);
  EXPECT_EQ(sim.ShowMessageBox({"ERROR::Please Delete some device driver!!", "",
                                MessageButtons::Ok, kNoPort}),
            MessageAnswer::Ok);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "port 3: Invalid handle!\nERROR::Please Delete some device driver!!\n");

  std::string seen;
  sim.SetMessageBoxHandler([&](const MessageBoxRequest& request) {
    seen = std::string(request.text) + "|" + std::string(request.caption);
    return MessageAnswer::Cancel;
  });
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(sim.ShowMessageBox({"check cfg failed!", "Korvex", MessageButtons::OkCancel, 0}),
            MessageAnswer::Cancel);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(seen, "check cfg failed!|Korvex");
}

}  // namespace
}  // namespace korvex::sim
