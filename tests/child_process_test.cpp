// The host's way of running a job's hooks, against real programs: its input, its
// bounded output, its exit code, and a timeout that ends the program and its children.

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "host/child_process.h"
#include "temp_dir.h"

namespace korvex {
namespace {

TEST(ChildProcess, InputOutputExitCodesLimitsAndTimeouts) {
  testing::TempDir dir;
  const std::string folder = dir.path().string();
  const std::string big(1 << 20, 'x');  // more than any pipe holds
  constexpr std::uint32_t kEnds = 60'000;  // a slow, loaded machine still ends these in time
  const struct {
    const char* command;
    std::string_view input;
    ProcessResult::Outcome outcome;
    int exitCode;
    std::string output, errors;
    std::uint32_t timeoutMs;
  } kCases[] = {
      {"tr a-z A-Z; echo oops >&2; exit 7", "board\n", ProcessResult::Outcome::kExited, 7, "BOARD\n", "oops\n", kEnds},
      {"pwd", "", ProcessResult::Outcome::kExited, 0, folder + "\n", "", kEnds},
      {"exit 0", big, ProcessResult::Outcome::kExited, 0, "", "", kEnds},  // never reads its input
      {"head -c 300000 /dev/zero | tr '\\0' y", "", ProcessResult::Outcome::kExited, 0, std::string(1000, 'y'), "", kEnds},
      {"sleep 30 & echo $! > pid; wait", "", ProcessResult::Outcome::kTimedOut, -1, "", "", 300},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.command);
    ProcessRequest request;
    request.commandLine = c.command;
    request.folder = folder;
    request.input = c.input;
    request.timeoutMs = c.timeoutMs;
    request.outputLimit = 1000;
    const ProcessResult result = RunChildProcess(request);
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.errors, c.errors);
  }
  // The timed-out shell's whole group was killed, its background sleep too (gone, or
  // a zombie until whoever inherited it reaps it).
  std::string child;
  std::ifstream(dir.path() / "pid") >> child;
  ASSERT_FALSE(child.empty());
  // A kill to a group is delivered at once but taken by each member on its own time, so
  // the sleep may still be on its way out just after the shell is reaped.
  std::string state;
  for (int tries = 0; tries < 500; ++tries) {
    std::string pid, name;
    state.clear();
    std::ifstream("/proc/" + child + "/stat") >> pid >> name >> state;
    if (state.empty() || state == "Z") break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(state.empty() || state == "Z") << state;
}

}  // namespace
}  // namespace korvex
