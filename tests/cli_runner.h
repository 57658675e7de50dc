#pragma once
// Runs the real korvex binary and collects what it printed and its exit code.

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <csignal>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "temp_dir.h"

namespace korvex {

struct RunResult {
  int exitCode = -1;
  std::string out;  // what it printed on stdout
  std::string err;  // and on stderr
};

// The "result" word of the JSON result line of `port` (1-based), or "" when none.
inline std::string ResultOfPort(const std::string& out, int port) {
  const std::string head = R"({"type":"result","port":)" + std::to_string(port) + ",";
  const std::size_t line = out.find(head);
  if (line == std::string::npos) return "";
  const std::size_t at = out.find(R"("result":")", line) + 10;
  return out.substr(at, out.find('"', at) - at);
}

// `shell` runs first in the same shell, e.g. "ulimit -f 8;" to limit the files korvex writes.
inline RunResult RunKorvex(const std::string& arguments, const std::string& shell = "") {
  testing::TempDir scratch;
  const std::string errPath = (scratch.path() / "stderr").string();
  const std::string command = shell + std::string(KORVEX_CLI_PATH) + " " + arguments + " 2>" + errPath;
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

// Runs korvex and sends it `signal` as soon as its stdout shows `trigger`, as an operator
// pressing Ctrl-C at that moment would.
inline RunResult RunKorvexSignalledAt(const std::string& arguments, const std::string& trigger,
                                      int signal = SIGINT) {
  RunResult result;
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return result;
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(pipeEnds[1], STDOUT_FILENO);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    const std::string command = std::string(KORVEX_CLI_PATH) + " " + arguments + " 2>/dev/null";
    ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipeEnds[1]);
  bool signalled = false;
  std::array<char, 4096> chunk;
  ssize_t n;
  while ((n = ::read(pipeEnds[0], chunk.data(), chunk.size())) > 0) {
    result.out.append(chunk.data(), static_cast<std::size_t>(n));
    if (!signalled && result.out.find(trigger) != std::string::npos) {
      ::kill(child, signal);
      signalled = true;
    }
  }
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Runs korvex on a terminal of its own, `columns` by `rows`, with `environment` set
// (e.g. "NO_COLOR=1"); what it drew, stdout and stderr together.
inline RunResult RunKorvexOnTerminal(const std::string& arguments, unsigned short columns, unsigned short rows,
                                     const std::string& environment = "") {
  RunResult result;
  winsize size{};
  size.ws_col = columns;
  size.ws_row = rows;
  int terminal = -1;
  const pid_t child = ::forkpty(&terminal, nullptr, nullptr, &size);
  if (child < 0) return result;
  if (child == 0) {
    const std::string command = "exec env " + environment + " " + std::string(KORVEX_CLI_PATH) + " " + arguments;
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  std::array<char, 4096> chunk;
  ssize_t n;
  while ((n = ::read(terminal, chunk.data(), chunk.size())) > 0) result.out.append(chunk.data(), static_cast<std::size_t>(n));
  ::close(terminal);
  int status = 0;
  ::waitpid(child, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace korvex
