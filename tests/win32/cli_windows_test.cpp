// korvex-cli.exe under Wine, run as a line engineer's script would: its output
// redirected to files, its home folder a path with a space and Chinese characters.
// Simulated boards with --json, the driver's instances from registry keys the test
// writes, a linked device that cannot be opened, a console control event from this
// parent, the single-instance mutex the window takes too, the report, a job with hooks
// (this program in its hook role).

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <thread>

#include "host/win32/single_instance.h"
#include "host/win32/utf8.h"
#include "win_test_support.h"

#include <fcntl.h>
#include <io.h>

namespace korvex {
namespace {

// The hook role: its standard input appended to a file in its working folder (the job's
// folder), then the exit code it is given, with a line on stderr when that is not 0.
constexpr const char* kRoleKeepHook = "--child-keep-hook";

int KeepHook(const char* file, int exitCode) {
  _setmode(_fileno(stdin), _O_BINARY);
  FILE* out = std::fopen(file, "ab");
  if (out == nullptr) return 99;
  for (int c; (c = std::getchar()) != EOF;) std::fputc(c, out);
  std::fputc('\n', out);
  std::fclose(out);
  if (exitCode != 0) std::fputs("work order W9 is closed\nsecond line\n", stderr);
  return exitCode;
}

using wintest::ScratchFolder;

struct CliRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string out, err;
};

std::wstring CliPath() {
  const std::filesystem::path self(wintest::ThisProgramPath());
  return (self.parent_path().parent_path().parent_path() / L"korvex-cli.exe").wstring();
}

HANDLE InheritableFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Ctrl-Break to the child's process group. Wine's console without a terminal refuses
// to route the event (ERROR_INVALID_HANDLE); the child then gets it as Windows's
// console delivers it, on a thread of its own running the system's CtrlRoutine.
bool SendCtrlBreak(const PROCESS_INFORMATION& process) {
  if (::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process.dwProcessId)) return true;
  const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
  if (routine == nullptr) return false;
  const HANDLE thread = ::CreateRemoteThread(process.hProcess, nullptr, 0, routine,
                                             reinterpret_cast<void*>(static_cast<std::uintptr_t>(CTRL_BREAK_EVENT)), 0, nullptr);
  if (thread == nullptr) return false;
  ::CloseHandle(thread);
  return true;
}

// Runs korvex-cli.exe with arguments (UTF-8) in a process group of its own, stdout and
// stderr into files; once stdout shows trigger, this parent sends Ctrl-Break to the group.
CliRun RunCli(const ScratchFolder& scratch, const std::string& arguments, const std::string& trigger = {}) {
  const std::wstring outPath = scratch.WideChild(L"stdout.txt"), errPath = scratch.WideChild(L"stderr.txt");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = InheritableFile(outPath);
  startup.hStdError = InheritableFile(errPath);
  std::wstring command = L"\"" + CliPath() + L"\" " + Utf8ToWide(arguments);
  PROCESS_INFORMATION process{};
  CliRun run;
  const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                                        nullptr, nullptr, &startup, &process);
  ::CloseHandle(startup.hStdOutput);
  ::CloseHandle(startup.hStdError);
  if (!started) {
    ADD_FAILURE() << "korvex-cli.exe did not start";
    return run;
  }
  bool signalled = trigger.empty();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (::WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT && std::chrono::steady_clock::now() < deadline) {
    if (!signalled && wintest::ReadWholeFile(outPath).value_or("").find(trigger) != std::string::npos) {
      EXPECT_TRUE(SendCtrlBreak(process)) << ::GetLastError();
      signalled = true;
    }
  }
  EXPECT_TRUE(signalled) << "never saw " << trigger;
  if (::WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "korvex-cli.exe did not end";
    ::TerminateProcess(process.hProcess, 99);
    ::WaitForSingleObject(process.hProcess, INFINITE);
  }
  ::GetExitCodeProcess(process.hProcess, &run.exitCode);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  run.out = wintest::ReadWholeFile(outPath).value_or("");
  run.err = wintest::ReadWholeFile(errPath).value_or("");
  return run;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// The test's registry holds the driver's instances; a console started without --sim
// reads them.
class CliWindowsTest : public ::testing::Test {
 protected:
  CliWindowsTest() : home_("产线 line") {
    wintest::DeleteClassKey();
    const CliRun made = RunCli(scratch_, Home() + " sim-home");
    EXPECT_EQ(made.exitCode, 0u) << made.err;
  }
  ~CliWindowsTest() override { wintest::DeleteClassKey(); }

  std::string Home() const { return "--home \"" + home_.Utf8() + "\""; }
  std::string Nand() const { return "--nand \"" + home_.Utf8() + "\\images\\nand.bin\""; }

  ScratchFolder scratch_{"cli"};
  ScratchFolder home_;
};

TEST_F(CliWindowsTest, EightSimulatedBoardsBurnWithJsonRecordsAndAReport) {
  const CliRun run = RunCli(scratch_, Home() + " --json station --sim 8 --until-done " + Nand());
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  for (int port = 1; port <= 8; ++port) {
    EXPECT_EQ(Count(run.out, R"({"type":"result","port":)" + std::to_string(port) + R"(,"board":)"), 1u);
  }
  EXPECT_EQ(Count(run.out, R"("result":"burned")"), 8u);
  // The monthly log's Chinese name, in UTF-8 and with the home folder's backslashes.
  std::smatch log;
  ASSERT_TRUE(std::regex_search(run.out, log, std::regex(R"re("log":"([^"]+年[0-9]+月 log\.txt)"})re")));
  std::string logPath = std::regex_replace(log[1].str(), std::regex(R"(\\\\)"), "\\");
  EXPECT_EQ(logPath.rfind(home_.Utf8() + "\\", 0), 0u) << logPath;
  const auto logText = wintest::ReadWholeFile(Utf8ToWide(logPath));
  ASSERT_TRUE(logText);
  // Every board's ID is in the log.
  const std::regex uid(R"re("uid":"(nandUID: [0-9a-f ]+)")re");
  int uids = 0;
  for (auto it = std::sregex_iterator(run.out.begin(), run.out.end(), uid); it != std::sregex_iterator(); ++it, ++uids) {
    EXPECT_NE(logText->find((*it)[1].str()), std::string::npos) << (*it)[1].str();
  }
  EXPECT_EQ(uids, 8);

  const CliRun records = RunCli(scratch_, Home() + " --json records");
  EXPECT_EQ(records.exitCode, 0u) << records.err;
  EXPECT_EQ(Count(records.out, R"("result":"passed")"), 8u);

  const CliRun report = RunCli(scratch_, Home() + " report --out \"" + home_.Utf8() + "\\report.html\"");
  EXPECT_EQ(report.exitCode, 0u) << report.err;
  const auto html = wintest::ReadWholeFile(home_.WideChild(L"report.html"));
  ASSERT_TRUE(html);
  EXPECT_NE(html->find("<html"), std::string::npos);
}

TEST_F(CliWindowsTest, DevicesListsTheDriversInstancesFromTheRegistry) {
  const std::string linked = wintest::SymbolicLinkOfLength(79, 1), unlinked = wintest::SymbolicLinkOfLength(79, 2);
  wintest::AddInstance(wintest::InstanceName(1), linked, 1);
  wintest::AddInstance(wintest::InstanceName(2), unlinked, 0);
  const CliRun run = RunCli(scratch_, Home() + " --json devices");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  const auto escaped = [](std::string text) { return std::regex_replace(text, std::regex(R"(\\)"), R"(\\)"); };
  EXPECT_NE(run.out.find(R"({"type":"instance","instance":1,"linked":true,"symbolicLink":")" + escaped(linked) +
                         R"(","simulated":false})"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find(R"({"type":"instance","instance":2,"linked":false,"symbolicLink":")" + escaped(unlinked)),
            std::string::npos);
  EXPECT_NE(run.out.find(R"({"type":"port","port":1,"linked":true,"instance":1,"symbolicLink":")" + escaped(linked)),
            std::string::npos);
  EXPECT_NE(run.out.find(R"({"type":"port","port":2,"linked":false})"), std::string::npos);
}

TEST_F(CliWindowsTest, ALinkedDeviceThatCannotBeOpenedFailsItsPort) {
  wintest::AddInstance(wintest::InstanceName(1), wintest::SymbolicLinkOfLength(79, 1), 1);
  const CliRun run = RunCli(scratch_, Home() + " --json station --until-done " + Nand());
  EXPECT_EQ(run.exitCode, 1u) << run.err;
  EXPECT_EQ(Count(run.out, R"({"type":"message","port":1,"text":"Invalid handle!"})"), 6u) << run.out;
  EXPECT_NE(run.out.find(R"({"type":"message","port":null,"text":"Port 1 Boot Failed!"})"), std::string::npos);
  EXPECT_NE(run.out.find(R"("result":"not-started")"), std::string::npos) << run.out;
}

TEST_F(CliWindowsTest, CtrlBreakEndsTheRunAsCtrlCDoesWithTheCloseLineLast) {
  const CliRun run =
      RunCli(scratch_, Home() + " --json station --sim 8 --sim-timing --until-done " + Nand(), R"("state":"writing")");
  EXPECT_EQ(run.exitCode, 1u) << run.err;
  EXPECT_EQ(Count(run.out, R"("end":"interrupted")"), 8u) << run.out;
  std::smatch log;
  ASSERT_TRUE(std::regex_search(run.out, log, std::regex(R"re("log":"([^"]+ log\.txt)"})re")));
  const auto logText =
      wintest::ReadWholeFile(Utf8ToWide(std::regex_replace(log[1].str(), std::regex(R"(\\\\)"), "\\")));
  ASSERT_TRUE(logText);
  EXPECT_TRUE(std::regex_search(*logText, std::regex("Update NUM is 8, someone close the tool of the korvex!\r?\n$")))
      << *logText;
}

TEST_F(CliWindowsTest, TheConsoleAndTheWindowNeverDriveTheDriverAtOnce) {
  SingleInstance window;
  ASSERT_TRUE(window.IsFirst());
  const CliRun run = RunCli(scratch_, Home() + " station --until-done " + Nand());
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_NE(run.err.find("another station (korvex.exe or korvex-cli.exe) is driving the boards on this PC; close "
                         "it, then start again (已经有烧录工具正在运行)"),
            std::string::npos)
      << run.err;
}

TEST_F(CliWindowsTest, AJobsHooksGetEachBoardAndItsRecordAndARefusingHookStopsTheBoard) {
  const std::string job = home_.Utf8Child("w1.job");
  const CliRun made = RunCli(scratch_, Home() + " job new --name W1 --model 7135 --lot L5 --out \"" + job + "\" " + Nand());
  ASSERT_EQ(made.exitCode, 0u) << made.err;
  const std::string released = wintest::ReadWholeFile(home_.WideChild(L"w1.job")).value_or("");
  const auto withHooks = [&](int beforeExit) {
    std::string self(1, '"');
    self.append(WideToUtf8(wintest::ThisProgramPath())).append("\" ").append(kRoleKeepHook);
    ASSERT_TRUE(wintest::WriteWholeFile(home_.WideChild(L"w1.job"),
                                        released + "hook_before = " + self + " before.txt " + std::to_string(beforeExit) +
                                            "\nhook_after = " + self + " after.txt 0\nhook_timeout_s = 600\n"));
  };
  const auto hookInput = [&](const wchar_t* name) {
    std::vector<std::string> lines;
    std::string text = wintest::ReadWholeFile(home_.WideChild(name)).value_or("");
    for (std::size_t at; (at = text.find('\n')) != std::string::npos; text.erase(0, at + 1)) {
      if (at > 0) lines.push_back(text.substr(0, at));
    }
    return lines;
  };
  withHooks(0);
  const auto station = [&](int boards) {
    return Home() + " --json station --sim " + std::to_string(boards) + " --until-done --operator Ann --job \"" + job +
           "\"";
  };
  const CliRun run = RunCli(scratch_, station(2));
  EXPECT_EQ(run.exitCode, 0u) << run.err << run.out;
  EXPECT_EQ(Count(run.out, R"("result":"burned")"), 2u) << run.out;
  const std::vector<std::string> before = hookInput(L"before.txt"), after = hookInput(L"after.txt");
  ASSERT_EQ(before.size(), 2u);
  ASSERT_EQ(after.size(), 2u);
  for (int port = 1; port <= 2; ++port) {
    // Each port's board, with the UID the console reported for it.
    std::smatch uid;
    ASSERT_TRUE(std::regex_search(run.out, uid, std::regex(R"re("port":)re" + std::to_string(port) +
                                                           R"re(,"board":[0-9]+,"result":"burned".*"uid":"([^"]+)")re")));
    const std::regex board(R"re(^\{"port":)re" + std::to_string(port) + R"re(,"uid":"[0-9a-f]+","uidText":")re" +
                           uid[1].str() + R"re(","chip":\{"mainId":"[0-9a-f]+".*"blocks":[0-9]+\},"job":"W1","lot":"L5",)re"
                           R"re("workOrder":"","operator":"Ann","station":"[^"]*"\}$)re");
    EXPECT_TRUE(std::regex_match(before[0], board) || std::regex_match(before[1], board)) << before[0] << before[1];
  }
  for (const std::string& record : after) {
    EXPECT_NE(record.find(R"("result":"passed")"), std::string::npos) << record;
    EXPECT_NE(record.find(R"("job":"W1","lot":"L5","workOrder":"","operator":"Ann")"), std::string::npos) << record;
  }

  // hook_before says no: nothing is written to the board, its record says why and
  // still goes to hook_after.
  withHooks(7);
  const CliRun refused = RunCli(scratch_, station(1));
  EXPECT_EQ(refused.exitCode, 1u) << refused.err << refused.out;
  EXPECT_NE(refused.out.find(R"("result":"hook-refused")"), std::string::npos) << refused.out;
  EXPECT_NE(refused.out.find(R"("bytes_written":0,"end":"hook-refused")"), std::string::npos) << refused.out;
  EXPECT_EQ(hookInput(L"before.txt").size(), 3u);
  const std::vector<std::string> records = hookInput(L"after.txt");
  ASSERT_EQ(records.size(), 3u);
  EXPECT_NE(records[2].find(R"("reason":"hook-refused")"), std::string::npos) << records[2];
  EXPECT_NE(records[2].find(R"("message":"work order W9 is closed")"), std::string::npos) << records[2];
}

}  // namespace
}  // namespace korvex

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], korvex::kRoleKeepHook) == 0) {
    return korvex::KeepHook(argv[2], std::atoi(argv[3]));
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
