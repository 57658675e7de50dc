// posix_spawn for Host::RunProcess; Windows has host/win32/child_process.cpp.
#ifndef _WIN32

#include "host/child_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace korvex {
namespace {

using Clock = std::chrono::steady_clock;

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd& operator=(int fd) {
    Close();
    fd_ = fd;
    return *this;
  }
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

struct Pipes {
  Fd inParent, inChild, outParent, outChild, errParent, errChild;

  bool Open() {
    int in[2], out[2], err[2];
    // stdin is a socket so a program that exits unread costs EPIPE, never SIGPIPE.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0) return false;
    inParent = in[0], inChild = in[1];
    if (::pipe2(out, O_CLOEXEC) != 0) return false;
    outParent = out[0], outChild = out[1];
    if (::pipe2(err, O_CLOEXEC) != 0) return false;
    errParent = err[0], errChild = err[1];
    return true;
  }
};

// Keeps the first `limit` bytes read from a pipe; false once it is at its end.
bool Drain(int fd, std::string& kept, std::size_t limit) {
  char chunk[4096];
  const ssize_t n = ::read(fd, chunk, sizeof chunk);
  if (n < 0) return errno == EINTR || errno == EAGAIN;
  if (n == 0) return false;
  const std::size_t room = limit > kept.size() ? limit - kept.size() : 0;
  kept.append(chunk, std::min(room, static_cast<std::size_t>(n)));
  return true;
}

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

std::string SystemText(int error) { return std::strerror(error); }

pid_t Spawn(const ProcessRequest& request, Pipes& pipes, std::string& why) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_adddup2(&actions, pipes.inChild.get(), STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipes.outChild.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipes.errChild.get(), STDERR_FILENO);
  const std::string folder(request.folder);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  // A group of its own, so a timeout ends the shell and whatever it started; the
  // station's own signal handlers and mask are not the program's.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (const int signal : {SIGPIPE, SIGINT, SIGTERM}) sigaddset(&defaults, signal);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  char shell[] = "/bin/sh", dashC[] = "-c";
  std::string commandCopy(request.commandLine);
  char* argv[] = {shell, dashC, commandCopy.data(), nullptr};
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    why = "cannot start /bin/sh: " + SystemText(error);
    return -1;
  }
  return pid;
}

}  // namespace

ProcessResult RunChildProcess(const ProcessRequest& request) {
  ProcessResult result;
  Pipes pipes;
  if (!pipes.Open()) {
    result.why = "no pipe for the program: " + SystemText(errno);
    return result;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(request.timeoutMs);
  const pid_t pid = Spawn(request, pipes, result.why);
  if (pid < 0) return result;
  pipes.inChild.Close(), pipes.outChild.Close(), pipes.errChild.Close();

  std::string_view input = request.input;
  if (input.empty()) pipes.inParent.Close();
  bool outOpen = true, errOpen = true, exited = false, timedOut = false;
  int status = 0;
  while (!exited) {
    if (MillisecondsLeft(deadline) == 0) {
      timedOut = true;
      break;
    }
    pollfd fds[3] = {{pipes.outParent.get(), POLLIN, 0}, {pipes.errParent.get(), POLLIN, 0},
                     {pipes.inParent.get(), POLLOUT, 0}};
    if (!outOpen) fds[0].fd = -1;
    if (!errOpen) fds[1].fd = -1;
    // With both outputs closed, only the program's end is left to wait for.
    const int wait = outOpen || errOpen || pipes.inParent.get() >= 0 ? MillisecondsLeft(deadline) : 5;
    if (::poll(fds, 3, wait) < 0 && errno != EINTR) break;
    if (fds[0].revents != 0) outOpen = Drain(fds[0].fd, result.output, request.outputLimit);
    if (fds[1].revents != 0) errOpen = Drain(fds[1].fd, result.errors, request.outputLimit);
    if (fds[2].revents & (POLLERR | POLLHUP)) {
      pipes.inParent.Close();
    } else if (fds[2].revents & POLLOUT) {
      const ssize_t sent = ::send(pipes.inParent.get(), input.data(), input.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent > 0) input.remove_prefix(static_cast<std::size_t>(sent));
      if ((sent < 0 && errno != EAGAIN && errno != EINTR) || input.empty()) pipes.inParent.Close();
    }
    if (!outOpen && !errOpen) exited = ::waitpid(pid, &status, WNOHANG) == pid;
  }
  if (!exited) {
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    if (timedOut) {
      result.outcome = ProcessResult::Outcome::kTimedOut;
      return result;
    }
  }
  // What a killed group left in the pipes is theirs still.
  result.outcome = ProcessResult::Outcome::kExited;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return result;
}

}  // namespace korvex

#endif
