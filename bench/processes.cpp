#include "bench/processes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "app/model_selection.h"
#include "station/port_context.h"

extern char** environ;

namespace korvex::bench {
namespace {

// A "Name:   123 kB" line of /proc/<pid>/status, in KiB; 0 when it cannot be read.
std::uint64_t StatusKiB(const std::string& pid, const std::string& field) {
  std::ifstream status("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::strtoull(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return 0;
}

// Runs `program args...` and waits; stdout into `out` when given, else /dev/null.
// The pid goes to `started` (for a caller that stops it itself), otherwise it is
// waited for. False when it could not start or did not exit with 0.
bool Spawn(const std::vector<std::string>& args, std::string* out, pid_t* started = nullptr) {
  int pipeFds[2] = {-1, -1};
  if (out != nullptr && pipe(pipeFds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out != nullptr) {
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (out != nullptr) {
    close(pipeFds[1]);
    if (error == 0) {
      char buffer[4096];
      ssize_t n = 0;
      while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) out->append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
  }
  if (error != 0) return false;
  if (started != nullptr) {
    *started = pid;
    return true;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

std::optional<ChildRound> RunChildRound(const fs::path& self, const Line& line) {
  std::string out;
  if (!Spawn({self.string(), "--child", line.home.string(), line.images.string(),
              std::to_string(line.boards), std::to_string(line.pageSize),
              line.records.empty() ? "-" : line.records.string()},
             &out)) {
    return std::nullopt;
  }
  ChildRound round;
  unsigned long long bytes = 0, peak = 0;
  if (std::sscanf(out.c_str(), "%lf %lf %llu %llu", &round.seconds, &round.cpuSeconds, &bytes, &peak) != 4) {
    return std::nullopt;
  }
  round.bytes = bytes;
  round.peakKiB = peak;
  return round;
}

int ChildMain(int argc, char** argv) {
  if (argc != 7) return 2;
  Line line;
  line.home = argv[2];
  line.images = argv[3];
  line.boards = std::atoi(argv[4]);
  line.pageSize = std::atoi(argv[5]);
  if (std::string(argv[6]) != "-") line.records = argv[6];
  for (std::size_t i = 0; i < kImageCount; ++i) {
    line.bytesPerBoard += fs::file_size(line.images / std::string(kImageFileNames[i]));
  }
  SelectCpuModel(kDefaultCpuModel);
  const Round round = BurnRound(line);
  std::printf("%.6f %.6f %llu %llu\n", round.seconds, round.cpuSeconds,
              static_cast<unsigned long long>(round.bytes),
              static_cast<unsigned long long>(StatusKiB("self", "VmHWM")));
  return 0;
}

std::optional<double> IdleStationMiB(const fs::path& korvex, const fs::path& home) {
  pid_t pid = 0;
  if (!fs::exists(korvex) ||
      !Spawn({korvex.string(), "--home", home.string(), "station", "--sim", "8", "--sim-plug-after", "86400",
              "--nand", (home / "images" / "nand.bin").string()},
             nullptr, &pid)) {
    return std::nullopt;
  }
  std::this_thread::sleep_for(kIdleWait);
  const std::uint64_t rssKiB = StatusKiB(std::to_string(pid), "VmRSS");
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  if (rssKiB == 0) return std::nullopt;
  return static_cast<double>(rssKiB) / 1024.0;
}

std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  std::string oneMinute;
  file >> oneMinute;
  return oneMinute.empty() ? "?" : oneMinute;
}

}  // namespace korvex::bench
