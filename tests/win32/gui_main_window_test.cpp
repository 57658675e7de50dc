// The real main window under Wine, on simulated boards: created from its template,
// driven by control id the way an operator would, its message boxes answered in the
// simulated host and its file choosers answered by the test. Boards burn at memory
// speed (instant sleeps), so a line of boards burns in a few seconds. What the window
// decides is the model's, tested natively; here only what the real window alone can
// show: a burn through it, the lock of its controls, and its owner-drawn rows.

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/burn_counter.h"
#include "app/control_ids.h"
#include "app/list_paint.h"
#include "app/model_selection.h"
#include "app/port_progress.h"
#include "station/production_log.h"
#include "boot/station_model.h"
#include "host/paths.h"
#include "host/win32/utf8.h"
#include "nandtable/nand_cfg.h"
#include "records/job_file.h"
#include "records/record_keeper.h"
#include "sim/sim_host.h"
#include "tools/demo_copy.h"
#include "tools/tools_texts.h"
#include "win32/main_dialog.h"
#include "win32/message_pump.h"
#include "win32/shell_texts.h"
#include "win32/tools/sim_window_rig.h"

namespace korvex::win32 {
namespace {

using namespace std::chrono_literals;

constexpr auto kBurnTimeout = 60s;

// The main window with the test's answers where the real one would open a file
// chooser, and a record of every text its progress cells showed.
class TestMainDialog : public ScriptedMainDialog {
 public:
  using ScriptedMainDialog::ScriptedMainDialog;
  std::map<std::size_t, std::vector<std::string>> rowTexts;

  std::optional<std::string> ChooseOpenFile(const OpenFileDialog& dialog) override {
    EXPECT_FALSE(openAnswers.empty()) << "a file chooser the test did not expect";
    return ScriptedMainDialog::ChooseOpenFile(dialog);
  }
  void RedrawRow(std::size_t port) override {
    MainDialog::RedrawRow(port);
    rowTexts[port].push_back(CellText(static_cast<int>(port), List().ProgressColumn()));
  }
  // What the list control itself holds in a cell.
  std::string CellText(int row, int column) const {
    wchar_t text[256] = {};
    ListView_GetItemText(List().Handle(), row, column, text, 256);
    return WideToUtf8(text);
  }
};

void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
// Dispatches the thread's messages one at a time, counting the ticks of `timer` that
// reach `window`, until `done(ticks)` holds after one of them: the ticks it took, or -1
// when a minute passed first. The window is then what that many ticks made it.
int TicksUntil(HWND window, int timer, const std::function<bool(int)>& done) {
  int ticks = 0;
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!done(ticks)) {
    if (std::chrono::steady_clock::now() > deadline) return -1;
    MSG message{};
    if (!::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      continue;
    }
    ticks += message.message == WM_TIMER && message.hwnd == window && message.wParam == static_cast<WPARAM>(timer);
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return ticks;
}
std::vector<std::uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void ResetStationGlobals() {
  ResetPortRecords();
  ResetDemoState();
  g_advancedMode = 0;
  g_demoPath.Clear();
  g_burnCounter = 0;
  SelectCpuModel(kDefaultCpuModel);
}

class GuiStationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetStationGlobals();
    std::string error;
    ASSERT_TRUE(rig_.Start(static_cast<int>(kPortCount), error)) << error;
    sim_ = &rig_.Sim();
    sim_->SetInstantSleep(true);
    sim_->SetMessageBoxHandler([this](const MessageBoxRequest& request) {
      std::lock_guard lock(messagesMutex_);
      messages_.push_back(std::string(request.caption) + "|" + std::string(request.text));
      return MessageAnswer::Ok;
    });
    dialog_ = std::make_unique<TestMainDialog>(::GetModuleHandleW(nullptr), *sim_, RecordKeeper::None(),
                                               std::string(kTitleSimulatedSuffix));
    window_ = dialog_->CreateModeless();
    ASSERT_NE(window_, nullptr);
    PumpLockTicks(1);  // the control lock's first tick settles the start-up state
  }

  void TearDown() override {
    EXPECT_TRUE(rig_.PullBoards());
    dialog_.reset();
    rig_.Finish();
    ResetStationGlobals();
  }

  void PumpLockTicks(int count) {
    EXPECT_EQ(TicksUntil(window_, kTimerControlLock, [count](int ticks) { return ticks == count; }), count);
  }
  HWND Item(int id) const { return ::GetDlgItem(window_, id); }
  bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
  std::string Text(int id) const {
    wchar_t text[512] = {};
    ::GetWindowTextW(Item(id), text, 512);
    return WideToUtf8(text);
  }
  std::vector<std::string> Messages() {
    std::lock_guard lock(messagesMutex_);
    return messages_;
  }
  std::string ImagePath(std::string_view name) const { return rig_.SampleImage(name); }
  void Choose(int button, std::string path) { dialog_->Choose(button, std::move(path)); }
  std::string LogText() const {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(home_ / PathFromUtf8(LogFileName(sim_->GetLocalTime())));
    return {bytes.begin(), bytes.end()};
  }

  SimWindowRig rig_{"gui"};
  const std::filesystem::path& home_ = rig_.Home();
  sim::SimHost* sim_ = nullptr;
  std::unique_ptr<TestMainDialog> dialog_;
  HWND window_ = nullptr;
  std::mutex messagesMutex_;
  std::vector<std::string> messages_;
};

// One whole line through the window: the workers' progress in the rows of their own
// ports, the boards' NAND, and the demo timer's copy onto each board's volume.
TEST_F(GuiStationTest, BurnsThePluggedBoardsAndCopiesTheDemo) {
  const std::filesystem::path demo = home_ / "demo.rmvb";
  std::ofstream(demo, std::ios::binary) << "a demonstration clip\n";
  Choose(kIdDemoOpen, PathToUtf8(demo));
  // The demo choice checks the format too; a simulated board's format clears its whole
  // chip, ID page included, and a board without an ID shows no volume: so, unchecked.
  Click(window_, kIdFormatAfterBurn);
  Choose(kIdNandOpen, ImagePath("nand.bin"));

  constexpr int kBoards = 5;  // three rows stay empty
  for (int port = 0; port < kBoards; ++port) sim_->Plug(port, sim::BoardSpec{});
  const auto burned = [] {
    return std::all_of(g_portRuns.begin(), g_portRuns.begin() + kBoards,
                       [](const auto& run) { return run.burning == kBurningDone && !run.workerRunning; });
  };
  ASSERT_TRUE(PumpMessagesUntil(burned, kBurnTimeout)) << ::testing::PrintToString(Messages());
  PumpLockTicks(2);
  EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Text(kIdCounter), std::to_string(kBoards));
  const std::vector<std::uint8_t> nandBin = ReadFileBytes(PathFromUtf8(ImagePath("nand.bin")));
  for (int port = 0; port < 8; ++port) {
    const std::vector<std::string>& texts = dialog_->rowTexts[static_cast<std::size_t>(port)];
    if (port >= kBoards) {
      EXPECT_TRUE(texts.empty()) << port;
      continue;
    }
    EXPECT_NE(std::find(texts.begin(), texts.end(), "BOOT..100%"), texts.end()) << port;
    EXPECT_EQ(sim_->ReadNand(port, 0, 4096), std::vector<std::uint8_t>(nandBin.begin(), nandBin.begin() + 4096));
  }

  // The matching step waits for its forced turn; with that time passed, the next demo
  // tick (every 3 s) copies.
  g_demoTick = kDemoForcedRunTicks;
  const auto copied = [this] {
    const std::string log = LogText();
    std::size_t lines = 0;
    for (auto at = log.find(kLogDemoSucceeded); at != std::string::npos; at = log.find(kLogDemoSucceeded, at + 1)) ++lines;
    return lines == kBoards && !AnyWorkerRunning();
  };
  EXPECT_TRUE(PumpMessagesUntil(copied, kBurnTimeout)) << LogText();
}

TEST_F(GuiStationTest, ControlsLockAtTheFirstTickAfterAClaim) {
  Choose(kIdNandOpen, ImagePath("nand.bin"));
  // A board whose boot never gets anywhere keeps its port claimed and its worker
  // out of the way.
  sim::BoardSpec stuck;
  stuck.faults.hangAfterExchange = 0;
  sim_->Plug(0, stuck);
  // The claim happens in a scan's tick; from there, one tick of the lock's own.
  ASSERT_GE(TicksUntil(window_, kTimerScan, [](int) { return g_portSlots[0].inUse == 1; }), 0) << "no claim";
  ASSERT_TRUE(Enabled(kIdCpuModel));
  EXPECT_EQ(TicksUntil(window_, kTimerControlLock, [this](int) { return !Enabled(kIdCpuModel); }), 1);
}

// A window run by a job: its title names the job, and its pickers, mode, model and
// options stay locked through the control lock's ticks, while a board is claimed and
// after; the board gets the job's images.
TEST_F(GuiStationTest, AJobsWindowNamesItAndKeepsItsChoicesLocked) {
  JobFile job;
  job.name = "W1";
  job.model = 1;  // not the start-up default, so the selection is the job's doing
  job.formatAfter = true;
  job.folder = home_;
  job.given[kNandBin] = ImagePath("nand.bin");
  ResolveJobImages(job);
  dialog_.reset();
  dialog_ = std::make_unique<TestMainDialog>(::GetModuleHandleW(nullptr), *sim_, RecordKeeper::None(),
                                             std::string(kTitleSimulatedSuffix));
  dialog_->LockToJob(job);
  window_ = dialog_->CreateModeless();
  ASSERT_NE(window_, nullptr);
  wchar_t title[256] = {};
  ::GetWindowTextW(window_, title, 256);
  EXPECT_TRUE(WideToUtf8(title).ends_with(" - job W1 [SIMULATED]")) << WideToUtf8(title);
  EXPECT_EQ(::SendMessageW(Item(kIdCpuModel), CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(Text(kIdNandPath), ImagePath("nand.bin"));
  EXPECT_EQ(::SendMessageW(Item(kIdFormatAfterBurn), BM_GETCHECK, 0, 0), BST_CHECKED);
  const auto locked = [this] {
    std::vector<int> enabled;
    for (const ImageControls& image : kImageControls) {
      for (const int id : {image.check, image.path, image.open}) {
        if (Enabled(id)) enabled.push_back(id);
      }
    }
    for (const int id : {kIdModeSwitch, kIdCpuModel, kIdFormatAfterBurn, kIdEraseWholeChip}) {
      if (Enabled(id)) enabled.push_back(id);
    }
    return enabled;
  };
  PumpLockTicks(2);
  EXPECT_EQ(locked(), std::vector<int>{});

  sim::BoardSpec board;
  board.model = 1;
  sim_->Plug(0, board);
  const auto burned = [] { return g_portRuns[0].burning == kBurningDone && !g_portRuns[0].workerRunning; };
  ASSERT_TRUE(PumpMessagesUntil(burned, kBurnTimeout)) << ::testing::PrintToString(Messages());
  const std::vector<std::uint8_t> nandBin = ReadFileBytes(PathFromUtf8(ImagePath("nand.bin")));
  EXPECT_EQ(sim_->ReadNand(0, 0, 4096), std::vector<std::uint8_t>(nandBin.begin(), nandBin.begin() + 4096));
  EXPECT_EQ(locked(), std::vector<int>{});
  // Unplugged, the port is free again at the next scan, and the lock gives back what no
  // job holds.
  sim_->Unplug(0);
  ASSERT_EQ(TicksUntil(window_, kTimerScan, [](int) { return !PortScheduler::AnyPortInUse(); }), 1);
  PumpLockTicks(1);
  EXPECT_TRUE(Enabled(kIdClear));
  EXPECT_EQ(locked(), std::vector<int>{});
}

TEST_F(GuiStationTest, ProgressMessageDrawsTheShadedBarWithItsTextInOneRow) {
  HWND list = Item(kIdProgressList);
  ASSERT_EQ(ListView_GetItemCount(list), 8);
  // The list's font: 宋体 at ten points of the screen's resolution.
  LOGFONTW font{};
  ASSERT_NE(::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)), sizeof font, &font), 0);
  HDC screen = ::GetDC(nullptr);
  EXPECT_EQ(font.lfHeight, ListFontHeight(::GetDeviceCaps(screen, LOGPIXELSY)));
  ::ReleaseDC(nullptr, screen);
  EXPECT_EQ(WideToUtf8(font.lfFaceName), "宋体");
  const int port = 6;
  EXPECT_EQ(::SendMessageW(window_, WM_PORT_PROGRESS, ProgressWParam(kProgressLabel, port), kLoaderBin), 0);
  ::SendMessageW(window_, WM_PORT_PROGRESS, ProgressWParam(kProgressImage, port), 10);
  EXPECT_EQ(dialog_->CellText(port, 3), "loader.bin 10%");

  RECT cell{};
  ASSERT_TRUE(ListView_GetSubItemRect(list, port, 3, LVIR_BOUNDS, &cell));
  const int top = cell.top + 1;
  const int height = cell.bottom - 1 - top;
  ASSERT_GT(height, 4);
  const std::vector<double> shading = ShadingTable(height);
  const std::vector<Rgb> done = BarLineColours(kProgressDoneColour, shading, height);
  const std::vector<Rgb> remaining = BarLineColours(kProgressRemainingColour, shading, height);
  const int filled = FilledWidth(cell.right - cell.left, 0.10);
  // The list's pixels as drawn on screen.
  ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  HDC dc = ::GetDC(list);
  const auto pixelAt = [dc](int x, int y) {
    const COLORREF colour = ::GetPixel(dc, x, y);
    return Rgb{GetRValue(colour), GetGValue(colour), GetBValue(colour)};
  };
  for (std::size_t line = 0; line < static_cast<std::size_t>(height); ++line) {
    const int y = top + static_cast<int>(line);
    for (const int x : {cell.left + 2, cell.left + filled - 1}) EXPECT_EQ(pixelAt(x, y), done[line]) << x << "," << y;
    for (const int x : {cell.left + filled, cell.right - 3}) EXPECT_EQ(pixelAt(x, y), remaining[line]) << x << "," << y;
  }
  // The row's own background shows one pixel above and below the bar.
  EXPECT_EQ(pixelAt(cell.left + 2, cell.top), dialog_->List().Palette().background);
  EXPECT_EQ(pixelAt(cell.left + 2, cell.bottom - 1), dialog_->List().Palette().background);
  int white = 0;  // the text over the middle of the bar
  for (int x = cell.left + 100; x < cell.right - 100; ++x) {
    for (int y = top; y < top + height; ++y) white += pixelAt(x, y) == kProgressTextColour;
  }
  EXPECT_GT(white, 20);

  ::SendMessageW(window_, WM_PORT_PROGRESS, ProgressWParam(kProgressImage, port), 100);
  ::UpdateWindow(list);
  EXPECT_EQ(pixelAt(cell.right - 3, top + height / 2), done[static_cast<std::size_t>(height / 2)]);
  ::ReleaseDC(list, dc);
  EXPECT_EQ(dialog_->List().ShadingRebuilds(), 1) << "one row height, one table";
}

}  // namespace
}  // namespace korvex::win32
