#pragma once
// Every decision of the main window: start-up state, the two modes, the image and
// demo choosers, the CPU model, the timers (scan, control lock, demo gate), Clear and
// close, READ, DEBUG and the progress rows. The dialog forwards its events here and
// the model answers through MainWindowView, so all of it runs without a window.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/control_ids.h"
#include "app/list_paint.h"
#include "app/main_window_view.h"
#include "app/port_progress.h"
#include "app/port_scheduler.h"
#include "host/host.h"
#include "records/job_file.h"

namespace korvex {

// 0 normal mode (the operator picks nand.bin, the rest follow from its folder),
// 1 advanced mode (each image on its own). Read by the demo timer.
extern std::atomic<std::uint8_t> g_advancedMode;
// The demo file the demo copy sends to the boards' volumes; empty when none is
// chosen. Written and read on the window's thread only.
extern ImagePath g_demoPath;

// The window's bound fields; all start empty or 0.
struct MainWindowFields {
  std::array<ImagePath, kImageCount> imagePaths;  // by ImageId (burn order)
  std::uint32_t counterCopy = 0;                  // g_burnCounter as shown in 1042
  ImagePath demoPath;
  std::int32_t fromPage = 0;  // read-back range, read from its edit on each change
  std::int32_t toPage = 0;
  std::uint32_t fileSystemFormat = 0;  // 0/1, check box 1070
  std::uint32_t eraseWholeChip = 0;    // 0/1, check box 1078
};

// One list row's strings in column order "序号" .. "页大小(Byte)"; the progress text
// and fraction live in the model's ProgressRows.
struct ListRowRecord {
  std::array<std::string, kRecordStringCount> strings;
};

class MainWindowModel {
 public:
  // The scheduler's device tables must be built before OnInit.
  MainWindowModel(MainWindowView& view, Host& host, PortScheduler& scheduler);
  ~MainWindowModel();
  MainWindowModel(const MainWindowModel&) = delete;
  MainWindowModel& operator=(const MainWindowModel&) = delete;

  // What the demo timer runs once its gate opens (normal mode, "Demo" checked, a demo
  // path chosen). The demo copy reads g_demoPath.
  void SetDemoCopy(std::function<void()> demoCopy) { demoCopy_ = std::move(demoCopy); }

  // --- Events the dialog forwards ---
  void OnInit();
  // The window's own timers (scan and control lock); any id runs the prologue, which
  // also shows, once per run, that the production log refused a line.
  void OnTimer(int timerId);
  // The demo timer's callback.
  void OnDemoTimer(int timerId);
  // A button click; false when the id is not one the model handles.
  bool OnClicked(int controlId);
  void OnChooseNandBin();
  void OnChooseImage(ImageId image);
  void OnChooseDemo();
  void OnModeSwitch();
  // The CPU model combo's selection change with the index it reports (-1 for none).
  void OnCpuModelChanged(int index);
  void OnToggleOption(int controlId);
  // Text change of the From (1066) or To (1067) edit.
  void OnFromToChanged(int controlId);
  void OnClear();
  // The cancel command (Esc, close box, system menu).
  void OnClose();
  // The OK command (Enter): the dialog ends at once.
  void OnEnter();
  void OnRead();
  void OnDebug();
  // WM_PORT_PROGRESS; returns the message's result.
  std::intptr_t OnPortProgress(std::uintptr_t wParam, std::intptr_t lParam);

  // --- What the window shows ---
  const MainWindowFields& Fields() const { return fields_; }
  const ListRowRecord& RowRecord(std::size_t port) const { return records_[port]; }
  // The text of a list cell by list column index (column 3 is the progress text).
  std::string_view CellText(std::size_t port, std::size_t column) const;
  double Fraction(std::size_t port) const { return progress_.Row(port).fraction; }
  // The settings a scan hands to the ports: the fields and the check boxes now.
  StationSettings CurrentSettings() const;
  // The line engineer's choice from korvex.ini, not a control of the operator's.
  void SetVerifyWrites(bool on) { verifyWrites_ = on; }
  // Runs the window by a job (before OnInit): its model, mode, images and options
  // are shown and locked, whatever the control lock or a click would do.
  void LockToJob(JobFile job) { job_ = std::move(job); }

 private:
  void PushFields();
  void PullFields();
  void StartTimers();
  void StopTimers();
  void ApplyControlLock();
  void ShowHeldPorts(const ScanResult& scan);
  void ShowJob();
  void Enable(std::span<const int> ids, bool enabled);
  void ShowMessage(std::string_view text);
  std::optional<std::string> ChooseImageFile(bool givesSiblings);
  // The log's failure observer: runs on a worker's thread, so it only leaves the
  // file for the window's next timer.
  static void OnLogLineLost(void* model, std::string_view file);

  MainWindowView& view_;
  Host& host_;
  PortScheduler& scheduler_;
  std::function<void()> demoCopy_;
  MainWindowFields fields_;
  std::array<ListRowRecord, kPortCount> records_;
  ProgressRows progress_;
  // Ports whose linked board the last scan left unclaimed because board records
  // cannot be written: their row says so until a scan takes the board.
  std::array<bool, kPortCount> heldForRecords_{};
  std::mutex lostLogMutex_;
  std::optional<std::string> lostLogFile_;  // set once per run, taken by the timer
  bool verifyWrites_ = false;
  std::optional<JobFile> job_;
};

}  // namespace korvex
