// korvex.exe: the station's main window on the USB boot driver, or the same window on
// simulated boards with --simulate N (win32/station_options.h).

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "boot/station_model.h"
#include "host/paths.h"
#include "host/win32/single_instance.h"
#include "host/win32/utf8.h"
#include "host/win32/win32_host.h"
#include "nandtable/nand_cfg.h"
#include "shell/about.h"
#include "sim/placeholder_home.h"
#include "sim/sim_host.h"
#include "app/line_job.h"
#include "records/job_file.h"
#include "records/line_settings.h"
#include "records/odbc/odbc_database.h"
#include "records/record_keeper.h"
#include "win32/main_dialog.h"
#include "win32/message_pump.h"
#include "win32/shell_texts.h"
#include "win32/station_options.h"

namespace {

using namespace korvex;
using namespace korvex::win32;

// A simulated station's own folder, beside the program unless given.
constexpr std::string_view kDefaultSimHomeFolder = "sim-home";
// How long the simulated boards' workers get to notice that their boards are gone.
constexpr std::chrono::seconds kWorkerEndTimeout{10};

std::vector<std::string> CommandLineArguments() {
  int count = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> args;
  for (int i = 1; argv != nullptr && i < count; ++i) args.push_back(WideToUtf8(argv[i]));
  if (argv != nullptr) ::LocalFree(argv);
  return args;
}

void ShowError(std::string_view text) {
  ::MessageBoxW(nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(kCaptionUsage).c_str(),
                MB_OK | MB_ICONERROR);
}

HWND ToHwnd(WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

constexpr std::string_view kDeviceBackend = "the USB boot driver (Win32); --simulate N for simulated boards";

// --help and --version: to stdout when it was redirected, else to the console
// korvex.exe was started from, else in a message box (started from Explorer).
void ShowInformation(std::string_view text) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if ((out == nullptr || out == INVALID_HANDLE_VALUE) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
    out = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
  }
  if (out != nullptr && out != INVALID_HANDLE_VALUE) {
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(out, &mode)) {
      const std::wstring wide = Utf8ToWide(text);
      ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
      ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    return;
  }
  ::MessageBoxW(nullptr, Utf8ToWide(text).c_str(), Utf8ToWide(kCaptionUsage).c_str(),
                MB_OK | MB_ICONINFORMATION);
}

// The line engineer's settings beside the program (korvex.ini): verification and the
// board records, with the line's database when it names one. A mistake in the file is
// shown once and its defaults stand; the station still runs.
class LineRun {
 public:
  explicit LineRun(Host& host) {
    const std::filesystem::path folder = ProgramDir(host);
    const LineSettingsResult read = ReadLineSettings(folder);
    settings_ = read.settings;
    std::string errors;
    for (const std::string& error : read.errors) errors += error + "\n";
    if (!errors.empty()) ShowError(errors);
    keeper_ = std::make_shared<RecordKeeper>(folder, settings_.station);
    if (!settings_.recordsDb.empty()) {
      // A burned UID the line already had is no thing to scroll past: the operator
      // acknowledges it (records wait for the sync meanwhile, burns go on).
      keeper_->StartSync(MakeOdbcRecordDatabase(settings_.recordsDb), std::chrono::seconds(5),
                         [](const DuplicateUid& duplicate) { ShowError(DuplicateUidLine(duplicate)); });
    }
    // A record the disk refused waits in memory; the operator must free space, so it
    // is a box (the scan meanwhile takes no new board).
    keeper_->OnWriteNews([](const RecordWriteNews& news) { ShowError(RecordWriteNewsText(news)); });
  }
  ~LineRun() { SetActiveLineJob(nullptr); }
  LineRun(const LineRun&) = delete;
  LineRun& operator=(const LineRun&) = delete;

  // --job FILE: read and checked as the console's pre-flight does, before any board
  // is claimed. false after a box that says what is wrong; the window does not start.
  bool LoadJob(const std::string& fileName) {
    JobFileResult read = ReadJobFile(PathFromUtf8(fileName));
    if (!read.job) {
      std::string text = "The job file cannot be used. Fix it, or start korvex.exe without --job:\n";
      for (const std::string& error : read.errors) text += "\n" + error;
      ShowError(text);
      return false;
    }
    for (std::size_t image = 0; image < kImageCount; ++image) {
      if (read.job->included[image] && !ImagePathFits(PathToUtf8(read.job->paths[image]), image == kNandBin)) {
        ShowError(std::string(kImageFileNames[image]) + ": the job's path is longer than the station's settings hold. "
                  "Move the release to a shorter folder.");
        return false;
      }
    }
    const JobIdentity identity{JobText(read.job->name), JobText(read.job->lot), JobText(read.job->workOrder), {}};
    job_.emplace(*read.job, identity, keeper_->station());
    if (const std::vector<std::string> problems = job_->PinImages(); !problems.empty()) {
      std::string text = "The job's images are not the released ones. Put the released images back, then start "
                         "again:\n";
      for (const std::string& problem : problems) text += "\n" + problem;
      ShowError(text);
      job_.reset();
      return false;
    }
    keeper_->SetIdentity(identity);
    SetActiveLineJob(&*job_);
    return true;
  }
  const std::shared_ptr<RecordKeeper>& Records() const { return keeper_; }
  // The job's model, for simulated boards that were given none.
  std::optional<int> JobModel() const { return job_ ? std::optional<int>(job_->file().model) : std::nullopt; }

  std::string TitleSuffix(std::string_view base) const {
    std::string suffix = job_ ? " - job " + job_->file().name : std::string();
    const bool verify = job_ ? job_->file().verify : settings_.verify;
    return suffix + std::string(base) + (verify ? std::string(kTitleVerifySuffix) : "");
  }
  void Apply(MainDialog& dialog) const {
    dialog.Model().SetVerifyWrites(settings_.verify);
    if (job_) dialog.LockToJob(job_->file());
  }

 private:
  LineSettings settings_;
  std::shared_ptr<RecordKeeper> keeper_;  // shared with every worker the window starts
  std::optional<LineJob> job_;
};

// The production station: one per PC, on the USB boot driver.
int RunOnDriver(HINSTANCE instance, const StationOptions& options) {
  SingleInstance guard;
  if (!guard.IsFirst()) {
    ::MessageBoxW(nullptr, Utf8ToWide(kTextAlreadyRunning).c_str(),
                  Utf8ToWide(kCaptionStartUp).c_str(), MB_OK);
    return 0;
  }
  // Never destroyed: workers are not joined, and one may still be talking to its
  // board through the host while the process ends.
  Win32Host& host = *new Win32Host;
  if (!EnsureNandTable(host)) return 1;
  // Kept to the process's end, as the host: a worker may still finish a record.
  LineRun& line = *new LineRun(host);
  if (!options.jobFile.empty() && !line.LoadJob(options.jobFile)) return 2;
  MainDialog dialog(instance, host, line.Records(), line.TitleSuffix({}), [&host](HWND window) {
    host.SetOwnerWindow(reinterpret_cast<WindowHandle>(window));
  });
  line.Apply(dialog);
  dialog.RunModal();
  return 0;
}

std::filesystem::path SimulatedHome(const StationOptions& options) {
  if (!options.simHome.empty()) return PathFromUtf8(options.simHome);
  Win32Host host;
  return ProgramDir(host) / PathFromUtf8(kDefaultSimHomeFolder);
}

// A rehearsal: the same window on simulated boards, in a folder of its own that gets
// the placeholder model folders and sample images the first time it is used. It does
// not take the single-instance mutex: it touches no device.
int RunSimulated(HINSTANCE instance, const StationOptions& options) {
  const std::filesystem::path home = SimulatedHome(options);
  const std::filesystem::path defaultModelFolder =
      home / PathFromUtf8(kCpuModels[kDefaultCpuModel].folder);
  std::error_code ignored;
  if (!std::filesystem::exists(defaultModelFolder / PathFromUtf8(kStage1FileName), ignored)) {
    std::string error;
    if (!sim::WritePlaceholderHome(home, error)) {
      ShowError(std::string(kTextSimHomeFailed) + error);
      return 1;
    }
  }

  // Message boxes are real ones, owned by the main window like the driver station's.
  Win32Host desktop;
  LineRun lineRun(desktop);
  if (!options.jobFile.empty() && !lineRun.LoadJob(options.jobFile)) return 2;
  sim::SimulatedLine line = *options.simulated;
  if (!options.simModelGiven && lineRun.JobModel()) line.board.model = *lineRun.JobModel();
  sim::SimHost host(line.UsbPorts(), home);
  // Workers' progress goes straight to the window, which handles it on its thread.
  host.SetWindowProcedure([](WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                             std::intptr_t lParam) -> std::intptr_t {
    return ::SendMessageW(ToHwnd(window), message, wParam, lParam);
  });
  host.SetMessageBoxHandler(
      [&desktop](const MessageBoxRequest& request) { return desktop.ShowMessageBox(request); });
  try {
    host.StartLine(line);
  } catch (const std::invalid_argument& error) {
    ShowError(error.what());
    return 2;
  }
  if (!EnsureNandTable(host)) return 1;

  {
    MainDialog dialog(instance, host, lineRun.Records(), lineRun.TitleSuffix(kTitleSimulatedSuffix),
                      [&desktop](HWND window) {
                        desktop.SetOwnerWindow(reinterpret_cast<WindowHandle>(window));
                      });
    lineRun.Apply(dialog);
    // The simulator announces its plugs and pulls as the driver's notifications would.
    host.SetDeviceChangeHandler([&dialog](DeviceChange change, std::string_view link) {
      dialog.Scheduler().NoteDeviceChange(change, link);
    });
    dialog.RunModal();
    host.SetDeviceChangeHandler(nullptr);
  }
  // A worker still busy with a board ends once the board is gone; until then it may
  // be waiting for this thread to take its last progress message.
  for (int port = 0; port < host.UsbPortCount(); ++port) host.Unplug(port);
  PumpMessagesUntil([] { return !AnyWorkerRunning(); }, kWorkerEndTimeout);
  return 0;
}

}  // namespace

int RunStationWindow(HINSTANCE instance) {
  const std::vector<std::string> args = CommandLineArguments();
  switch (FindInfoRequest(args)) {
    case InfoRequest::kHelp: ShowInformation(StationHelp()); return 0;
    case InfoRequest::kVersion: ShowInformation(VersionText("korvex.exe", kDeviceBackend)); return 0;
    case InfoRequest::kNone: break;
  }
  std::string error;
  const auto options = ParseStationOptions(args, error);
  if (!options) {
    ShowError(error + "\n\n" + std::string(StationUsage()));
    return 2;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  return options->simulated ? RunSimulated(instance, *options) : RunOnDriver(instance, *options);
}

// Nothing may end the station without a word: whatever escapes is said once, and the
// exit code tells a script the run failed.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  try {
    return RunStationWindow(instance);
  } catch (const std::exception& error) {
    ShowError(std::string("Korvex stopped: ") + error.what());
  } catch (...) {
    ShowError("Korvex stopped: unknown error");
  }
  return 1;
}
