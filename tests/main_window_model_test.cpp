// The main window model against a fake view: start-up state, the choosers, the two
// modes, the CPU model, Clear/close, Enter, READ, DEBUG, the control lock, the scan
// settings and a board held while records cannot be written.

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "app/burn_counter.h"
#include "app/main_window_model.h"
#include "app/model_selection.h"
#include "station/production_log.h"
#include "boot/station_model.h"
#include "host/durable_file.h"
#include "host/paths.h"
#include "records/record_keeper.h"
#include "recording_host.h"
#include "sim/sim_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using Texts = std::vector<std::string>;

// Keeps control states and records every other call as one line of text, in order.
class FakeView : public MainWindowView {
 public:
  std::map<int, bool> enabled, checked;
  std::map<int, std::string> texts;
  Texts events, messages, openFilters;
  std::deque<MessageAnswer> answers;  // then OK
  std::deque<std::optional<std::string>> openAnswers;
  std::optional<std::string> saveAnswer;

  WindowHandle Handle() const override { return 0x1234; }
  void EnableControl(int id, bool on) override { enabled[id] = on; }
  void SetCheck(int id, bool on) override { checked[id] = on; }
  bool IsChecked(int id) const override { return checked.contains(id) && checked.at(id); }
  void SetControlText(int id, std::string_view text) override { texts[id] = text; }
  std::string ControlText(int id) const override { return texts.contains(id) ? texts.at(id) : ""; }
  void MoveCaretToEnd(int id) override { Log("caret", id); }
  void SelectComboItem(int id, int index) override { Log("combo", id, index); }
  void AddListRow(std::size_t port) override { Log("row", static_cast<int>(port)); }
  void RedrawRow(std::size_t port) override { Log("redraw", static_cast<int>(port)); }
  MessageAnswer ShowMessageBox(const MessageBoxRequest& request) override {
    messages.emplace_back(request.text);
    const MessageAnswer answer = answers.empty() ? MessageAnswer::Ok : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
  }
  std::optional<std::string> ChooseOpenFile(const OpenFileDialog& dialog) override {
    openFilters.push_back(std::string(dialog.filter) + " " + std::string(dialog.defaultExtension));
    const auto answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
  }
  std::optional<std::string> ChooseSaveFile() override { return Log("save"), saveAnswer; }
  void RunDebugDialog() override { Log("debug"); }
  void StartTimer(int id, std::uint32_t period) override { Log("start", id, static_cast<int>(period)); }
  void StopTimer(int id) override { Log("stop", id); }
  void EndDialog() override { Log("end"); }

  std::set<int> Ids(bool state) const {
    std::set<int> ids;
    for (const auto& [id, on] : enabled) if (on == state) ids.insert(id);
    return ids;
  }

 private:
  void Log(const char* what, int a = -1, int b = -1) {
    std::string line = what;
    if (a >= 0) line += " " + std::to_string(a);
    if (b >= 0) line += " " + std::to_string(b);
    events.push_back(line);
  }
};

std::uint32_t FinishedWorker(void* argument) {
  g_portRuns[static_cast<std::size_t>(static_cast<PortContext*>(argument)->settings.port)].workerRunning = false;
  return 0;
}

const Texts kTimerStarts{"start 0 2000", "start 3 50", "start 4 5000", "start 5 3000"};
const Texts kTimerStops{"stop 0", "stop 1", "stop 2", "stop 3", "stop 4", "stop 5"};
// The image check boxes, paths and choosers but nand.bin's chooser.
const std::set<int> kImageControlIds{1000, 1001, 1003, 1004, 1005, 1006, 1007, 1008, 1009,
                                     1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017};

class MainWindowModelTest : public ::testing::Test {
 protected:
  MainWindowModelTest() : sim_(4, dir_.path()), host_(sim_, dir_.path()) {
    ResetStartUpGlobals();
    BuildDeviceTables(host_, *tables_);
  }
  ~MainWindowModelTest() override {
    sim_.JoinThreads();
    ResetStartUpGlobals();  // other suites expect them too
  }
  static void ResetStartUpGlobals() {
    ResetPortRecords();
    g_advancedMode = 0;
    g_demoPath.Clear();
    g_burnCounter = 0;
    SelectCpuModel(kDefaultCpuModel);
  }

  void Choose(int button, std::optional<std::string> answer) {
    view_.openAnswers.push_back(std::move(answer));
    ASSERT_TRUE(model_.OnClicked(button));
  }
  std::string LogText() {
    const auto bytes = testing::ReadBytes(dir_.path() / PathFromUtf8(LogFileName(host_.GetLocalTime())));
    return {bytes.begin(), bytes.end()};
  }

  testing::TempDir dir_;
  sim::SimHost sim_;
  testing::RecordingHost host_;
  std::unique_ptr<DeviceTables> tables_ = std::make_unique<DeviceTables>();
  // The window's records, on a disk a test can fill.
  static inline bool diskFull_ = false;
  std::shared_ptr<RecordKeeper> records_ = std::make_shared<RecordKeeper>(
      dir_.path(), "LINE1",
      [](const std::filesystem::path& file, std::string_view bytes) { return !diskFull_ && AppendDurably(file, bytes); });
  PortScheduler scheduler_{host_, *tables_, FinishedWorker, FinishedWorker, records_};
  FakeView view_;
  MainWindowModel model_{view_, host_, scheduler_};
};

TEST_F(MainWindowModelTest, StartUpLocksTheImagesStartsTimersAndNumbersTheRows) {
  g_portSlots[5].state = kPortWorkerStarted, g_portSlots[5].inUse = 1;
  SelectCpuModel(kModelQx7120);
  model_.OnInit();

  EXPECT_EQ(view_.texts[kIdModeSwitch], "高级模式>>");
  EXPECT_EQ(view_.Ids(false), kImageControlIds);
  EXPECT_TRUE(view_.Ids(true).empty());
  Texts expected = kTimerStarts;
  expected.push_back("combo 1058 2");
  for (int port = 0; port < 8; ++port) expected.push_back("row " + std::to_string(port));
  EXPECT_EQ(view_.events, expected);
  EXPECT_EQ(CurrentModelSelection()->cpuModel, 2);
  EXPECT_EQ(g_portSlots[5].state + g_portSlots[5].inUse, 0);
  for (std::size_t port = 0; port < kPortCount; ++port) {
    EXPECT_EQ(model_.CellText(port, 0), std::to_string(port + 1));
    EXPECT_EQ(model_.CellText(port, kProgressColumn), "0%");
    EXPECT_EQ(model_.Fraction(port), 0.0);
  }
}

TEST_F(MainWindowModelTest, NandBinChoiceFillsThePathsChecksTheBoxesOrRefuses) {
  const struct {
    bool advanced;
    std::string chosen;
    Texts messages;
    std::array<std::string, kImageCount> paths;  // burn order
    std::set<int> checked;
  } cases[] = {
      {false, "D:\\img\\mynand.bin", {},
       {"D:\\img\\mynand.bin", "D:\\img\\myloader.bin", "D:\\img\\mydef_boot.bin",
        "D:\\img\\myimg_boot.bin", "D:\\img\\myminios.bin", "D:\\img\\myres.bin"},
       {1000, 1003, 1009, 1012, 1015}},
      {false, "D:\\img\\NAND.BIN", {"请选择文件nand.bin!"}, {}, {}},
      {true, "D:\\img\\nand.bin", {}, {"D:\\img\\nand.bin"}, {1000}},
      // img_boot.bin beside it would not fit the settings whole.
      {false, "D:\\" + std::string(1009, 'x') + "\\nand.bin", {std::string(kTextImagePathTooLong)}, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.chosen);
    FakeView view;
    MainWindowModel model(view, host_, scheduler_);
    g_advancedMode = c.advanced ? 1 : 0;
    view.openAnswers.push_back(c.chosen);
    model.OnChooseNandBin();
    EXPECT_EQ(view.openFilters, Texts{"BIN(*.BIN)|*.bin|| NULL"});
    EXPECT_EQ(view.messages, c.messages);
    std::set<int> checked;
    for (std::size_t image = 0; image < kImageCount; ++image) {
      EXPECT_EQ(view.texts[kImageControls[image].path], c.paths[image]);
      if (view.IsChecked(kImageControls[image].check)) checked.insert(kImageControls[image].check);
    }
    EXPECT_EQ(checked, c.checked);
  }
}

TEST_F(MainWindowModelTest, ModeSwitchBothWaysClearsChoicesAndFreesEveryPortState) {
  model_.OnInit();
  Choose(kIdNandOpen, "D:\\img\\nand.bin");
  Choose(kIdDemoOpen, "E:\\demo.rmvb");
  EXPECT_EQ(view_.openFilters.back(), "rmvb(*.*)|*.*|| NULL");
  g_portSlots[3].state = kPortWorkerStarted, g_portSlots[3].inUse = 1;
  // Normal mode keeps nand.bin's box and path usable and locks the demo controls.
  const std::set<int> normalDisabled = {1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1011,
                                        1012, 1013, 1014, 1015, 1016, 1017, 1019, 1020, 1021, 1030};
  for (const bool toAdvanced : {true, false}) {
    SCOPED_TRACE(toAdvanced);
    view_.enabled.clear();
    view_.checked[kIdLoaderCheck] = true;
    g_portSlots[3].state = kPortWorkerStarted;
    model_.OnClicked(kIdModeSwitch);
    EXPECT_EQ(g_advancedMode, toAdvanced ? 1 : 0);
    EXPECT_EQ(view_.texts[kIdModeSwitch], toAdvanced ? "普通模式>>" : "高级模式>>");
    EXPECT_EQ(view_.Ids(toAdvanced), toAdvanced ? kImageControlIds : normalDisabled);
    for (const ImageControls& image : kImageControls) {
      EXPECT_EQ(view_.texts[image.path], "");
      EXPECT_FALSE(view_.IsChecked(image.check));
    }
    EXPECT_EQ(view_.texts[kIdDemoPath], "");
    EXPECT_TRUE(g_demoPath.Empty());
    for (const PortSlot& slot : g_portSlots) EXPECT_EQ(slot.state, kPortFree);
    EXPECT_EQ(g_portSlots[3].inUse, 1);
  }
}

TEST_F(MainWindowModelTest, CpuModelSelectionAndItsErrorMessage) {
  model_.OnCpuModelChanged(0);
  EXPECT_EQ(CurrentModelSelection()->model.folder, "7120");
  EXPECT_TRUE(view_.messages.empty());
  model_.OnCpuModelChanged(-1);  // the index is taken; folder and address keep
  const std::shared_ptr<const ModelSelection> selection = CurrentModelSelection();
  EXPECT_EQ(selection->cpuModel, -1);
  EXPECT_EQ(selection->model.folder, "7120");
  EXPECT_EQ(selection->model.stage1Address, 0x80000000u);
  EXPECT_EQ(view_.messages, Texts{"CPU 类型出错"});
}

TEST_F(MainWindowModelTest, ClearAndCloseAskFirstAndLogTheCountOnOkEnterDoesNeither) {
  g_burnCounter = 17;
  model_.OnEnter();
  EXPECT_EQ(view_.events, Texts{"end"});
  view_.events.clear();
  view_.answers = {MessageAnswer::Cancel, MessageAnswer::Cancel};
  model_.OnClicked(kIdClear);
  model_.OnClose();
  EXPECT_EQ(view_.messages, (Texts{"Would you clear the counter?", "Would you close the tool of Korvex?"}));
  EXPECT_EQ(g_burnCounter, 17u);
  EXPECT_EQ(LogText(), "");
  EXPECT_TRUE(view_.events.empty());

  model_.OnTimer(kTimerIdle);
  EXPECT_EQ(view_.texts[kIdCounter], "17");
  model_.OnClear();
  EXPECT_EQ(g_burnCounter, 0u);
  EXPECT_EQ(view_.texts[kIdCounter], "0");
  g_burnCounter = 5;
  model_.OnClose();
  const std::string log = LogText();
  EXPECT_NE(log.find(": Update NUM is 17, someone clear to 0!\n"), std::string::npos);
  EXPECT_TRUE(log.ends_with(": Update NUM is 5, someone close the tool of the korvex!\n"));
  Texts expected = kTimerStops;
  expected.push_back("end");
  EXPECT_EQ(view_.events, expected);
  EXPECT_EQ(g_burnCounter, 0u);
}

TEST_F(MainWindowModelTest, ALostLogLineIsShownOnceOnTheWindowsThread) {
  model_.OnInit();
  // A folder in the log file's place: no line can be appended.
  const auto logFile = dir_.path() / PathFromUtf8(LogFileName(host_.GetLocalTime()));
  std::filesystem::create_directory(logFile);
  std::thread([this] {
    WriteLogLine(host_, "UID0001: nand.bin burn ok");
    WriteLogLine(host_, "UID0002: nand.bin burn ok");
  }).join();
  EXPECT_TRUE(view_.messages.empty()) << "never from the writer's thread";
  for (const int timer : {kTimerIdle, kTimerControlLock, kTimerIdle}) model_.OnTimer(timer);
  WriteLogLine(host_, "Update NUM is 2, someone clear to 0!");
  model_.OnTimer(kTimerIdle);
  EXPECT_EQ(view_.messages, Texts{"The production log " + PathToUtf8(logFile) +
                                  " cannot be written: lines of this run are missing from it. Burning goes on."});
}

TEST_F(MainWindowModelTest, ReadChecksTheUnsignedRangeBeforeAskingForAFile) {
  const struct { std::string from, to; std::int32_t fromPage, toPage; bool rangeError; } cases[] = {
      {"10", "10", 10, 10, true},
      {"-1", "5", -1, 5, true},  // page 0xFFFFFFFF onwards
      {"abc", "99999999999", 0, 0, true},
      {"  7x", "9", 7, 9, false},  // last: the READ below uses it
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.from + ".." + c.to);
    view_.events.clear(), view_.messages.clear();
    view_.texts[kIdFromPage] = c.from, view_.texts[kIdToPage] = c.to;
    model_.OnFromToChanged(kIdFromPage), model_.OnFromToChanged(kIdToPage);
    EXPECT_EQ(std::pair(model_.Fields().fromPage, model_.Fields().toPage), std::pair(c.fromPage, c.toPage));
    model_.OnClicked(kIdRead);
    Texts events{"caret 1066", "caret 1067"};
    if (!c.rangeError) events.push_back("save");
    EXPECT_EQ(view_.events, events);
    EXPECT_EQ(view_.messages, c.rangeError ? Texts{"地址设置有误"} : Texts{});
  }

  view_.saveAnswer = (dir_.path() / "out.bin").string();
  model_.OnRead();
  EXPECT_EQ(host_.MessageTexts(), Texts{"No Linked Device Find!"});  // none from the cancelled saves
}

TEST_F(MainWindowModelTest, DebugPausesEveryTimerWhileItsDialogRuns) {
  model_.OnClicked(kIdDebug);
  Texts expected = kTimerStops;
  expected.push_back("debug");
  expected.insert(expected.end(), kTimerStarts.begin(), kTimerStarts.end());
  EXPECT_EQ(view_.events, expected);
}

TEST_F(MainWindowModelTest, ControlLockFollowsAnyPortInUse) {
  model_.OnTimer(kTimerControlLock);
  EXPECT_EQ(view_.Ids(true), (std::set<int>{1000, 1001, 1002, 1018, 1019, 1042, 1043, 1056, 1058}));
  EXPECT_TRUE(view_.Ids(false).empty());

  g_portSlots[6].inUse = 1;
  model_.OnTimer(kTimerControlLock);
  EXPECT_EQ(view_.Ids(false), (std::set<int>{1002, 1018, 1019, 1042, 1043, 1056, 1058}));

  view_.enabled.clear();
  g_advancedMode = 1;
  model_.OnTimer(kTimerControlLock);
  EXPECT_EQ(view_.Ids(false), (std::set<int>{1018, 1042, 1043, 1056, 1058}));
}

TEST_F(MainWindowModelTest, ScanTakesTheFieldsAndCheckBoxesOfTheWindow) {
  sim_.Plug(1, {});
  Choose(kIdNandOpen, "/img/nand.bin");
  view_.checked[kIdFormatAfterBurn] = true;
  model_.OnClicked(kIdEraseWholeChip);
  model_.OnTimer(kTimerScan);
  sim_.JoinThreads();
  const PortContext& context = g_portContexts[0];
  EXPECT_EQ(context.settings.PathOf(kResBin).View(), "/img/res.bin");
  EXPECT_EQ(context.settings.IncludeOf(kDefBootBin), 0);
  EXPECT_EQ(context.settings.IncludeOf(kMiniosBin), 1);
  EXPECT_EQ(context.session.formatAfterBurn, 1u);
  EXPECT_EQ(context.session.eraseWholeChip, 1);
  EXPECT_EQ(context.session.fileSystemFormat, 0);
}

// A record the disk refused holds the linked board: its row says why, and the scan that
// writes the record takes the board and gives the row back its progress.
TEST_F(MainWindowModelTest, ABoardHeldForUnwrittenRecordsSaysSoInItsRowUntilTheyAreWritten) {
  diskFull_ = true;
  RecordKeeper& keeper = *records_;
  BoardRecord record;
  keeper.Begin(record, host_, 3, "Qx7135", {});
  ASSERT_FALSE(keeper.Finish(record, host_, BurnEnd::kBurned, {}));
  sim_.Plug(1, {});
  Choose(kIdNandOpen, "/img/nand.bin");
  view_.events.clear();
  for (int scan = 0; scan < 2; ++scan) model_.OnTimer(kTimerScan);
  EXPECT_EQ(model_.CellText(0, 3), "board waiting: board records cannot be written (free disk space)");
  EXPECT_EQ(model_.CellText(1, 3), "0%");
  EXPECT_EQ(view_.events, Texts{"redraw 0"});  // once, not at every scan
  EXPECT_EQ(g_portSlots[0].inUse, 0);
  diskFull_ = false;
  model_.OnTimer(kTimerScan);
  sim_.JoinThreads();
  EXPECT_EQ(keeper.UnwrittenCount(), 0u);
  EXPECT_EQ(g_portSlots[0].inUse, 1);
  EXPECT_EQ(model_.CellText(0, 3), "0%");
  EXPECT_EQ(view_.events, (Texts{"redraw 0", "redraw 0"}));
}

TEST_F(MainWindowModelTest, DemoTimerRunsTheCopyOnlyInNormalModeWithAChosenFile) {
  int copies = 0;
  model_.SetDemoCopy([&copies] { ++copies; });
  model_.OnDemoTimer(kTimerDemo);  // no file yet
  Choose(kIdDemoOpen, "E:\\demo.rmvb");
  EXPECT_EQ(view_.Ids(false), (std::set<int>{1020, 1021, 1030}));
  model_.OnDemoTimer(kTimerIdle);
  model_.OnDemoTimer(kTimerDemo);
  EXPECT_EQ(copies, 1);

  view_.enabled.clear();
  g_advancedMode = 1;
  model_.OnDemoTimer(kTimerDemo);
  EXPECT_EQ(copies, 1);
  EXPECT_EQ(view_.Ids(false), (std::set<int>{1020, 1021, 1030}));
  EXPECT_EQ(view_.Ids(true), std::set<int>{1019});
}

}  // namespace
}  // namespace korvex
