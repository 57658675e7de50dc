// The Win32 host test program. Besides running the tests it has two child roles,
// used by tests that need a second process: a copy of this program placed in another
// folder writes a log line beside itself, or reports whether a station mutex is held.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "station/production_log.h"
#include "host/win32/single_instance.h"
#include "host/win32/win32_host.h"
#include "host_child_roles.h"

int main(int argc, char** argv) {
  using namespace korvex;
  if (argc == 3 && std::strcmp(argv[1], wintest::kRoleWriteLogLine) == 0) {
    Win32Host host;
    return WriteLogLine(host, argv[2]) == kLogWritten ? wintest::kChildOk : wintest::kChildFailed;
  }
  if (argc == 3 && std::strcmp(argv[1], wintest::kRoleProbeInstance) == 0) {
    const SingleInstance instance(argv[2]);
    return instance.IsFirst() ? wintest::kChildFirstInstance : wintest::kChildAlreadyRunning;
  }
  if (argc == 2 && std::strcmp(argv[1], wintest::kRoleHook) == 0) {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    for (int c; (c = std::getchar()) != EOF;) std::putchar(std::toupper(c));
    std::fputs("work order closed\nsecond line\n", stderr);
    return wintest::kChildHookRefuses;
  }
  if (argc == 2 && std::strcmp(argv[1], wintest::kRoleSilentHook) == 0) {
    ::Sleep(30'000);
    return wintest::kChildOk;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
