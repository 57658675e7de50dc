// The real main window under Wine, on simulated boards: created from its template,
// driven by control id the way an operator would, its message boxes answered in the
// simulated host and its file choosers answered by the test. Boards burn at memory
// speed (instant sleeps), so a whole line of eight burns in a few seconds.

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/burn_counter.h"
#include "app/control_ids.h"
#include "app/list_paint.h"
#include "app/port_progress.h"
#include "app/production_log.h"
#include "boot/station_model.h"
#include "host/paths.h"
#include "host/win32/utf8.h"
#include "nandtable/nand_cfg.h"
#include "sim/placeholder_home.h"
#include "sim/sim_host.h"
#include "tools/demo_copy.h"
#include "tools/tools_texts.h"
#include "win32/main_dialog.h"
#include "win32/message_pump.h"
#include "win32/resource.h"
#include "win32/shell_texts.h"

namespace korvex::win32 {
namespace {

using namespace std::chrono_literals;

constexpr auto kBurnTimeout = 60s;
// One scan period and some.
constexpr auto kScanWait = 3s;

// The main window with the test's answers where the real one would open a file
// chooser, and a record of its timers and of every text its list rows showed.
class TestMainDialog : public MainDialog {
 public:
  using MainDialog::MainDialog;

  std::deque<std::optional<std::string>> openAnswers;
  std::vector<std::string> openRequests;  // "filter ext" per chooser shown
  std::set<int> runningTimers;
  std::map<std::size_t, std::vector<std::string>> rowTexts;  // progress cell per redraw

  std::optional<std::string> ChooseOpenFile(const OpenFileDialog& dialog) override {
    openRequests.push_back(std::string(dialog.filter) + " " + std::string(dialog.defaultExtension));
    if (openAnswers.empty()) {
      ADD_FAILURE() << "a file chooser opened that the test did not expect";
      return std::nullopt;
    }
    std::optional<std::string> answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
  }
  std::optional<std::string> ChooseSaveFile() override {
    ADD_FAILURE() << "the save chooser opened";
    return std::nullopt;
  }
  void StartTimer(int id, std::uint32_t periodMs) override {
    runningTimers.insert(id);
    MainDialog::StartTimer(id, periodMs);
  }
  void StopTimer(int id) override {
    runningTimers.erase(id);
    MainDialog::StopTimer(id);
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

// Runs `script` inside the modal loop of the dialog titled `title` once it is up.
// A thread timer finds it; the script ends the dialog itself.
class ModalScript {
 public:
  ModalScript(std::string title, std::function<void(HWND)> script)
      : title_(Utf8ToWide(title)), script_(std::move(script)) {
    active_ = this;
    timer_ = ::SetTimer(nullptr, 0, 20, Tick);
  }
  ~ModalScript() {
    if (timer_ != 0) ::KillTimer(nullptr, timer_);
    active_ = nullptr;
  }
  bool Ran() const { return ran_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    ModalScript* self = active_;
    if (self == nullptr || self->ran_) return;
    HWND dialog = ::FindWindowW(L"#32770", self->title_.c_str());
    if (dialog == nullptr || !::IsWindowVisible(dialog)) return;
    ::KillTimer(nullptr, self->timer_);
    self->timer_ = 0;
    self->ran_ = true;
    self->script_(dialog);
  }

  static inline ModalScript* active_ = nullptr;
  std::wstring title_;
  std::function<void(HWND)> script_;
  UINT_PTR timer_ = 0;
  bool ran_ = false;
};

std::string WindowTextOf(HWND window) {
  wchar_t text[512] = {};
  ::GetWindowTextW(window, text, 512);
  return WideToUtf8(text);
}

void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void Command(HWND dialog, int id, int code = BN_CLICKED) {
  ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void Pump(std::chrono::milliseconds duration) {
  PumpMessagesUntil([] { return false; }, duration);
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
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ResetStationGlobals();
    static std::atomic<int> counter{0};
    home_ = std::filesystem::temp_directory_path() /
            ("korvex-gui-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(home_);
    std::string error;
    ASSERT_TRUE(sim::WritePlaceholderHome(home_, error)) << error;

    sim_ = std::make_unique<sim::SimHost>(kPortCount, home_);
    sim_->SetInstantSleep(true);
    sim_->SetWindowProcedure([](WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam) -> std::intptr_t {
      return ::SendMessageW(reinterpret_cast<HWND>(window), message, wParam, lParam);
    });
    sim_->SetMessageBoxHandler([this](const MessageBoxRequest& request) {
      std::lock_guard lock(messagesMutex_);
      messages_.push_back(std::string(request.caption) + "|" + std::string(request.text));
      if (answers_.empty()) return MessageAnswer::Ok;
      const MessageAnswer answer = answers_.front();
      answers_.pop_front();
      return answer;
    });
    ASSERT_TRUE(EnsureNandTable(*sim_));
    dialog_ = std::make_unique<TestMainDialog>(::GetModuleHandleW(nullptr), *sim_,
                                               std::string(kTitleSimulatedSuffix));
    window_ = dialog_->CreateModeless();
    ASSERT_NE(window_, nullptr);
    // The control lock's first tick settles the start-up state.
    Pump(200ms);
  }

  void TearDown() override {
    if (sim_) {
      for (int port = 0; port < static_cast<int>(kPortCount); ++port) sim_->Unplug(port);
      // Workers may still be waiting for the window to take a progress message.
      EXPECT_TRUE(PumpMessagesUntil([] { return !AnyWorkerRunning(); }, 30s));
    }
    dialog_.reset();
    PumpPendingMessages();
    if (sim_) sim_->JoinThreads();
    sim_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
    ResetStationGlobals();
  }

  HWND Item(int id) const { return ::GetDlgItem(window_, id); }
  bool Enabled(int id) const { return ::IsWindowEnabled(Item(id)) != FALSE; }
  bool Checked(int id) const { return ::IsDlgButtonChecked(window_, id) == BST_CHECKED; }
  std::string Text(int id) const { return WindowTextOf(Item(id)); }

  std::vector<std::string> Messages() {
    std::lock_guard lock(messagesMutex_);
    return messages_;
  }
  void Answer(MessageAnswer answer) {
    std::lock_guard lock(messagesMutex_);
    answers_.push_back(answer);
  }

  std::filesystem::path Image(std::string_view name) const {
    return home_ / PathFromUtf8(sim::kSampleImagesFolder) / PathFromUtf8(name);
  }
  std::string ImagePathText(std::string_view name) const { return PathToUtf8(Image(name)); }

  void ChooseNandBin() {
    dialog_->openAnswers.push_back(ImagePathText("nand.bin"));
    Click(window_, kIdNandOpen);
  }

  std::string LogText() const {
    std::ifstream in(home_ / PathFromUtf8(LogFileName(sim_->GetLocalTime())));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path home_;
  std::unique_ptr<sim::SimHost> sim_;
  std::unique_ptr<TestMainDialog> dialog_;
  HWND window_ = nullptr;
  std::mutex messagesMutex_;
  std::vector<std::string> messages_;
  std::deque<MessageAnswer> answers_;
};

// The image controls that normal mode keeps closed (nand.bin's own three are opened
// by the idle control lock).
const std::vector<int> kFollowerImageControls{1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011,
                                              1012, 1013, 1014, 1015, 1016, 1017};

TEST_F(GuiStationTest, StartsInNormalModeWithEightRowsTimersAndTheListFont) {
  const std::string title = WindowTextOf(window_);
  EXPECT_EQ(title.find("Korvex"), 0u) << title;
  EXPECT_TRUE(title.ends_with(" [SIMULATED]")) << title;
  EXPECT_EQ(Text(kIdModeSwitch), "高级模式>>");
  for (const int id : {kIdNandCheck, kIdNandPath, kIdNandOpen}) EXPECT_TRUE(Enabled(id)) << id;
  for (const int id : kFollowerImageControls) EXPECT_FALSE(Enabled(id)) << id;
  for (const int id : {1070, 1064, 1066, 1067, 1079, 1050, 1051}) {
    EXPECT_FALSE(::IsWindowVisible(Item(id))) << id;
  }
  EXPECT_TRUE(::IsWindowVisible(Item(kIdProgressList)));
  EXPECT_EQ(dialog_->runningTimers, (std::set<int>{0, 3, 4, 5}));

  HWND combo = Item(kIdCpuModel);
  ASSERT_EQ(::SendMessageW(combo, CB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
  wchar_t item[64] = {};
  ::SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
  EXPECT_EQ(WideToUtf8(item), "Qx7105\\Qx7120");
  EXPECT_EQ(g_cpuModel, 2);

  HWND list = Item(kIdProgressList);
  const LONG_PTR style = ::GetWindowLongPtrW(list, GWL_STYLE);
  EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
  EXPECT_NE(style & LVS_OWNERDRAWFIXED, 0);
  EXPECT_EQ(style & LVS_SINGLESEL, 0);
  EXPECT_EQ(ListView_GetExtendedListViewStyle(list) &
                (LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_INFOTIP),
            static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_INFOTIP));
  ASSERT_EQ(ListView_GetItemCount(list), 8);
  ASSERT_EQ(Header_GetItemCount(ListView_GetHeader(list)), 8);
  EXPECT_EQ(dialog_->List().ProgressColumn(), 3);
  for (int column = 0; column < 8; ++column) {
    EXPECT_EQ(ListView_GetColumnWidth(list, column), kListColumns[column].width) << column;
  }
  for (int row = 0; row < 8; ++row) {
    EXPECT_EQ(dialog_->CellText(row, 0), std::to_string(row + 1));
    EXPECT_EQ(dialog_->CellText(row, 3), "0%");
    EXPECT_EQ(dialog_->List().RowRecord(row), &dialog_->Model().RowRecord(static_cast<std::size_t>(row)));
  }

  LOGFONTW font{};
  ASSERT_NE(::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)), sizeof font, &font), 0);
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  EXPECT_EQ(font.lfHeight, ListFontHeight(dpi));
  EXPECT_EQ(font.lfWeight, 400);
  EXPECT_EQ(WideToUtf8(font.lfFaceName), "宋体");

  HMENU menu = ::GetSystemMenu(window_, FALSE);
  wchar_t about[64] = {};
  ASSERT_GT(::GetMenuStringW(menu, IDM_ABOUT, about, 64, MF_BYCOMMAND), 0);
  EXPECT_EQ(WideToUtf8(about), "关于 Korvex(&A)...");
  EXPECT_NE(::SendMessageW(window_, WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(::SendMessageW(window_, WM_GETICON, ICON_SMALL, 0), 0);
}

class GuiBurnTest : public GuiStationTest, public ::testing::WithParamInterface<int> {};

TEST_P(GuiBurnTest, BurnsEveryPluggedBoardFromTheChosenNandBinAndLocksTheSettings) {
  const int boards = GetParam();
  ChooseNandBin();
  EXPECT_EQ(dialog_->openRequests, std::vector<std::string>{"BIN(*.BIN)|*.bin|| NULL"});
  const std::string folder = PathToUtf8(home_ / PathFromUtf8(sim::kSampleImagesFolder)) + "\\";
  EXPECT_EQ(Text(kIdNandPath), folder + "nand.bin");
  EXPECT_EQ(Text(kIdLoaderPath), folder + "loader.bin");
  EXPECT_EQ(Text(kIdDefBootPath), folder + "def_boot.bin");
  for (const int id : {1000, 1003, 1009, 1012, 1015}) EXPECT_TRUE(Checked(id)) << id;
  EXPECT_FALSE(Checked(kIdDefBootCheck));

  for (int port = 0; port < boards; ++port) sim_->Plug(port, sim::BoardSpec{});
  const auto burned = [boards] {
    for (int port = 0; port < boards; ++port) {
      if (g_portRuns[port].burning != kBurningDone || g_portRuns[port].workerRunning) return false;
    }
    return true;
  };
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpMessagesUntil(burned, kBurnTimeout)) << ::testing::PrintToString(Messages());
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("[          ] %d boards burned through the window in %.1f s (scan included)\n", boards, seconds);
  Pump(200ms);

  EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());
  EXPECT_EQ(Text(kIdCounter), std::to_string(boards));
  const std::vector<std::uint8_t> nandBin = ReadFileBytes(Image("nand.bin"));
  std::set<std::string> labels;
  for (int port = 0; port < 8; ++port) {
    SCOPED_TRACE(port);
    const std::vector<std::string>& texts = dialog_->rowTexts[static_cast<std::size_t>(port)];
    EXPECT_EQ(dialog_->CellText(port, 3), "0%");
    EXPECT_EQ(dialog_->Model().Fraction(static_cast<std::size_t>(port)), 0.0);
    if (port >= boards) {
      EXPECT_TRUE(texts.empty());
      EXPECT_EQ(g_portSlots[port].inUse, 0);
      continue;
    }
    for (const char* boot : {"BOOT..0%", "BOOT..50%", "BOOT..100%"}) {
      EXPECT_NE(std::find(texts.begin(), texts.end(), boot), texts.end()) << boot;
    }
    for (const std::string& text : texts) {
      if (text.starts_with("BOOT..") || text == "0%") continue;
      labels.insert(text.substr(0, text.rfind(' ') + 1));
    }
    EXPECT_TRUE(sim_->WasReset(port));
    EXPECT_EQ(sim_->ReadNand(port, 0, 4096), std::vector<std::uint8_t>(nandBin.begin(), nandBin.begin() + 4096));
  }
  // Rows share one label, so any image's may show; every included one must.
  for (const char* label : {"nand.bin ", "loader.bin ", "img_boot.bin ", "minios.bin ", "res.bin "}) {
    EXPECT_TRUE(labels.contains(label)) << label;
  }

  // Burned boards still plugged keep the settings locked.
  for (const int id : {kIdModeSwitch, kIdClear, kIdCpuModel, kIdNandTable, kIdNandOpen,
                       kIdFormatAfterBurn, kIdCounter}) {
    EXPECT_FALSE(Enabled(id)) << id;
  }
  for (int port = 0; port < boards; ++port) sim_->Unplug(port);
  EXPECT_TRUE(PumpMessagesUntil([this] { return Enabled(kIdCpuModel); }, kScanWait));
  for (const int id : {kIdModeSwitch, kIdClear, kIdNandTable, kIdNandOpen, kIdNandCheck}) {
    EXPECT_TRUE(Enabled(id)) << id;
  }
}

INSTANTIATE_TEST_SUITE_P(Boards, GuiBurnTest, ::testing::Values(2, 8));

TEST_F(GuiStationTest, DemoFileGoesOntoEveryBurnedBoardsVolume) {
  const std::filesystem::path demo = home_ / "demo.rmvb";
  std::ofstream(demo, std::ios::binary) << "a demonstration clip\n";
  dialog_->openAnswers.push_back(PathToUtf8(demo));
  Click(window_, kIdDemoOpen);
  EXPECT_EQ(dialog_->openRequests, std::vector<std::string>{"rmvb(*.*)|*.*|| NULL"});
  EXPECT_TRUE(Checked(kIdDemoCheck));
  EXPECT_TRUE(Checked(kIdFormatAfterBurn));
  for (const int id : {kIdDemoCheck, kIdDemoPath, kIdDemoOpen}) EXPECT_FALSE(Enabled(id)) << id;
  EXPECT_EQ(Text(kIdDemoPath), PathToUtf8(demo));
  // A simulated board's format clears its whole chip, ID page included, and a board
  // without an ID shows no volume; so this line burns without the format.
  Click(window_, kIdFormatAfterBurn);
  EXPECT_FALSE(Checked(kIdFormatAfterBurn));

  ChooseNandBin();
  const int boards = 2;
  for (int port = 0; port < boards; ++port) sim_->Plug(port, sim::BoardSpec{});
  ASSERT_TRUE(PumpMessagesUntil(
      [] { return g_portRuns[0].burning == kBurningDone && g_portRuns[1].burning == kBurningDone; },
      kBurnTimeout));
  // With every burn finished the matching step waits for its forced turn; let that
  // time have passed, so the next demo tick (every 3 s) runs it.
  g_demoTick = kDemoForcedRunTicks;
  const auto copied = [this] {
    std::size_t lines = 0;
    const std::string log = LogText();
    for (std::size_t at = log.find(kLogDemoSucceeded); at != std::string::npos;
         at = log.find(kLogDemoSucceeded, at + 1)) {
      ++lines;
    }
    return lines == boards && !AnyWorkerRunning();
  };
  ASSERT_TRUE(PumpMessagesUntil(copied, kBurnTimeout)) << LogText();
  sim_->JoinThreads();  // the copy threads
  for (int port = 0; port < boards; ++port) {
    SCOPED_TRACE(port);
    const std::string target = std::string(kVideoEntryName) + std::string(kDemoTargetSuffix);
    EXPECT_EQ(ReadFileBytes(sim_->VolumeDir(port) / PathFromUtf8(target)), ReadFileBytes(demo));
    const std::string uidLine = std::string(g_portRuns[port].uidText.View()) + std::string(kLogDemoSucceeded);
    EXPECT_NE(LogText().find(uidLine), std::string::npos) << uidLine;
  }
}

TEST_F(GuiStationTest, ControlsLockAtTheFirstTickAfterAClaim) {
  ChooseNandBin();
  // A board whose boot never gets anywhere keeps its port claimed and its worker
  // out of the way.
  sim::BoardSpec stuck;
  stuck.faults.hangAfterExchange = 0;
  sim_->Plug(0, stuck);
  ASSERT_TRUE(PumpMessagesUntil([] { return g_portSlots[0].inUse == 1; }, kScanWait));
  const auto claimed = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpMessagesUntil([this] { return !Enabled(kIdCpuModel); }, 1s));
  // The lock runs every 50 ms; the rest is room for a busy machine's timer jitter.
  EXPECT_LE(std::chrono::steady_clock::now() - claimed, 150ms);
  EXPECT_FALSE(Enabled(kIdModeSwitch));
  sim_->Unplug(0);
}

TEST_F(GuiStationTest, ModeSwitchOpensEveryImageAndBackClearsThem) {
  ChooseNandBin();
  Click(window_, kIdModeSwitch);
  EXPECT_EQ(Text(kIdModeSwitch), "普通模式>>");
  EXPECT_EQ(g_advancedMode, 1);
  for (const int id : kFollowerImageControls) EXPECT_TRUE(Enabled(id)) << id;
  for (const ImageControls& image : kImageControls) {
    EXPECT_EQ(Text(image.path), "");
    EXPECT_FALSE(Checked(image.check));
  }

  dialog_->openAnswers.push_back(ImagePathText("loader.bin"));
  Click(window_, kIdLoaderOpen);
  EXPECT_EQ(Text(kIdLoaderPath), ImagePathText("loader.bin"));
  EXPECT_TRUE(Checked(kIdLoaderCheck));

  Click(window_, kIdModeSwitch);
  EXPECT_EQ(Text(kIdModeSwitch), "高级模式>>");
  for (const int id : kFollowerImageControls) EXPECT_FALSE(Enabled(id)) << id;
  // The format option too, until the control lock's next tick gives it back.
  for (const int id : {kIdDemoPath, kIdDemoOpen, kIdFormatAfterBurn, kIdDemoCheck}) {
    EXPECT_FALSE(Enabled(id)) << id;
  }
  Pump(200ms);
  EXPECT_TRUE(Enabled(kIdFormatAfterBurn));
  EXPECT_EQ(Text(kIdLoaderPath), "");
  EXPECT_FALSE(Checked(kIdLoaderCheck));
}

TEST_F(GuiStationTest, RefusesAFileNotNamedNandBin) {
  dialog_->openAnswers.push_back(PathToUtf8(home_ / "NAND.BIN"));
  Click(window_, kIdNandOpen);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Korvex|请选择文件nand.bin!"});
  EXPECT_EQ(Text(kIdNandPath), "");
  EXPECT_FALSE(Checked(kIdNandCheck));
}

TEST_F(GuiStationTest, CpuModelSelectionSetsFolderAndAddress) {
  ::SendMessageW(Item(kIdCpuModel), CB_SETCURSEL, 0, 0);
  Command(window_, kIdCpuModel, CBN_SELCHANGE);
  EXPECT_EQ(g_cpuModel, 0);
  EXPECT_EQ(g_modelFolder.load()->folder, "7120");
  EXPECT_EQ(g_stage1Address, 0x80000000u);
  ::SendMessageW(Item(kIdCpuModel), CB_SETCURSEL, 3, 0);
  Command(window_, kIdCpuModel, CBN_SELCHANGE);
  EXPECT_EQ(g_modelFolder.load()->folder, "7105B");
  EXPECT_EQ(g_stage1Address, 0x80002000u);
}

TEST_F(GuiStationTest, ClearAsksAndResetsTheCounterOnlyOnOk) {
  g_burnCounter = 17;
  ASSERT_TRUE(PumpMessagesUntil([this] { return Text(kIdCounter) == "17"; }, 1s));

  Answer(MessageAnswer::Cancel);
  Click(window_, kIdClear);
  Pump(100ms);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Clear|Would you clear the counter?"});
  EXPECT_EQ(Text(kIdCounter), "17");
  EXPECT_EQ(g_burnCounter, 17u);

  Answer(MessageAnswer::Ok);
  Click(window_, kIdClear);
  EXPECT_EQ(Text(kIdCounter), "0");
  EXPECT_EQ(g_burnCounter, 0u);
  EXPECT_NE(LogText().find("Update NUM is 17, someone clear to 0!"), std::string::npos) << LogText();
}

TEST_F(GuiStationTest, CloseAsksFirstAndEndsTheWindowOnOk) {
  g_burnCounter = 5;
  Answer(MessageAnswer::Cancel);
  Command(window_, IDCANCEL);
  EXPECT_TRUE(::IsWindow(window_));
  EXPECT_EQ(LogText(), "");
  EXPECT_EQ(dialog_->runningTimers, (std::set<int>{0, 3, 4, 5}));

  Answer(MessageAnswer::Ok);
  Command(window_, IDCANCEL);
  EXPECT_FALSE(::IsWindow(window_));
  EXPECT_EQ(dialog_->Window(), nullptr);
  EXPECT_TRUE(dialog_->runningTimers.empty());
  EXPECT_NE(LogText().find("Update NUM is 5, someone close the tool of the korvex!"),
            std::string::npos);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"Dialog|Would you close the tool of Korvex?",
                                                  "Dialog|Would you close the tool of Korvex?"}));
}

TEST_F(GuiStationTest, EnterEndsTheWindowAtOnceWithoutAsking) {
  Command(window_, IDOK);
  EXPECT_FALSE(::IsWindow(window_));
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(LogText(), "");
}

// The list's pixels as drawn on screen, read back through a 32-bit DIB.
class ListPixels {
 public:
  explicit ListPixels(HWND list) {
    ::RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    RECT client{};
    ::GetClientRect(list, &client);
    width_ = client.right;
    height_ = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = ::GetDC(list);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width_, height_, screen, 0, 0, SRCCOPY);
    ::GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    pixels_.assign(pixels, pixels + static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    ::SelectObject(memory, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(list, screen);
  }
  Rgb At(int x, int y) const {
    const std::uint32_t p = pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
    return {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p)};
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
};

TEST_F(GuiStationTest, ProgressMessageDrawsTheShadedBarWithItsTextInOneRow) {
  HWND list = Item(kIdProgressList);
  const int port = 6;
  EXPECT_EQ(::SendMessageW(window_, WM_PORT_PROGRESS, ProgressWParam(kProgressLabel, port), kLoaderBin), 0);
  EXPECT_EQ(dialog_->CellText(port, 3), "0%") << "a label alone does not redraw";
  ::SendMessageW(window_, WM_PORT_PROGRESS, ProgressWParam(kProgressImage, port), 10);
  EXPECT_EQ(dialog_->CellText(port, 3), "loader.bin 10%");
  EXPECT_EQ(dialog_->CellText(port - 1, 3), "0%");

  RECT cell{};
  ASSERT_TRUE(ListView_GetSubItemRect(list, port, 3, LVIR_BOUNDS, &cell));
  const int barTop = cell.top + 1;
  const int barHeight = cell.bottom - 1 - barTop;
  ASSERT_GT(barHeight, 4);
  const std::vector<double> shading = ShadingTable(barHeight);
  const std::vector<Rgb> done = BarLineColours(kProgressDoneColour, shading, barHeight);
  const std::vector<Rgb> remaining = BarLineColours(kProgressRemainingColour, shading, barHeight);
  const int filled = FilledWidth(cell.right - cell.left, 0.10);

  const ListPixels pixels(list);
  for (int line = 0; line < barHeight; ++line) {
    SCOPED_TRACE(line);
    EXPECT_EQ(pixels.At(cell.left + 2, barTop + line), done[static_cast<std::size_t>(line)]);
    EXPECT_EQ(pixels.At(cell.left + filled - 1, barTop + line), done[static_cast<std::size_t>(line)]);
    EXPECT_EQ(pixels.At(cell.left + filled, barTop + line), remaining[static_cast<std::size_t>(line)]);
    EXPECT_EQ(pixels.At(cell.right - 3, barTop + line), remaining[static_cast<std::size_t>(line)]);
  }
  // The row's own background shows one pixel above and below the bar.
  EXPECT_EQ(pixels.At(cell.left + 2, cell.top), dialog_->List().Palette().background);
  EXPECT_EQ(pixels.At(cell.left + 2, cell.bottom - 1), dialog_->List().Palette().background);
  // White text over the middle of the bar.
  int white = 0;
  for (int x = cell.left + 100; x < cell.right - 100; ++x) {
    for (int y = barTop; y < barTop + barHeight; ++y) white += pixels.At(x, y) == kProgressTextColour;
  }
  EXPECT_GT(white, 20);

  ::SendMessageW(window_, WM_PORT_PROGRESS, ProgressWParam(kProgressImage, port), 100);
  EXPECT_EQ(dialog_->CellText(port, 3), "loader.bin 100%");
  const ListPixels full(list);
  EXPECT_EQ(full.At(cell.right - 3, barTop + barHeight / 2), done[static_cast<std::size_t>(barHeight / 2)]);
  EXPECT_EQ(dialog_->List().ShadingRebuilds(), 1) << "one row height, one table";
}

TEST_F(GuiStationTest, HeaderClicksLeaveTheRowsInPortOrder) {
  HWND list = Item(kIdProgressList);
  NMLISTVIEW click{};
  click.hdr = {list, static_cast<UINT_PTR>(kIdProgressList), static_cast<UINT>(LVN_COLUMNCLICK)};
  click.iSubItem = 0;
  ::SendMessageW(window_, WM_NOTIFY, kIdProgressList, reinterpret_cast<LPARAM>(&click));
  for (int row = 0; row < 8; ++row) EXPECT_EQ(dialog_->CellText(row, 0), std::to_string(row + 1));
}

TEST_F(GuiStationTest, SystemColourChangeRecomputesTheSelectionColoursOnly) {
  const int element = COLOR_HIGHLIGHT;
  const COLORREF original = ::GetSysColor(element);
  const COLORREF changed = RGB(200, 40, 0);
  ASSERT_TRUE(::SetSysColors(1, &element, &changed));
  ::SendMessageW(window_, WM_SYSCOLORCHANGE, 0, 0);
  const ListPalette palette = dialog_->List().Palette();
  ::SetSysColors(1, &element, &original);

  const COLORREF window = ::GetSysColor(COLOR_WINDOW);
  const ListPalette expected = ComputePalette({GetRValue(window), GetGValue(window), GetBValue(window)},
                                              palette.text, {200, 40, 0});
  EXPECT_EQ(palette.highlight, (Rgb{200, 40, 0}));
  EXPECT_EQ(palette.selection, expected.selection);
  EXPECT_EQ(palette.progressDone, kProgressDoneColour);
  EXPECT_EQ(palette.progressRemaining, kProgressRemainingColour);
}

TEST_F(GuiStationTest, NandTableDialogListsAddsAndDeletesParts) {
  const std::vector<std::uint8_t> original = ReadFileBytes(NandTablePath(*sim_));
  ASSERT_EQ(original.size(), 92u * 64u);
  ModalScript script("Flash型号参数表", [this, &original](HWND dialog) {
    HWND list = ::GetDlgItem(dialog, IDC_TABLE_LIST);
    EXPECT_EQ(ListView_GetItemCount(list), 92);
    EXPECT_EQ(ListView_GetExtendedListViewStyle(list) & (LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT),
              static_cast<DWORD>(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT));
    EXPECT_EQ(::GetWindowLongPtrW(list, GWL_STYLE) & LVS_SINGLESEL, 0);
    const auto cell = [list](int row, int column) {
      wchar_t text[64] = {};
      ListView_GetItemText(list, row, column, text, 64);
      return WideToUtf8(text);
    };
    const std::vector<std::string> first{"Micr_MT29F32G08CBAAA", "2cd7", "843e94", "4096", "512", "218", "8192"};
    for (int column = 0; column < 7; ++column) EXPECT_EQ(cell(0, column), first[static_cast<std::size_t>(column)]);
    EXPECT_EQ(::SendDlgItemMessageW(dialog, IDC_TABLE_NAME, EM_GETLIMITTEXT, 0, 0), 20);
    for (const int id : {IDC_TABLE_MAIN_ID, IDC_TABLE_EXT_ID, IDC_TABLE_PAGE_SIZE, IDC_TABLE_BLOCK_SIZE,
                         IDC_TABLE_SPARE_SIZE, IDC_TABLE_TOTAL_BLOCKS}) {
      EXPECT_EQ(::SendDlgItemMessageW(dialog, id, EM_GETLIMITTEXT, 0, 0), 8) << id;
    }

    const std::vector<std::pair<int, const wchar_t*>> fields{
        {IDC_TABLE_NAME, L"TEST_PART"}, {IDC_TABLE_MAIN_ID, L"0xECD3"}, {IDC_TABLE_EXT_ID, L""},
        {IDC_TABLE_PAGE_SIZE, L"2048"}, {IDC_TABLE_BLOCK_SIZE, L"256"}, {IDC_TABLE_SPARE_SIZE, L"64"},
        {IDC_TABLE_TOTAL_BLOCKS, L"4096"}};
    for (const auto& [id, text] : fields) ::SetDlgItemTextW(dialog, id, text);
    Click(dialog, IDC_TABLE_ADD);
    ASSERT_EQ(ListView_GetItemCount(list), 93);
    const std::vector<std::string> added{"(unnamed)", "ecd3", "0", "2048", "256", "64", "4096"};
    for (int column = 0; column < 7; ++column) EXPECT_EQ(cell(92, column), added[static_cast<std::size_t>(column)]);
    EXPECT_EQ(ReadFileBytes(NandTablePath(*sim_)).size(), 93u * 64u);

    // Delete with nothing selected changes nothing; with the new row selected it goes.
    Click(dialog, IDC_TABLE_DELETE);
    EXPECT_EQ(ListView_GetItemCount(list), 93);
    ListView_SetItemState(list, 92, LVIS_SELECTED, LVIS_SELECTED);
    Click(dialog, IDC_TABLE_DELETE);
    EXPECT_EQ(ListView_GetItemCount(list), 92);
    EXPECT_EQ(ReadFileBytes(NandTablePath(*sim_)), original);
    Command(dialog, IDCANCEL);
  });
  Click(window_, kIdNandTable);
  EXPECT_TRUE(script.Ran());
  EXPECT_TRUE(Messages().empty()) << ::testing::PrintToString(Messages());
  EXPECT_TRUE(::IsWindowEnabled(window_)) << "the main window is usable again";
}

TEST_F(GuiStationTest, DebugDialogPausesTheScanWhileItIsOpen) {
  ChooseNandBin();
  bool checkedWhileOpen = false;
  ModalScript script("Debug", [this, &checkedWhileOpen](HWND dialog) {
    EXPECT_EQ(WindowTextOf(::GetDlgItem(dialog, IDC_DEBUG_LOAD)), "加载");
    EXPECT_TRUE(dialog_->runningTimers.empty());
    // A board attached now is not claimed while the dialog is open.
    sim_->Plug(0, sim::BoardSpec{});
    Pump(kScanWait);
    EXPECT_EQ(g_portSlots[0].inUse, 0);
    checkedWhileOpen = true;
    Command(dialog, IDCANCEL);
  });
  Click(window_, kIdDebug);
  ASSERT_TRUE(script.Ran());
  EXPECT_TRUE(checkedWhileOpen);
  EXPECT_EQ(dialog_->runningTimers, (std::set<int>{0, 3, 4, 5}));
  EXPECT_TRUE(PumpMessagesUntil([] { return g_portSlots[0].inUse == 1; }, kScanWait));
}

TEST_F(GuiStationTest, FlashInfoDialogShowsSevenEmptyFieldsAndQueryDoesNothing) {
  bool checked = false;
  ModalScript script("Flash 信息", [&checked](HWND dialog) {
    for (const int id : {IDC_INFO_MAIN_ID, IDC_INFO_EXT_ID, IDC_INFO_PAGE_SIZE, IDC_INFO_BLOCK_SIZE,
                         IDC_INFO_SPARE_SIZE, IDC_INFO_BUS_WIDTH, IDC_INFO_PLANE_COUNT}) {
      EXPECT_EQ(WindowTextOf(::GetDlgItem(dialog, id)), "") << id;
    }
    EXPECT_EQ(LOWORD(::SendMessageW(dialog, DM_GETDEFID, 0, 0)), IDC_INFO_QUERY);
    Command(dialog, IDC_INFO_QUERY);
    EXPECT_TRUE(::IsWindowVisible(dialog));
    checked = true;
    Command(dialog, IDCANCEL);
  });
  // The button is hidden; its command still opens the dialog.
  Command(window_, kIdFlashInfo);
  EXPECT_TRUE(script.Ran());
  EXPECT_TRUE(checked);
}

TEST_F(GuiStationTest, AboutBoxOpensFromTheSystemMenu) {
  std::string name;
  ModalScript script("关于 Korvex", [&name](HWND dialog) {
    name = WindowTextOf(::GetDlgItem(dialog, IDC_ABOUT_NAME));
    Command(dialog, IDOK);
  });
  ::SendMessageW(window_, WM_SYSCOMMAND, IDM_ABOUT, 0);
  ASSERT_TRUE(script.Ran());
  EXPECT_NE(name.find(KORVEX_VERSION_TEXT), std::string::npos) << name;
  EXPECT_TRUE(::IsWindow(window_));
}

// Not a check: with KORVEX_SCREENSHOT_DIR set (see the Makefile's screenshot target),
// eight boards burn at the simulator's modelled speed, and half-way the test writes
// "ready" there and waits for "taken" while an outside tool photographs the screen.
TEST_F(GuiStationTest, ScreenshotOfEightBoardsBurning) {
  const char* dir = std::getenv("KORVEX_SCREENSHOT_DIR");
  if (dir == nullptr) GTEST_SKIP() << "KORVEX_SCREENSHOT_DIR not set";
  const std::filesystem::path shots = PathFromUtf8(dir);
  sim_->SetInstantSleep(false);
  sim_->SetTimingEnabled(true);
  ChooseNandBin();
  for (int port = 0; port < 8; ++port) sim_->Plug(port, sim::BoardSpec{});
  // Every row well into its images.
  const auto halfway = [this] {
    for (std::size_t port = 0; port < 8; ++port) {
      const double fraction = dialog_->Model().Fraction(port);
      const std::string_view text = dialog_->Model().CellText(port, kProgressColumn);
      if (text.starts_with("BOOT") || fraction < 0.3) return false;
    }
    return true;
  };
  ASSERT_TRUE(PumpMessagesUntil(halfway, kBurnTimeout));
  std::ofstream(shots / "ready") << "ready\n";
  EXPECT_TRUE(PumpMessagesUntil([&shots] { return std::filesystem::exists(shots / "taken"); }, 60s));
}

}  // namespace
}  // namespace korvex::win32
