// The desktop side of the Win32 host: UTF-8 at the wide-character boundary (message
// boxes, the program's path, the monthly log's Chinese file name), the clock, threads,
// the progress message to the main window, and the single-instance guard.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "app/production_log.h"
#include "app/station_texts.h"
#include "host/paths.h"
#include "host/win32/single_instance.h"
#include "host/win32/utf8.h"
#include "host_child_roles.h"
#include "win_test_support.h"

namespace korvex {
namespace {

TEST(Utf8BoundaryTest, ConvertsChineseTextsAndCharactersOutsideTheBasicPlane) {
  EXPECT_EQ(Utf8ToWide("已经有烧录工具正在运行"), L"已经有烧录工具正在运行");
  EXPECT_EQ(WideToUtf8(L"启动提示"), "启动提示");
  EXPECT_EQ(Utf8ToWide(kTextCpuModelError), L"CPU 类型出错");
  const std::wstring clef = Utf8ToWide("\xF0\x9D\x84\x9E");  // U+1D11E, a surrogate pair
  EXPECT_EQ(clef, std::wstring({wchar_t(0xD834), wchar_t(0xDD1E)}));
  EXPECT_EQ(WideToUtf8(clef), "\xF0\x9D\x84\x9E");
  EXPECT_EQ(Utf8ToWide(""), L"");
  EXPECT_EQ(WideToUtf8(L""), "");
  EXPECT_EQ(Utf8ToWide(std::string{'a', '\xFF', 'b'}), L"a\uFFFDb");  // malformed byte
}

TEST(ProgramPathTest, TheModuleFileNameIsThisProgramInUtf8AndItsFolderTheProgramDir) {
  Win32Host host;
  const std::wstring self = wintest::ThisProgramPath();
  EXPECT_EQ(host.ModuleFileName(), WideToUtf8(self));
  EXPECT_TRUE(host.ModuleFileName().ends_with("\\korvex_win_host_tests.exe"));
  EXPECT_EQ(ProgramDir(host), std::filesystem::path(self).parent_path());
}

TEST(ProductionLogFileTest, MonthlyNamesReachTheDiskAsTheirChineseWideNames) {
  wintest::ScratchFolder folder("烧录站");
  wintest::RecordingWin32Host host;
  host.PinModuleFileName(folder.Utf8Child("korvex.exe"));

  host.PinTime({2026, 12, 31, 23, 59, 58, 999, 4});
  ASSERT_EQ(WriteLogLine(host, "nandUID: 0011 2233 : nand.bin write succeed!"), kLogWritten);
  host.PinTime({2010, 3, 4, 9, 5, 7, 42, 4});
  ASSERT_EQ(WriteLogLine(host, "Update NUM is 17, someone clear to 0!"), kLogWritten);

  const std::wstring december = folder.WideChild(L"2026年12月 log.txt");
  const std::wstring march = folder.WideChild(L"2010年 3月 log.txt");
  EXPECT_TRUE(wintest::FileExistsWide(december));
  EXPECT_TRUE(wintest::FileExistsWide(march));
  EXPECT_EQ(wintest::ReadWholeFile(december),
            std::optional<std::string>("2026/12/31 23:59:58: 999 : nandUID: 0011 2233 : nand.bin "
                                       "write succeed!\n"));
  EXPECT_EQ(wintest::ReadWholeFile(march),
            std::optional<std::string>("2010/ 3/ 4  9: 5: 7:  42 : Update NUM is 17, someone "
                                       "clear to 0!\n"));
}

std::wstring MonthlyLogName(const SYSTEMTIME& time) {
  std::wstring month = std::to_wstring(time.wMonth);
  if (month.size() < 2) month.insert(0, L" ");
  return std::to_wstring(time.wYear) + L"年" + month + L"月 log.txt";
}

TEST(ProductionLogFileTest, AStationInAChineseFolderWritesItsLogBesideItself) {
  // A copy of this program, started from the folder, finds its own path through
  // GetModuleFileNameW and the real clock: nothing pinned.
  wintest::ScratchFolder folder("生产线");
  const std::wstring station = folder.WideChild(L"korvex.exe");
  ASSERT_TRUE(::CopyFileW(wintest::ThisProgramPath().c_str(), station.c_str(), TRUE));

  SYSTEMTIME before{};
  ::GetLocalTime(&before);
  const std::wstring command = L"\"" + station + L"\" " + Utf8ToWide(wintest::kRoleWriteLogLine) +
                               L" \"Update NUM is 5, someone close the tool of the korvex!\"";
  EXPECT_EQ(wintest::RunProcess(command), std::optional<DWORD>(wintest::kChildOk));
  SYSTEMTIME after{};
  ::GetLocalTime(&after);

  std::wstring log = folder.WideChild(MonthlyLogName(before));
  if (!wintest::FileExistsWide(log)) log = folder.WideChild(MonthlyLogName(after));
  ASSERT_TRUE(wintest::FileExistsWide(log));
  const std::optional<std::string> text = wintest::ReadWholeFile(log);
  ASSERT_TRUE(text.has_value());
  EXPECT_TRUE(text->ends_with(" : Update NUM is 5, someone close the tool of the korvex!\n"))
      << *text;
}

std::uint64_t FileTimeOf(const SYSTEMTIME& time) {
  FILETIME file{};
  ::SystemTimeToFileTime(&time, &file);
  return (std::uint64_t{file.dwHighDateTime} << 32) | file.dwLowDateTime;
}

TEST(ClockTest, LocalTimeIsTheSystemsLocalTimeFieldForField) {
  Win32Host host;
  SYSTEMTIME before{};
  ::GetLocalTime(&before);
  const LocalTime now = host.GetLocalTime();
  SYSTEMTIME after{};
  ::GetLocalTime(&after);

  const SYSTEMTIME ours{now.year, now.month,  now.dayOfWeek, now.day,
                        now.hour, now.minute, now.second,    now.millisecond};
  EXPECT_LE(FileTimeOf(before), FileTimeOf(ours));
  EXPECT_LE(FileTimeOf(ours), FileTimeOf(after));
  if (before.wDay == after.wDay) {
    EXPECT_EQ(now.dayOfWeek, before.wDayOfWeek);
  }
}

TEST(ClockTest, SleepWaitsAtLeastTheGivenTime) {
  Win32Host host;
  const ULONGLONG start = ::GetTickCount64();
  host.Sleep(120);
  EXPECT_GE(::GetTickCount64() - start, 100u);
}

struct ThreadProbe {
  HANDLE done = nullptr;
  DWORD threadId = 0;
  void* argumentSeen = nullptr;
};

std::uint32_t RecordThread(void* argument) {
  auto* probe = static_cast<ThreadProbe*>(argument);
  probe->threadId = ::GetCurrentThreadId();
  probe->argumentSeen = argument;
  ::SetEvent(probe->done);
  return 0;
}

TEST(ThreadTest, StartThreadRunsTheEntryOnAThreadOfItsOwnWithItsArgument) {
  Win32Host host;
  ThreadProbe probe;
  probe.done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(host.StartThread(RecordThread, &probe));
  ASSERT_EQ(::WaitForSingleObject(probe.done, 30000), WAIT_OBJECT_0);
  EXPECT_NE(probe.threadId, 0u);
  EXPECT_NE(probe.threadId, ::GetCurrentThreadId());
  EXPECT_EQ(probe.argumentSeen, &probe);
  ::CloseHandle(probe.done);
}

// The main window's side of the progress message.
struct WindowRecord {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD threadId = 0;
};
WindowRecord g_windowRecord;
constexpr UINT kPortProgress = WM_USER + 121;

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPortProgress) {
    g_windowRecord = {message, wParam, lParam, ::GetCurrentThreadId()};
    return 42;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

struct SenderProbe {
  Host* host = nullptr;
  WindowHandle window = 0;
  HANDLE done = nullptr;
  std::intptr_t result = 0;
};

std::uint32_t SendProgress(void* argument) {
  auto* probe = static_cast<SenderProbe*>(argument);
  probe->result = probe->host->SendWindowMessage(probe->window, kPortProgress, (1u << 16) | 3u, 57);
  ::SetEvent(probe->done);
  return 0;
}

TEST(ThreadTest, AWorkersProgressMessageRunsOnTheWindowsThreadAndWaitsForItsResult) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = RecordingWindowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"KorvexProgressProbe";
  ::RegisterClassW(&windowClass);
  const HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0,
                                        HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  g_windowRecord = {};

  Win32Host host;
  SenderProbe probe{&host, reinterpret_cast<WindowHandle>(window),
                    ::CreateEventW(nullptr, TRUE, FALSE, nullptr), 0};
  ASSERT_TRUE(host.StartThread(SendProgress, &probe));
  // The window's thread pumps until the worker's SendMessage has been answered.
  const ULONGLONG deadline = ::GetTickCount64() + 30000;
  while (::MsgWaitForMultipleObjects(1, &probe.done, FALSE, 100, QS_ALLINPUT) != WAIT_OBJECT_0 &&
         ::GetTickCount64() < deadline) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
  }
  EXPECT_EQ(::WaitForSingleObject(probe.done, 0), WAIT_OBJECT_0);
  EXPECT_EQ(probe.result, 42);
  EXPECT_EQ(g_windowRecord.message, kPortProgress);
  EXPECT_EQ(g_windowRecord.wParam, (1u << 16) | 3u);
  EXPECT_EQ(g_windowRecord.lParam, 57);
  EXPECT_EQ(g_windowRecord.threadId, ::GetCurrentThreadId());
  ::CloseHandle(probe.done);
  ::DestroyWindow(window);
}

// What a second thread saw of a message box while it was up.
struct BoxSighting {
  bool found = false;
  std::wstring caption;
  std::vector<std::wstring> texts;
  HWND owner = nullptr;
  bool ownerEnabled = true;
};

BOOL CALLBACK CollectStaticText(HWND child, LPARAM context) {
  wchar_t className[32] = {};
  ::GetClassNameW(child, className, 32);
  if (::lstrcmpiW(className, L"Static") == 0) {
    wchar_t text[256] = {};
    if (::GetWindowTextW(child, text, 256) > 0) {
      reinterpret_cast<std::vector<std::wstring>*>(context)->push_back(text);
    }
  }
  return TRUE;
}

BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
  wchar_t className[32] = {};
  ::GetClassNameW(window, className, 32);
  if (::lstrcmpW(className, L"#32770") != 0 || !::IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(context) = window;
  return FALSE;
}

// Waits for the box that thread `shower` puts up, notes what it shows, then presses
// `button`. Found by thread rather than by caption so that a wrong caption fails the
// test instead of leaving the box open.
std::thread AnswerBox(DWORD shower, int button, BoxSighting& sighting) {
  return std::thread([shower, button, &sighting] {
    const ULONGLONG deadline = ::GetTickCount64() + 60000;
    HWND box = nullptr;
    while (box == nullptr && ::GetTickCount64() < deadline) {
      ::EnumThreadWindows(shower, FindDialog, reinterpret_cast<LPARAM>(&box));
      if (box == nullptr) ::Sleep(20);
    }
    if (box == nullptr) return;
    sighting.found = true;
    wchar_t caption[256] = {};
    ::GetWindowTextW(box, caption, 256);
    sighting.caption = caption;
    ::EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&sighting.texts));
    sighting.owner = ::GetWindow(box, GW_OWNER);
    if (sighting.owner != nullptr) sighting.ownerEnabled = ::IsWindowEnabled(sighting.owner);
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
  });
}

bool Shows(const BoxSighting& sighting, const std::wstring& text) {
  return std::find(sighting.texts.begin(), sighting.texts.end(), text) != sighting.texts.end();
}

TEST(MessageBoxTest, TextsShowInChineseOwnedByTheMainWindowAndTheAnswerComesBack) {
  const HWND owner =
      ::CreateWindowExW(0, L"STATIC", L"Korvex main window", WS_OVERLAPPED, 0, 0, 200, 100, nullptr,
                        nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  Win32Host host;
  host.SetOwnerWindow(reinterpret_cast<WindowHandle>(owner));
  EXPECT_EQ(host.OwnerWindow(), reinterpret_cast<WindowHandle>(owner));

  BoxSighting cancelled;
  std::thread answer = AnswerBox(::GetCurrentThreadId(), IDCANCEL, cancelled);
  const MessageAnswer first = host.ShowMessageBox(
      {"已经有烧录工具正在运行", "启动提示", MessageButtons::OkCancel, kNoPort});
  answer.join();
  ASSERT_TRUE(cancelled.found) << "no message box appeared";
  EXPECT_EQ(first, MessageAnswer::Cancel);
  EXPECT_EQ(cancelled.caption, L"启动提示");
  EXPECT_TRUE(Shows(cancelled, L"已经有烧录工具正在运行"));
  EXPECT_EQ(cancelled.owner, owner);
  EXPECT_FALSE(cancelled.ownerEnabled);  // modal to the main window

  BoxSighting confirmed;
  answer = AnswerBox(::GetCurrentThreadId(), IDOK, confirmed);
  const MessageAnswer second =
      host.ShowMessageBox({"Port 3 Boot Failed!", "Korvex", MessageButtons::Ok, 2});
  answer.join();
  ASSERT_TRUE(confirmed.found);
  EXPECT_EQ(second, MessageAnswer::Ok);
  EXPECT_EQ(confirmed.caption, L"Korvex");
  EXPECT_TRUE(Shows(confirmed, L"Port 3 Boot Failed!"));
  ::DestroyWindow(owner);
}

TEST(SingleInstanceTest, OnlyTheFirstHolderOfTheNameIsFirstUntilItEnds) {
  EXPECT_EQ(kStationMutexName, "qx USB download tool");
  const std::string name = "korvex-instance-test-" + std::to_string(::GetCurrentProcessId());
  {
    const SingleInstance first(name);
    EXPECT_TRUE(first.IsFirst());
    const SingleInstance second(name);
    EXPECT_FALSE(second.IsFirst());
  }
  const SingleInstance again(name);
  EXPECT_TRUE(again.IsFirst());
}

TEST(SingleInstanceTest, ASecondStationProcessFindsTheStationNameTaken) {
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
