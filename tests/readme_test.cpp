// README.md stays true: every korvex command in its sh blocks runs against a fresh
// home and exits 0. make's targets are left to make.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "temp_dir.h"

namespace korvex {
namespace {

std::vector<std::string> ReadmeCommands() {
  std::ifstream readme(std::string(KORVEX_SOURCE_DIR) + "/README.md");
  std::vector<std::string> commands;
  bool inSh = false;
  for (std::string line; std::getline(readme, line);) {
    if (line.starts_with("```")) {
      inSh = !inSh && line == "```sh";
    } else if (inSh && !line.empty() && !line.starts_with("make ")) {
      commands.push_back(line);
    }
  }
  return commands;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

TEST(Readme, EveryKorvexCommandInItRuns) {
  testing::TempDir scratch;
  const std::vector<std::string> commands = ReadmeCommands();
  ASSERT_GE(commands.size(), 9u);
  for (std::string command : commands) {
    SCOPED_TRACE(command);
    ASSERT_TRUE(command.starts_with("build/dev/korvex ")) << "a README command the test does not know";
    ReplaceAll(command, "build/dev/korvex", KORVEX_CLI_PATH);
    // A home that does not exist yet, as on a fresh machine; and the boards at memory
    // speed: what is checked here is that the commands work, not how long they take.
    ReplaceAll(command, "/tmp/line", (scratch.path() / "new" / "line").string());
    ReplaceAll(command, " --sim-timing", "");
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
}

}  // namespace
}  // namespace korvex
