#pragma once
// The operating system's way of running a program for Host::RunProcess: posix_spawn
// here (host/child_process.cpp), CreateProcessW on Windows (host/win32/child_process.cpp).
// The real hosts and the simulator's share it: a hook is a real program either way.

#include "host/host.h"

namespace korvex {

ProcessResult RunChildProcess(const ProcessRequest& request);

}  // namespace korvex
