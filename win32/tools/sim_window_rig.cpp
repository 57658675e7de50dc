#include "win32/tools/sim_window_rig.h"

#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <utility>

#include "host/paths.h"
#include "nandtable/nand_cfg.h"
#include "sim/placeholder_home.h"
#include "win32/message_pump.h"

namespace korvex::win32 {

std::optional<std::string> ScriptedMainDialog::ChooseOpenFile(const OpenFileDialog&) {
  if (openAnswers.empty()) return std::nullopt;
  std::string answer = std::move(openAnswers.front());
  openAnswers.pop_front();
  return answer;
}

void ScriptedMainDialog::Choose(int button, std::string path) {
  openAnswers.push_back(std::move(path));
  ::SendMessageW(::GetDlgItem(Window(), button), BM_CLICK, 0, 0);
}

SimWindowRig::SimWindowRig(std::string_view name) {
  static int counter = 0;
  home_ = std::filesystem::temp_directory_path() /
          PathFromUtf8("korvex-" + std::string(name) + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
                       std::to_string(counter++));
}

bool SimWindowRig::Start(int boards, std::string& error) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  std::error_code ignored;
  std::filesystem::remove_all(home_, ignored);
  if (!sim::WritePlaceholderHome(home_, error)) return false;
  sim_ = std::make_unique<sim::SimHost>(boards, home_);
  sim_->SetWindowProcedure([](WindowHandle window, std::uint32_t message, std::uintptr_t w, std::intptr_t l) {
    return std::intptr_t{::SendMessageW(reinterpret_cast<HWND>(window), message, w, l)};
  });
  if (!EnsureNandTable(*sim_)) error = "the NAND table could not be written";
  return error.empty();
}

bool SimWindowRig::PullBoards() {
  if (!sim_) return true;
  for (int port = 0; port < sim_->UsbPortCount(); ++port) sim_->Unplug(port);
  return PumpMessagesUntil([] { return !AnyWorkerRunning(); }, std::chrono::seconds(30));
}

void SimWindowRig::Finish() {
  PumpPendingMessages();
  if (sim_) sim_->JoinThreads();
  sim_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(home_, ignored);
}

std::string SimWindowRig::SampleImage(std::string_view name) const {
  return PathToUtf8(home_ / PathFromUtf8(sim::kSampleImagesFolder) / PathFromUtf8(name));
}

}  // namespace korvex::win32
