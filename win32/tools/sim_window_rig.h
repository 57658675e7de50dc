#pragma once
// The main window on simulated boards with no operator at it: a fresh placeholder home
// in the temp folder, a simulator whose workers reach the window, and file choosers
// answered from a queue. korvex_screenshot and the GUI tests drive the window this way.

#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/sim_host.h"
#include "win32/main_dialog.h"

namespace korvex::win32 {

// The main window with its file choosers answered from `openAnswers` instead of shown
// (none left: the chooser is cancelled).
class ScriptedMainDialog : public MainDialog {
 public:
  using MainDialog::MainDialog;
  std::optional<std::string> ChooseOpenFile(const OpenFileDialog& dialog) override;
  // The operator's pick of `path` with the chooser behind `button`.
  void Choose(int button, std::string path);

  std::deque<std::string> openAnswers;
};

class SimWindowRig {
 public:
  // The home will be <temp>/korvex-<name>-<process>-<n>.
  explicit SimWindowRig(std::string_view name);
  ~SimWindowRig() { Finish(); }
  SimWindowRig(const SimWindowRig&) = delete;
  SimWindowRig& operator=(const SimWindowRig&) = delete;

  // The home with its model folders and sample images, `boards` simulated USB ports
  // whose progress messages go to the window, and the NAND table. False with `error`.
  bool Start(int boards, std::string& error);
  // Pulls every board and pumps until the workers have ended (one may be waiting for
  // the window to take a progress message); false when one had not within 30 s.
  bool PullBoards();
  // After the window is gone: the simulator's threads joined, the home removed.
  void Finish();

  sim::SimHost& Sim() { return *sim_; }
  const std::filesystem::path& Home() const { return home_; }
  // A sample image of the home (UTF-8), e.g. "nand.bin".
  std::string SampleImage(std::string_view name) const;

 private:
  std::filesystem::path home_;
  std::unique_ptr<sim::SimHost> sim_;
};

}  // namespace korvex::win32
