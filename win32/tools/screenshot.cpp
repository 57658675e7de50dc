// korvex_screenshot.exe FOLDER: the main window half-way through burning eight
// simulated boards at the simulator's modelled speed, held still for a photograph.
// Once every row is well into its images it writes FOLDER\ready and keeps the window
// going until FOLDER\taken appears (the Makefile's screenshot target photographs the
// screen in between). Not a test: it checks nothing but that it got there.

#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/control_ids.h"
#include "app/list_paint.h"
#include "records/record_keeper.h"
#include "win32/message_pump.h"
#include "win32/shell_texts.h"
#include "win32/tools/sim_window_rig.h"

namespace {

using namespace korvex;
using namespace korvex::win32;
using namespace std::chrono_literals;

constexpr auto kHalfwayTimeout = 60s;
constexpr auto kPhotographTimeout = 60s;

// Every row past its boot and at least 30 % into its images.
bool Halfway(MainDialog& dialog) {
  for (std::size_t port = 0; port < kPortCount; ++port) {
    if (dialog.Model().CellText(port, kProgressColumn).starts_with("BOOT") || dialog.Model().Fraction(port) < 0.3) {
      return false;
    }
  }
  return true;
}

bool Fail(const std::string& what) {
  std::fprintf(stderr, "korvex_screenshot: %s\n", what.c_str());
  return false;
}

// Burns eight boards through the window and holds it half-way for the photograph.
bool Photograph(SimWindowRig& rig, const std::filesystem::path& shots) {
  ScriptedMainDialog dialog(::GetModuleHandleW(nullptr), rig.Sim(), RecordKeeper::None(),
                            std::string(kTitleSimulatedSuffix));
  if (dialog.CreateModeless() == nullptr) return Fail("the main window did not open");
  dialog.Choose(kIdNandOpen, rig.SampleImage("nand.bin"));
  for (int port = 0; port < static_cast<int>(kPortCount); ++port) rig.Sim().Plug(port, sim::BoardSpec{});
  bool ok = PumpMessagesUntil([&dialog] { return Halfway(dialog); }, kHalfwayTimeout);
  if (!ok) {
    Fail("the boards did not get half-way");
  } else {
    std::ofstream(shots / "ready") << "ready\n";
    ok = PumpMessagesUntil([&shots] { return std::filesystem::exists(shots / "taken"); }, kPhotographTimeout);
    if (!ok) Fail("nobody said the photograph was taken");
  }
  if (!rig.PullBoards()) ok = Fail("the workers did not end");
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
  SimWindowRig rig("screenshot");
  std::string error;
  if (!rig.Start(static_cast<int>(kPortCount), error)) {
    Fail(error);
    return 1;
  }
  rig.Sim().SetTimingEnabled(true);
  const bool ok = Photograph(rig, shots);
  rig.Finish();
  return ok ? 0 : 1;
}
