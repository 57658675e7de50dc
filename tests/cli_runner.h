#pragma once
// Runs the real korvex binary and collects what it printed and its exit code.

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

#include "temp_dir.h"

namespace korvex {

struct RunResult {
  int exitCode = -1;
  std::string out;  // what it printed on stdout
  std::string err;  // and on stderr
};

inline RunResult RunKorvex(const std::string& arguments) {
  testing::TempDir scratch;
  const std::string errPath = (scratch.path() / "stderr").string();
  const std::string command = std::string(KORVEX_CLI_PATH) + " " + arguments + " 2>" + errPath;
  RunResult result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> chunk;
  std::size_t n;
  while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.out.append(chunk.data(), n);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(errPath);
  result.err.assign(std::istreambuf_iterator<char>(err), {});
  return result;
}

}  // namespace korvex
