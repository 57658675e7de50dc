#pragma once
// The child roles of the host test program (see host_test_main.cpp) and their exit
// codes, shared by the tests that start them.

namespace korvex::wintest {

inline constexpr const char* kRoleWriteLogLine = "--child-write-log-line";   // + message
inline constexpr const char* kRoleProbeInstance = "--child-probe-instance";  // + mutex name

inline constexpr int kChildOk = 0;
inline constexpr int kChildFailed = 1;
inline constexpr int kChildFirstInstance = 10;
inline constexpr int kChildAlreadyRunning = 20;

}  // namespace korvex::wintest
