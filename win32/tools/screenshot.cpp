// korvex_screenshot.exe FOLDER: the main window half-way through burning eight
// simulated boards at the simulator's modelled speed, held still for a photograph.
// Once every row is well into its images it writes FOLDER\ready and keeps the window
// going until FOLDER\taken appears (the Makefile's screenshot target photographs the
// screen in between). Not a test: it checks nothing but that it got there.

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <utility>
#include <optional>
#include <string>

#include "app/control_ids.h"
#include "app/list_paint.h"
#include "host/paths.h"
#include "nandtable/nand_cfg.h"
#include "records/record_keeper.h"
#include "sim/placeholder_home.h"
#include "sim/sim_host.h"
#include "win32/main_dialog.h"
#include "win32/message_pump.h"
#include "win32/shell_texts.h"

namespace {

using namespace korvex;
using namespace korvex::win32;
using namespace std::chrono_literals;

constexpr auto kHalfwayTimeout = 60s;
constexpr auto kPhotographTimeout = 60s;

// The main window whose file chooser answers with the sample nand.bin.
class ScreenshotDialog : public MainDialog {
 public:
  ScreenshotDialog(Host& host, std::string nandBin)
      : MainDialog(::GetModuleHandleW(nullptr), host, RecordKeeper::None(), std::string(kTitleSimulatedSuffix)),
        nandBin_(std::move(nandBin)) {}
  std::optional<std::string> ChooseOpenFile(const OpenFileDialog&) override { return nandBin_; }

 private:
  std::string nandBin_;
};

// Every row past its boot and at least 30 % into its images.
bool Halfway(MainDialog& dialog) {
  for (std::size_t port = 0; port < kPortCount; ++port) {
    if (dialog.Model().CellText(port, kProgressColumn).starts_with("BOOT") || dialog.Model().Fraction(port) < 0.3) {
      return false;
    }
  }
  return true;
}

bool Fail(const char* what) {
  std::fprintf(stderr, "korvex_screenshot: %s\n", what);
  return false;
}

// Burns eight boards through the window and holds it half-way for the photograph.
bool Photograph(sim::SimHost& sim, const std::filesystem::path& home, const std::filesystem::path& shots) {
  ScreenshotDialog dialog(sim, PathToUtf8(home / PathFromUtf8(sim::kSampleImagesFolder) / "nand.bin"));
  HWND window = dialog.CreateModeless();
  if (window == nullptr) return Fail("the main window did not open");
  ::SendMessageW(::GetDlgItem(window, kIdNandOpen), BM_CLICK, 0, 0);
  for (int port = 0; port < static_cast<int>(kPortCount); ++port) sim.Plug(port, sim::BoardSpec{});
  bool ok = PumpMessagesUntil([&dialog] { return Halfway(dialog); }, kHalfwayTimeout);
  if (!ok) {
    Fail("the boards did not get half-way");
  } else {
    std::ofstream(shots / "ready") << "ready\n";
    ok = PumpMessagesUntil([&shots] { return std::filesystem::exists(shots / "taken"); }, kPhotographTimeout);
    if (!ok) Fail("nobody said the photograph was taken");
  }
  // The workers may be waiting for the window to take a progress message.
  for (int port = 0; port < static_cast<int>(kPortCount); ++port) sim.Unplug(port);
  if (!PumpMessagesUntil([] { return !AnyWorkerRunning(); }, 30s)) ok = Fail("the workers did not end");
  return ok;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 2) {
    std::fprintf(stderr, "usage: korvex_screenshot FOLDER\n");
    return 2;
  }
  const std::filesystem::path shots = argv[1];
  ::LocalFree(argv);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("korvex-screenshot-" + std::to_string(::GetCurrentProcessId()));
  std::filesystem::remove_all(home);
  std::string error;
  if (!sim::WritePlaceholderHome(home, error)) {
    Fail(error.c_str());
    return 1;
  }
  bool ok = false;
  {
    sim::SimHost sim(kPortCount, home);
    sim.SetTimingEnabled(true);
    sim.SetWindowProcedure([](WindowHandle window, std::uint32_t message, std::uintptr_t w, std::intptr_t l) {
      return std::intptr_t{::SendMessageW(reinterpret_cast<HWND>(window), message, w, l)};
    });
    ok = EnsureNandTable(sim) && Photograph(sim, home, shots);
    PumpPendingMessages();
    sim.JoinThreads();
  }
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return ok ? 0 : 1;
}
