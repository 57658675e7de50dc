#pragma once
// A full disk without root: a child process whose files may not grow past a limit
// (RLIMIT_FSIZE), so a write that crosses it comes up short and the next one fails.

#include <csignal>
#include <cstdint>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvex::testing {

// Runs body in a forked child under the limit and returns its result (0..255), or
// -1 when the child did not exit normally. The child ends with _exit: nothing of the
// parent's (temporary folders, test state) is torn down twice.
inline int RunWithFileSizeLimit(std::uintmax_t limitBytes, const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // a short write instead of a killed process
    const rlimit limit{static_cast<rlim_t>(limitBytes), static_cast<rlim_t>(limitBytes)};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(254);
    ::_exit(body());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace korvex::testing
