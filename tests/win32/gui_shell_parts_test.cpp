// The Windows shell's small parts on their own: korvex.exe's command line, the file
// dialogs' filter form, and the artwork drawn at build time as the program's resources
// load it (a faulty encoder shows as an image Windows will not load), and korvex.exe
// itself refusing a job before its window opens.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/paths.h"
#include "host/win32/utf8.h"
#include "sim/placeholder_home.h"
#include "win32/shell_texts.h"

#include "win32/file_dialogs.h"
#include "win32/resource.h"
#include "win32/station_options.h"

namespace korvex::win32 {
namespace {

std::optional<StationOptions> Parse(std::vector<std::string> args, std::string& error) {
  return ParseStationOptions(args, error);
}

// The --sim-... values themselves are tested against sim/sim_options.h; here the
// window's own syntax around them.
TEST(StationOptionsTest, NoOptionsRunTheDriverStationAndSimulateTakesTheSimOptions) {
  std::string error;
  const auto none = Parse({}, error);
  ASSERT_TRUE(none) << error;
  EXPECT_FALSE(none->simulated);
  const auto options =
      Parse({"--sim-chip=2CD7:843E94", "--simulate", "8", "--sim-timing", "--sim-home", "D:\\rehearsal"}, error);
  ASSERT_TRUE(options && options->simulated) << error;
  EXPECT_EQ(options->simulated->boards, 8);
  EXPECT_EQ(options->simulated->board.chip.mainId, 0x2CD7);
  EXPECT_TRUE(options->simulated->timing);
  EXPECT_EQ(options->simHome, "D:\\rehearsal");
  EXPECT_FALSE(options->simModelGiven);
  const auto job = Parse({"--job", "D:\\R1.job", "--simulate", "1", "--sim-model", "7130"}, error);
  ASSERT_TRUE(job && job->simulated) << error;
  EXPECT_EQ(job->jobFile, "D:\\R1.job");
  EXPECT_TRUE(job->simModelGiven);
}

TEST(StationOptionsTest, MistakesAreRefusedWithOneLine) {
  const struct { std::vector<std::string> args; std::string error; } cases[] = {
      {{"--simulate", "9"}, "--simulate takes a number of boards from 0 to 8"},
      {{"--simulate"}, "--simulate needs a value"},
      {{"--simulate", "2", "--sim-model", "7140"}, "--sim-model takes 7120, 7130, 7135 or 7105B"},
      {{"--simulate", "1", "--sim-timing=1"}, "--sim-timing takes no value"},
      {{"--sim-timing"}, "the --sim-... options need --simulate N"},
      {{"--job="}, "--job takes the job file's path"},
      {{"--job"}, "--job needs a value"},
      {{"--simulate", "1", "--verbose=2"}, "unknown option '--verbose=2'"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(Parse(c.args, error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
}

// --help and --version win over everything else; the help names every option once,
// each described.
TEST(StationOptionsTest, HelpAndVersionAreFoundAndTheHelpDescribesEveryOption) {
  EXPECT_EQ(FindInfoRequest(std::vector<std::string>{"--simulate", "8", "--help"}), InfoRequest::kHelp);
  EXPECT_EQ(FindInfoRequest(std::vector<std::string>{"--version"}), InfoRequest::kVersion);
  EXPECT_EQ(FindInfoRequest(std::vector<std::string>{"--simulate", "2"}), InfoRequest::kNone);
  const std::string help = StationHelp();
  EXPECT_TRUE(help.starts_with("usage: korvex.exe [--job FILE] [--simulate N")) << help;
  EXPECT_EQ(help.find("(undocumented)"), std::string::npos) << help;
  for (const char* option : {"--job FILE", "--simulate N", "--sim-model M", "--sim-chip MAIN:EXT", "--sim-home DIR", "--version"}) {
    EXPECT_NE(help.find("\n  " + std::string(option)), std::string::npos) << option;
  }
}

// korvex.exe --job with a job it cannot burn by: the box's text, then exit 2 with no
// main window.
TEST(StationJobTest, ABadJobOrAnImageThatIsNotTheReleasedOneIsToldAndNoWindowOpens) {
  const std::filesystem::path home = std::filesystem::temp_directory_path() /
                                     ("korvex-job-" + std::to_string(::GetCurrentProcessId()));
  std::string error;
  ASSERT_TRUE(sim::WritePlaceholderHome(home, error)) << error;
  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::filesystem::path station = std::filesystem::path(self).parent_path().parent_path().parent_path() /
                                        "win32" / "korvex.exe";
  const std::string images = "nand = images/nand.bin\nsha256.nand.bin = " + std::string(64, '0') +
                             "\nsha256.loader.bin = " + std::string(64, '0') + "\nsha256.img_boot.bin = " +
                             std::string(64, '0') + "\nsha256.minios.bin = " + std::string(64, '0') +
                             "\nsha256.res.bin = " + std::string(64, '0') + "\n";
  const struct { std::string job, told; } cases[] = {
      {"name = W1\nmodel = 7135\ncolour = red\n" + images, "The job file cannot be used. Fix it, or start korvex.exe without --job:\n\n"},
      {"name = W1\nmodel = 7135\n" + images, "The job's images are not the released ones. Put the released images back"},
  };
  for (const auto& c : cases) {
    std::ofstream(home / "w1.job", std::ios::binary) << c.job;
    std::wstring command = L"\"" + station.wstring() + L"\" --simulate 0 --sim-home \"" + home.wstring() +
                           L"\" --job \"" + (home / "w1.job").wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    struct Found { DWORD pid; HWND box; } found{process.dwProcessId, nullptr};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (found.box == nullptr && std::chrono::steady_clock::now() < deadline &&
           ::WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
      ::EnumWindows([](HWND window, LPARAM target) -> BOOL {
        auto& f = *reinterpret_cast<Found*>(target);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        wchar_t name[16] = {};
        ::GetClassNameW(window, name, 16);
        if (pid == f.pid && std::wstring(name) == L"#32770" && ::IsWindowVisible(window)) f.box = window;
        return f.box == nullptr;
      }, reinterpret_cast<LPARAM>(&found));
    }
    ASSERT_NE(found.box, nullptr);
    wchar_t caption[64] = {}, text[2048] = {};
    ::GetWindowTextW(found.box, caption, 64);
    ::GetDlgItemTextW(found.box, 0xFFFF, text, 2048);
    EXPECT_EQ(WideToUtf8(caption), kCaptionUsage);
    EXPECT_TRUE(WideToUtf8(text).starts_with(c.told)) << WideToUtf8(text);
    ::PostMessageW(found.box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 30'000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 2u);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
  }
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
}

TEST(FileDialogTest, FilterBarsBecomeTheDialogsSeparators) {
  EXPECT_EQ(DialogFilter("BIN(*.BIN)|*.bin||"), std::wstring(L"BIN(*.BIN)\0*.bin\0\0", 18));
  EXPECT_EQ(DialogFilter(""), L"");
}

TEST(ArtworkTest, ProgramResourcesHoldTheDrawnIconAndBanner) {
  HINSTANCE self = ::GetModuleHandleW(nullptr);
  HBITMAP banner = static_cast<HBITMAP>(::LoadImageW(self, MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP, 0, 0, 0));
  ASSERT_NE(banner, nullptr);
  BITMAP info{};
  ASSERT_NE(::GetObjectW(banner, sizeof info, &info), 0);
  EXPECT_EQ(info.bmWidth, 940);
  EXPECT_EQ(info.bmHeight, 68);
  ::DeleteObject(banner);
  for (const int size : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(::LoadImageW(self, MAKEINTRESOURCEW(IDI_KORVEX), IMAGE_ICON, size, size, 0));
    EXPECT_NE(icon, nullptr) << size;
    if (icon != nullptr) ::DestroyIcon(icon);
  }
}

}  // namespace
}  // namespace korvex::win32
