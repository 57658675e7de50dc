// The desktop services of the simulated host.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "sim/sim_host.h"

namespace korvex::sim {
namespace {

TEST(SimDesktop, MessageBoxesGoToStderrWithThePortNumberedFromOne) {
  SimHost sim(1, "/nonexistent");
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(sim.ShowMessageBox({"Invalid handle!", "", MessageButtons::OkCancel, 2}),
            MessageAnswer::Ok);
  EXPECT_EQ(sim.ShowMessageBox({"ERROR::Please Delete some device driver!!", "",
                                MessageButtons::Ok, kNoPort}),
            MessageAnswer::Ok);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "port 3: Invalid handle!\nERROR::Please Delete some device driver!!\n");
}

TEST(SimDesktop, AHandlerAnswersMessageBoxesInstead) {
  SimHost sim(1, "/nonexistent");
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

TEST(SimDesktop, ModuleFileLivesInTheHomeFolder) {
  SimHost sim(1, std::filesystem::path("/opt") / "station");
  EXPECT_EQ(sim.ModuleFileName(), "/opt/station/korvex");
}

TEST(SimDesktop, InstantSleepDoesNotWaitButRealSleepDoes) {
  SimHost sim(1, "/nonexistent");
  const auto start = std::chrono::steady_clock::now();
  sim.Sleep(30);
  const auto slept = std::chrono::steady_clock::now() - start;
  EXPECT_GE(slept, std::chrono::milliseconds(30));
  sim.SetInstantSleep(true);
  const auto instantStart = std::chrono::steady_clock::now();
  sim.Sleep(60'000);
  EXPECT_LT(std::chrono::steady_clock::now() - instantStart, std::chrono::seconds(5));
}

TEST(SimDesktop, LocalTimeIsTheClockOfThisMachine) {
  SimHost sim(1, "/nonexistent");
  const LocalTime time = sim.GetLocalTime();
  const std::time_t now = std::time(nullptr);
  const std::tm local = *std::localtime(&now);  // no other thread runs here
  EXPECT_EQ(time.year, local.tm_year + 1900);
  EXPECT_EQ(time.month, local.tm_mon + 1);
  EXPECT_GE(time.day, 1);
  EXPECT_LE(time.day, 31);
  EXPECT_LT(time.millisecond, 1000);
  EXPECT_LT(time.dayOfWeek, 7);
}

}  // namespace
}  // namespace korvex::sim
