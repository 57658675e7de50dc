#pragma once
// The child roles of the host test program (see host_test_main.cpp) and their exit
// codes, shared by the tests that start them.

namespace korvex::wintest {

inline constexpr const char* kRoleWriteLogLine = "--child-write-log-line";   // + message
inline constexpr const char* kRoleProbeInstance = "--child-probe-instance";  // + mutex name
// A job's hook: its standard input back in capitals, a line on stderr, exit 7; or
// no answer at all.
inline constexpr const char* kRoleHook = "--child-hook";
inline constexpr const char* kRoleSilentHook = "--child-silent-hook";
inline constexpr int kChildHookRefuses = 7;

inline constexpr int kChildOk = 0;
inline constexpr int kChildFailed = 1;
inline constexpr int kChildFirstInstance = 10;
inline constexpr int kChildAlreadyRunning = 20;

}  // namespace korvex::wintest
