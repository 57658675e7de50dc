// The desktop side of the Win32 host: UTF-8 at the wide-character boundary (message
// boxes, the program's path, the monthly log's Chinese file name), the clock, the
// progress message from a worker thread to the main window, and the single-instance
// guard.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "station/production_log.h"
#include "app/station_texts.h"
#include "host/win32/single_instance.h"
#include "host/win32/utf8.h"
#include "host_child_roles.h"
#include "win_test_support.h"

namespace korvex {
namespace {

TEST(Utf8BoundaryTest, ConvertsChineseTextsAndCharactersOutsideTheBasicPlane) {
  EXPECT_EQ(Utf8ToWide(kTextCpuModelError), L"CPU 类型出错");
  EXPECT_EQ(WideToUtf8(L"启动提示"), "启动提示");
  const std::wstring clef = Utf8ToWide("\xF0\x9D\x84\x9E");  // U+1D11E, a surrogate pair
  EXPECT_EQ(clef, std::wstring({wchar_t(0xD834), wchar_t(0xDD1E)}));
  EXPECT_EQ(WideToUtf8(clef), "\xF0\x9D\x84\x9E");
  EXPECT_EQ(Utf8ToWide(std::string{'a', '\xFF', 'b'}), L"a\uFFFDb");  // malformed byte
}

std::wstring MonthlyLogName(const SYSTEMTIME& time) {
  return std::to_wstring(time.wYear) + L"年" + (time.wMonth < 10 ? L" " : L"") +
         std::to_wstring(time.wMonth) + L"月 log.txt";
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

std::uint64_t FileTimeOf(const SYSTEMTIME& time) {
  FILETIME file{};
  ::SystemTimeToFileTime(&time, &file);
  return (std::uint64_t{file.dwHighDateTime} << 32) | file.dwLowDateTime;
}

TEST(ClockTest, LocalTimeIsTheSystemsLocalTimeFieldForField) {
  SYSTEMTIME before{}, after{};
  ::GetLocalTime(&before);
  const LocalTime now = Win32Host().GetLocalTime();
  ::GetLocalTime(&after);
  const SYSTEMTIME ours{now.year, now.month, now.dayOfWeek, now.day,
                        now.hour, now.minute, now.second, now.millisecond};
  EXPECT_LE(FileTimeOf(before), FileTimeOf(ours));
  EXPECT_LE(FileTimeOf(ours), FileTimeOf(after));
  EXPECT_TRUE(now.dayOfWeek == before.wDayOfWeek || before.wDay != after.wDay);
}

// The main window's side of the progress message: answers 42 to the expected
// parameters and notes the thread it ran on.
constexpr UINT kPortProgress = WM_USER + 121;
std::atomic<DWORD> g_handledOn{0};

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kPortProgress) return ::DefWindowProcW(window, message, wParam, lParam);
  g_handledOn = ::GetCurrentThreadId();
  return wParam == ((1u << 16) | 3u) && lParam == 57 ? 42 : -1;
}

struct SenderProbe {
  Host* host;
  WindowHandle window;
  HANDLE done;
  DWORD threadId = 0;
  std::intptr_t result = 0;
};

TEST(ThreadTest, AWorkersProgressMessageRunsOnTheWindowsThreadAndWaitsForItsResult) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = ProgressWindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"KorvexProgressProbe";
  ::RegisterClassW(&windowClass);
  const HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0,
                                        HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  Win32Host host;
  SenderProbe probe{&host, reinterpret_cast<WindowHandle>(window),
                    ::CreateEventW(nullptr, TRUE, FALSE, nullptr), 0, 0};
  const auto send = [](void* argument) -> std::uint32_t {
    auto* probe = static_cast<SenderProbe*>(argument);
    probe->threadId = ::GetCurrentThreadId();
    probe->result = probe->host->SendWindowMessage(probe->window, kPortProgress, (1u << 16) | 3u, 57);
    ::SetEvent(probe->done);
    return 0;
  };
  ASSERT_TRUE(host.StartThread(send, &probe));
  // The window's thread pumps until the worker's SendMessage has been answered.
  const ULONGLONG deadline = ::GetTickCount64() + 30000;
  while (::MsgWaitForMultipleObjects(1, &probe.done, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0 &&
         ::GetTickCount64() < deadline) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
  EXPECT_EQ(probe.result, 42);
  EXPECT_NE(probe.threadId, ::GetCurrentThreadId());
  EXPECT_EQ(g_handledOn, ::GetCurrentThreadId());
  ::CloseHandle(probe.done);
  ::DestroyWindow(window);
}

// What a second thread saw of the message box this thread showed, before it pressed a
// button. Found by thread rather than by caption so that a wrong caption fails the
// test instead of leaving the box open.
struct BoxSighting {
  MessageAnswer answer{};
  std::wstring caption;
  std::wstring texts;  // every child window's text, each followed by a newline
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

BOOL CALLBACK CollectText(HWND child, LPARAM context) {
  wchar_t text[256] = {};
  ::GetWindowTextW(child, text, 256);
  *reinterpret_cast<std::wstring*>(context) += std::wstring(text) + L"\n";
  return TRUE;
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
    wchar_t caption[256] = {};
    ::GetWindowTextW(box, caption, 256);
    seen.caption = caption;
    ::EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&seen.texts));
    seen.owner = ::GetWindow(box, GW_OWNER);
    seen.ownerEnabled = seen.owner == nullptr || ::IsWindowEnabled(seen.owner);
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  });
  const MessageAnswer answer = host.ShowMessageBox(request);
  presser.join();
  seen.answer = answer;
  return seen;
}

TEST(MessageBoxTest, TextsShowInChineseOwnedByTheMainWindowAndTheAnswerComesBack) {
  const HWND owner = ::CreateWindowExW(0, L"STATIC", L"Korvex main window", WS_OVERLAPPED, 0, 0, 200,
                                       100, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  Win32Host host;
  host.SetOwnerWindow(reinterpret_cast<WindowHandle>(owner));
  BoxSighting seen = ShowAndPress(
      host, {"已经有烧录工具正在运行", "启动提示", MessageButtons::OkCancel, kNoPort}, IDCANCEL);
  ASSERT_FALSE(seen.caption.empty()) << "no message box appeared";
  EXPECT_EQ(seen.answer, MessageAnswer::Cancel);
  EXPECT_EQ(seen.caption, L"启动提示");
  EXPECT_NE(seen.texts.find(L"已经有烧录工具正在运行\n"), std::wstring::npos);
  EXPECT_EQ(seen.owner, owner);
  EXPECT_FALSE(seen.ownerEnabled);  // modal to the main window

  seen = ShowAndPress(host, {"Port 3 Boot Failed!", "Korvex", MessageButtons::Ok, 2}, IDOK);
  EXPECT_EQ(seen.answer, MessageAnswer::Ok);
  EXPECT_EQ(seen.caption, L"Korvex");
  EXPECT_NE(seen.texts.find(L"Port 3 Boot Failed!\n"), std::wstring::npos);
  ::DestroyWindow(owner);
}

TEST(SingleInstanceTest, OnlyTheFirstHolderOfTheNameIsFirstUntilItEnds) {
  const std::string name = "korvex-instance-test-" + std::to_string(::GetCurrentProcessId());
  {
    const SingleInstance first(name);
    EXPECT_TRUE(first.IsFirst());
    EXPECT_FALSE(SingleInstance(name).IsFirst());
  }
  EXPECT_TRUE(SingleInstance(name).IsFirst());
}

TEST(SingleInstanceTest, ASecondStationProcessFindsTheStationNameTaken) {
  EXPECT_EQ(kStationMutexName, "qx USB download tool");
  const std::wstring probe = L"\"" + wintest::ThisProgramPath() + L"\" " +
                             Utf8ToWide(wintest::kRoleProbeInstance) + L" \"" +
                             Utf8ToWide(kStationMutexName) + L"\"";
  {
    const SingleInstance station;
    ASSERT_TRUE(station.IsFirst());
    EXPECT_EQ(wintest::RunProcess(probe), std::optional<DWORD>(wintest::kChildAlreadyRunning));
  }
  EXPECT_EQ(wintest::RunProcess(probe), std::optional<DWORD>(wintest::kChildFirstInstance));
}

}  // namespace
}  // namespace korvex
