// The desktop side of the Win32 host: UTF-8 at the wide-character boundary (the
// program's path, the monthly log's Chinese file name, message boxes) and the
// single-instance guard between two processes.

#include <gtest/gtest.h>

#include <thread>

#include "station/production_log.h"
#include "app/station_texts.h"
#include "host/child_process.h"
#include "host/win32/single_instance.h"
#include "host/win32/utf8.h"
#include "host_child_roles.h"
#include "win_test_support.h"

namespace korvex {
namespace {

std::wstring MonthlyLogName(const SYSTEMTIME& time) {
  const std::wstring month = (time.wMonth < 10 ? L" " : L"") + std::to_wstring(time.wMonth);
  return std::to_wstring(time.wYear) + L"年" + month + L"月 log.txt";
}

// A job's hook through CreateProcessW: its input, output, first error line and exit
// code, and a hook that does not answer ended at its timeout.
TEST(HookProcessTest, AHookGetsItsInputAndAnswersOrIsEndedAtItsTimeout) {
  const std::string path = WideToUtf8(wintest::ThisProgramPath());
  const auto commandLine = [&path](const char* role) {
    std::string line;
    line.append(1, '"').append(path).append("\" ").append(role);
    return line;
  };
  ProcessRequest request;
  const std::string hook = commandLine(wintest::kRoleHook);
  request.commandLine = hook;
  request.input = "{\"port\":2}\n";
  request.timeoutMs = 300'000;  // ample for a loaded machine: it answers at once
  ProcessResult result = RunChildProcess(request);
  EXPECT_EQ(result.outcome, ProcessResult::Outcome::kExited) << result.why;
  EXPECT_EQ(result.exitCode, wintest::kChildHookRefuses);
  EXPECT_EQ(result.output, "{\"PORT\":2}\n");
  EXPECT_TRUE(result.errors.starts_with("work order closed")) << result.errors;

  const std::string silent = commandLine(wintest::kRoleSilentHook);
  request.commandLine = silent;
  request.timeoutMs = 1000;
  result = RunChildProcess(request);
  EXPECT_EQ(result.outcome, ProcessResult::Outcome::kTimedOut);
}

TEST(ProductionLogFileTest, AStationInAChineseFolderWritesItsChineseNamedLogBesideItself) {
  // A copy of this program, started from the folder, finds its own path through
  // GetModuleFileNameW and the real clock: nothing pinned.
  wintest::ScratchFolder folder("生产线");
  const std::wstring station = folder.WideChild(L"korvex.exe");
  ASSERT_TRUE(::CopyFileW(wintest::ThisProgramPath().c_str(), station.c_str(), TRUE));
  SYSTEMTIME before{}, after{};
  ::GetLocalTime(&before);
  EXPECT_EQ(wintest::RunProcess(L"\"" + station + L"\" " + Utf8ToWide(wintest::kRoleWriteLogLine) +
                                L" \"Update NUM is 5, someone close the tool of the korvex!\""),
            std::optional<DWORD>(wintest::kChildOk));
  ::GetLocalTime(&after);
  // The exact wide name on disk, not a lookup through some other conversion.
  std::wstring log = folder.WideChild(MonthlyLogName(before));
  if (!wintest::FileExistsWide(log)) log = folder.WideChild(MonthlyLogName(after));
  const std::optional<std::string> text = wintest::ReadWholeFile(log);
  ASSERT_TRUE(wintest::FileExistsWide(log) && text.has_value());
  EXPECT_TRUE(text->ends_with(" : Update NUM is 5, someone close the tool of the korvex!\n")) << *text;
}

TEST(ThreadTest, AWorkerRunsOnAThreadOfItsOwnWithItsArgument) {
  struct Probe { HANDLE done; DWORD threadId = 0; } probe{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  Win32Host host;
  const auto worker = [](void* argument) -> std::uint32_t {
    auto* probe = static_cast<Probe*>(argument);
    probe->threadId = ::GetCurrentThreadId();
    return ::SetEvent(probe->done) ? 0 : 1;
  };
  ASSERT_TRUE(host.StartThread(worker, &probe));
  ASSERT_EQ(::WaitForSingleObject(probe.done, 30000), WAIT_OBJECT_0);
  EXPECT_NE(probe.threadId, ::GetCurrentThreadId());
  ::CloseHandle(probe.done);
}

// What a second thread saw of the message box this thread showed, before it pressed a
// button. Found by thread rather than by caption so that a wrong caption fails the
// test instead of leaving the box open.
struct BoxSighting {
  MessageAnswer answer{};
  std::wstring caption;
  std::wstring text;  // the box's text control, 0xFFFF as in every message box
  HWND owner = nullptr;
  bool ownerEnabled = true;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
  wchar_t className[32] = {};
  ::GetClassNameW(window, className, 32);
  if (::lstrcmpW(className, L"#32770") != 0 || !::IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(context) = window;
  return FALSE;
}

BoxSighting ShowAndPress(Win32Host& host, const MessageBoxRequest& request, int button) {
  BoxSighting seen;
  std::thread presser([shower = ::GetCurrentThreadId(), button, &seen] {
    HWND box = nullptr;
    for (int tries = 0; box == nullptr && tries < 3000; ++tries) {
      ::EnumThreadWindows(shower, FindBox, reinterpret_cast<LPARAM>(&box));
      if (box == nullptr) ::Sleep(20);
    }
    if (box == nullptr) return;
    wchar_t text[256] = {};
    seen.caption.assign(text, static_cast<std::size_t>(::GetWindowTextW(box, text, 256)));
    seen.text.assign(text, static_cast<std::size_t>(::GetDlgItemTextW(box, 0xFFFF, text, 256)));
    seen.owner = ::GetWindow(box, GW_OWNER);
    seen.ownerEnabled = seen.owner == nullptr || ::IsWindowEnabled(seen.owner);
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  });
  seen.answer = host.ShowMessageBox(request);
  presser.join();
  return seen;
}

TEST(MessageBoxTest, TextsShowInChineseOwnedByTheMainWindowAndTheAnswerComesBack) {
  const HWND owner = ::CreateWindowExW(0, L"STATIC", L"Korvex main window", WS_OVERLAPPED, 0, 0, 200, 100, nullptr,
                                       nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  Win32Host host;
  host.SetOwnerWindow(reinterpret_cast<WindowHandle>(owner));
  BoxSighting seen = ShowAndPress(host, {"已经有烧录工具正在运行", "启动提示", MessageButtons::OkCancel, kNoPort}, IDCANCEL);
  ASSERT_FALSE(seen.caption.empty()) << "no message box appeared";
  EXPECT_EQ(seen.answer, MessageAnswer::Cancel);
  EXPECT_EQ(seen.caption, L"启动提示");
  EXPECT_EQ(seen.text, L"已经有烧录工具正在运行");
  EXPECT_EQ(seen.owner, owner);
  EXPECT_FALSE(seen.ownerEnabled);  // modal to the main window

  seen = ShowAndPress(host, {"Port 3 Boot Failed!", "Korvex", MessageButtons::Ok, 2}, IDOK);
  EXPECT_EQ(seen.answer, MessageAnswer::Ok);
  EXPECT_EQ(seen.caption, L"Korvex");
  EXPECT_EQ(seen.text, L"Port 3 Boot Failed!");
  ::DestroyWindow(owner);
}

TEST(SingleInstanceTest, ASecondStationProcessFindsTheStationNameTaken) {
  EXPECT_EQ(kStationMutexName, "qx USB download tool");
  const std::wstring probe = L"\"" + wintest::ThisProgramPath() + L"\" " + Utf8ToWide(wintest::kRoleProbeInstance) +
                             L" \"" + Utf8ToWide(kStationMutexName) + L"\"";
  {
    const SingleInstance station;
    ASSERT_TRUE(station.IsFirst());
    EXPECT_EQ(wintest::RunProcess(probe), std::optional<DWORD>(wintest::kChildAlreadyRunning));
  }
  EXPECT_EQ(wintest::RunProcess(probe), std::optional<DWORD>(wintest::kChildFirstInstance));
}

}  // namespace
}  // namespace korvex
