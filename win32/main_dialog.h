#pragma once
// The station's main window (template 102). It owns the device tables, the port
// scheduler and the main window model, and is the model's view: the dialog procedure
// forwards every event to the model and the model tells it what to show through
// MainWindowView. Nothing here decides anything about the station.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/main_window_model.h"
#include "app/port_scheduler.h"
#include "device/device_discovery.h"
#include "host/host.h"
#include "win32/download_list_ctrl.h"

namespace korvex::win32 {

class MainDialog : public MainWindowView {
 public:
  // Told the window once it exists and nullptr when it is gone, so that whoever shows
  // message boxes for the station can make them owned by it.
  using WindowObserver = std::function<void(HWND)>;

  // records: the station's record keeper, a share of which each claimed board's
  // worker holds to its end. titleSuffix is appended to the template's title (UTF-8).
  MainDialog(HINSTANCE instance, Host& host, std::shared_ptr<RecordKeeper> records, std::string titleSuffix = {},
             WindowObserver observer = {});
  ~MainDialog() override;
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // The station's run: returns when the close confirmation or Enter ends the dialog.
  INT_PTR RunModal();
  // The same window without a modal loop of its own, for a caller that pumps
  // messages itself; ending it destroys the window. nullptr on failure.
  HWND CreateModeless();

  HWND Window() const { return window_; }
  HINSTANCE Instance() const { return instance_; }
  MainWindowModel& Model() { return model_; }
  // Runs the window by a job (before it is created): the model locks the job's
  // choices and the title names it.
  void LockToJob(JobFile job);
  // The scan, which also hears of boards swapped between two of its passes.
  PortScheduler& Scheduler() { return scheduler_; }
  const CDownloadListCtrl& List() const { return list_; }

  // --- MainWindowView ---
  WindowHandle Handle() const override;
  void EnableControl(int id, bool enabled) override;
  void SetCheck(int id, bool checked) override;
  bool IsChecked(int id) const override;
  void SetControlText(int id, std::string_view text) override;
  std::string ControlText(int id) const override;
  void MoveCaretToEnd(int id) override;
  void SelectComboItem(int id, int index) override;
  void AddListRow(std::size_t port) override;
  void RedrawRow(std::size_t port) override;
  // Through the host, whose boxes are owned by this window.
  MessageAnswer ShowMessageBox(const MessageBoxRequest& request) override;
  std::optional<std::string> ChooseOpenFile(const OpenFileDialog& dialog) override;
  std::optional<std::string> ChooseSaveFile() override;
  void RunDebugDialog() override;
  void StartTimer(int id, std::uint32_t periodMs) override;
  void StopTimer(int id) override;
  void EndDialog() override;

 protected:
  // The modal side dialogs the buttons and the system menu open.
  virtual void RunNandTableDialog();
  virtual void RunFlashInfoDialog();
  virtual void RunAboutDialog();

 private:
  static INT_PTR CALLBACK DialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static void CALLBACK IdleTimerProcedure(HWND window, UINT message, UINT_PTR id, DWORD time);
  static void CALLBACK DemoTimerProcedure(HWND window, UINT message, UINT_PTR id, DWORD time);
  static MainDialog* FromWindow(HWND window);

  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnCommand(int id, int code);
  INT_PTR OnControlColour(HDC dc, HWND control);
  bool PaintMinimised();
  void OnNcDestroy();
  void LoadArtwork();
  void CreateListFont();
  INT_PTR Answer(LRESULT result);
  // While records wait for the line's database, the title says how many.
  void ShowRecordsWaiting();

  HINSTANCE instance_;
  Host& host_;
  std::string titleSuffix_;
  std::wstring baseTitle_;      // the title as set at start, without the waiting count
  std::size_t titleWaiting_ = 0;
  WindowObserver observer_;
  HWND window_ = nullptr;
  bool modal_ = false;

  std::unique_ptr<DeviceTables> tables_;
  std::shared_ptr<RecordKeeper> records_;
  PortScheduler scheduler_;
  MainWindowModel model_;
  CDownloadListCtrl list_;

  HFONT listFont_ = nullptr;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
  HBITMAP banner_ = nullptr;
  HDEVNOTIFY deviceNotifications_ = nullptr;
};

}  // namespace korvex::win32
