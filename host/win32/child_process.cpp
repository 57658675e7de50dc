// CreateProcessW for Host::RunProcess: the program runs in a job object, so a
// timeout ends it and everything it started; its pipes are made inheritable only
// while it is created, so a hook another port starts at the same moment never holds
// this one's pipes open.

#include "host/child_process.h"

#include <windows.h>

#include <chrono>
#include <mutex>
#include <thread>

namespace korvex {
namespace {

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

class Handle {
 public:
  Handle() = default;
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE* Out() { return &handle_; }
  HANDLE get() const { return handle_; }
  void Reset(HANDLE handle) {
    Close();
    handle_ = handle;
  }
  void Close() {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  HANDLE handle_ = nullptr;
};

std::mutex g_createMutex;

std::string SystemText(DWORD error) { return "Windows error " + std::to_string(error); }

void ReadAll(HANDLE pipe, std::string& kept, std::size_t limit) {
  char chunk[4096];
  DWORD read = 0;
  while (::ReadFile(pipe, chunk, sizeof chunk, &read, nullptr) && read > 0) {
    const std::size_t room = limit > kept.size() ? limit - kept.size() : 0;
    kept.append(chunk, std::min<std::size_t>(room, read));
  }
}

// The program's handles; its pipes' ends the station keeps, and the job it runs in.
struct Child {
  Handle inRead, inWrite, outRead, outWrite, errRead, errWrite, process, job;
};

// Creates the pipes, the job object and the program, suspended; false with `why` told.
bool CreateSuspended(const ProcessRequest& request, Child& child, PROCESS_INFORMATION& info, std::string& why) {
  std::lock_guard lock(g_createMutex);
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!::CreatePipe(child.inRead.Out(), child.inWrite.Out(), &inherit, 0) ||
      !::CreatePipe(child.outRead.Out(), child.outWrite.Out(), &inherit, 0) ||
      !::CreatePipe(child.errRead.Out(), child.errWrite.Out(), &inherit, 0)) {
    why = "no pipe for the program: " + SystemText(::GetLastError());
    return false;
  }
  // The station's ends stay its own.
  for (HANDLE own : {child.inWrite.get(), child.outRead.get(), child.errRead.get()}) {
    ::SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
  }
  child.job.Reset(::CreateJobObjectW(nullptr, nullptr));
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (child.job.get() != nullptr) {
    ::SetInformationJobObject(child.job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child.inRead.get();
  startup.hStdOutput = child.outWrite.get();
  startup.hStdError = child.errWrite.get();
  std::wstring commandLine = Widen(request.commandLine);
  const std::wstring folder = Widen(request.folder);
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                        nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    why = "cannot start \"" + std::string(request.commandLine) + "\": " + SystemText(::GetLastError());
    return false;
  }
  child.inRead.Close(), child.outWrite.Close(), child.errWrite.Close();
  return true;
}

}  // namespace

ProcessResult RunChildProcess(const ProcessRequest& request) {
  ProcessResult result;
  Child child;
  PROCESS_INFORMATION info{};
  if (!CreateSuspended(request, child, info, result.why)) return result;
  child.process.Reset(info.hProcess);
  Handle thread;
  thread.Reset(info.hThread);
  if (child.job.get() != nullptr) ::AssignProcessToJobObject(child.job.get(), child.process.get());
  ::ResumeThread(thread.get());

  std::thread reader([&] { ReadAll(child.outRead.get(), result.output, request.outputLimit); });
  std::thread errorReader([&] { ReadAll(child.errRead.get(), result.errors, request.outputLimit); });
  std::thread writer([&] {
    DWORD written = 0;
    std::string_view input = request.input;
    while (!input.empty() &&
           ::WriteFile(child.inWrite.get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr) &&
           written > 0) {
      input.remove_prefix(written);
    }
    child.inWrite.Close();
  });
  const DWORD waited = ::WaitForSingleObject(child.process.get(), request.timeoutMs);
  // Whatever is left of the program's group goes now, so every pipe ends.
  if (child.job.get() != nullptr) ::TerminateJobObject(child.job.get(), 1);
  else if (waited != WAIT_OBJECT_0) ::TerminateProcess(child.process.get(), 1);
  writer.join();
  reader.join();
  errorReader.join();
  if (waited != WAIT_OBJECT_0) {
    result.outcome = ProcessResult::Outcome::kTimedOut;
    return result;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(child.process.get(), &code);
  result.outcome = ProcessResult::Outcome::kExited;
  result.exitCode = static_cast<int>(code);
  return result;
}

}  // namespace korvex
