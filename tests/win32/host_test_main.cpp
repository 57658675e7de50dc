// The Win32 host test program. Besides running the tests it has two child roles,
// used by tests that need a second process: a copy of this program placed in another
// folder writes a log line beside itself, or reports whether a station mutex is held.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
