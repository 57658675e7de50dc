#include "win32/main_dialog.h"

#include <commctrl.h>

#include "app/control_ids.h"
#include "app/port_progress.h"
#include "boot/station_model.h"
#include "host/win32/device_notifications.h"
#include "host/win32/utf8.h"
#include "records/record_keeper.h"
#include "app/port_workers.h"
#include "tools/demo_copy.h"
#include "win32/about_dialog.h"
#include "win32/debug_dialog.h"
#include "win32/file_dialogs.h"
#include "win32/flash_info_dialog.h"
#include "win32/nand_table_dialog.h"
#include "win32/resource.h"
#include "win32/shell_texts.h"

namespace korvex::win32 {

// The template and the model must name the same controls.
static_assert(IDC_NAND_CHECK == kIdNandCheck && IDC_NAND_PATH == kIdNandPath &&
              IDC_NAND_OPEN == kIdNandOpen);
static_assert(IDC_LOADER_CHECK == kIdLoaderCheck && IDC_LOADER_PATH == kIdLoaderPath &&
              IDC_LOADER_OPEN == kIdLoaderOpen);
static_assert(IDC_DEF_BOOT_CHECK == kIdDefBootCheck && IDC_DEF_BOOT_PATH == kIdDefBootPath &&
              IDC_DEF_BOOT_OPEN == kIdDefBootOpen);
static_assert(IDC_IMG_BOOT_CHECK == kIdImgBootCheck && IDC_IMG_BOOT_PATH == kIdImgBootPath &&
              IDC_IMG_BOOT_OPEN == kIdImgBootOpen);
static_assert(IDC_MINIOS_CHECK == kIdMiniosCheck && IDC_MINIOS_PATH == kIdMiniosPath &&
              IDC_MINIOS_OPEN == kIdMiniosOpen);
static_assert(IDC_RES_CHECK == kIdResCheck && IDC_RES_PATH == kIdResPath &&
              IDC_RES_OPEN == kIdResOpen);
static_assert(IDC_MODE_SWITCH == kIdModeSwitch && IDC_FORMAT_AFTER_BURN == kIdFormatAfterBurn &&
              IDC_DEMO_CHECK == kIdDemoCheck && IDC_DEMO_PATH == kIdDemoPath &&
              IDC_DEMO_OPEN == kIdDemoOpen && IDC_BANNER == kIdBanner);
static_assert(IDC_COUNTER == kIdCounter && IDC_CLEAR == kIdClear &&
              IDC_TEST_BUTTON == kIdTestButton && IDC_UPDATE_BUTTON == kIdUpdateButton &&
              IDC_NAND_TABLE == kIdNandTable && IDC_CPU_MODEL == kIdCpuModel &&
              IDC_CPU_MODEL_LABEL == kIdCpuModelLabel && IDC_DEBUG == kIdDebug);
static_assert(IDC_READ == kIdRead && IDC_PROGRESS_LIST == kIdProgressList &&
              IDC_FROM_PAGE == kIdFromPage && IDC_TO_PAGE == kIdToPage &&
              IDC_FILE_SYSTEM_FORMAT == kIdFileSystemFormat &&
              IDC_ERASE_WHOLE_CHIP == kIdEraseWholeChip && IDC_FLASH_INFO == kIdFlashInfo);
static_assert(WM_PORT_PROGRESS == WM_USER + 121);

namespace {

constexpr COLORREF kCpuModelLabelColour = RGB(255, 0, 0);

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

void MainDialog::LockToJob(JobFile job) {
  titleSuffix_ = std::string(kTitleJobPrefix) + job.name + titleSuffix_;
  model_.LockToJob(std::move(job));
}

MainDialog::MainDialog(HINSTANCE instance, Host& host, std::shared_ptr<RecordKeeper> records,
                       std::string titleSuffix, WindowObserver observer)
    : instance_(instance),
      host_(host),
      titleSuffix_(std::move(titleSuffix)),
      observer_(std::move(observer)),
      tables_(std::make_unique<DeviceTables>()),
      records_(std::move(records)),
      scheduler_(host, *tables_, ThreadFunc0, ReadBack, records_),
      model_(*this, host, scheduler_),
      list_(model_) {
  // What the demo timer runs once the model has opened its gate.
  model_.SetDemoCopy([this] { DemoTimerTick(host_, g_demoPath.View(), g_demoVolumes); });
}

MainDialog::~MainDialog() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

INT_PTR MainDialog::RunModal() {
  modal_ = true;
  return ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DialogProcedure,
                           reinterpret_cast<LPARAM>(this));
}

HWND MainDialog::CreateModeless() {
  modal_ = false;
  HWND window = ::CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                     DialogProcedure, reinterpret_cast<LPARAM>(this));
  if (window != nullptr) ::ShowWindow(window, SW_SHOW);
  return window;
}

MainDialog* MainDialog::FromWindow(HWND window) {
  return reinterpret_cast<MainDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
}

INT_PTR CALLBACK MainDialog::DialogProcedure(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<MainDialog*>(lParam);
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
    self->window_ = window;
    self->OnInitDialog();
    return TRUE;
  }
  // Messages before WM_INITDIALOG (the list's first measuring) get the defaults.
  MainDialog* self = FromWindow(window);
  return self == nullptr ? FALSE : self->OnMessage(message, wParam, lParam);
}

void CALLBACK MainDialog::IdleTimerProcedure(HWND, UINT, UINT_PTR, DWORD) {}

void CALLBACK MainDialog::DemoTimerProcedure(HWND window, UINT, UINT_PTR id, DWORD) {
  if (MainDialog* self = FromWindow(window)) self->model_.OnDemoTimer(static_cast<int>(id));
}

void MainDialog::ShowRecordsWaiting() {
  std::size_t waiting = 0;
  if (RecordSync* sync = records_->sync()) {
    const SyncReport last = sync->LastReport();
    if (!last.error.empty()) waiting = last.pending;
  }
  if (waiting == titleWaiting_) return;
  titleWaiting_ = waiting;
  std::wstring title = baseTitle_;
  if (waiting > 0) title += Utf8ToWide(" - " + std::to_string(waiting) + " records waiting for the line database");
  ::SetWindowTextW(window_, title.c_str());
}

INT_PTR MainDialog::Answer(LRESULT result) {
  ::SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR MainDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_TIMER:
      model_.OnTimer(static_cast<int>(wParam));
      if (wParam == kTimerScan) ShowRecordsWaiting();
      return TRUE;
    case WM_PORT_PROGRESS:
      return Answer(model_.OnPortProgress(wParam, lParam));
    case WM_DEVICECHANGE:
      // A board swapped faster than the scan: the scan learns of it here.
      if (const auto note = DecodeDeviceChange(wParam, lParam)) {
        scheduler_.NoteDeviceChange(note->change, note->symbolicLink);
      }
      return Answer(TRUE);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return OnControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != IDM_ABOUT) return FALSE;
      RunAboutDialog();
      return TRUE;
    case WM_DRAWITEM:
      if (wParam != IDC_PROGRESS_LIST) return FALSE;
      list_.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_MEASUREITEM:
      if (wParam != IDC_PROGRESS_LIST) return FALSE;
      list_.MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_NOTIFY: {
      const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
      LRESULT result = 0;
      if (header.idFrom != IDC_PROGRESS_LIST || !list_.OnNotify(header, result)) return FALSE;
      return Answer(result);
    }
    case WM_SYSCOLORCHANGE:
      // Only top-level windows hear of it; the list needs it for its palette.
      list_.OnSysColorChange();
      return TRUE;
    case WM_PAINT:
      return PaintMinimised() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(bigIcon_);
    case WM_NCDESTROY:
      OnNcDestroy();
      return FALSE;
    default:
      return FALSE;
  }
}

void MainDialog::OnInitDialog() {
  deviceNotifications_ = RegisterDriverNotifications(window_);
  if (HMENU menu = ::GetSystemMenu(window_, FALSE)) {
    ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu, MF_STRING, IDM_ABOUT, Utf8ToWide(kTextAboutMenuItem).c_str());
  }
  LoadArtwork();
  if (!titleSuffix_.empty()) {
    ::SetWindowTextW(window_, (WindowText(window_) + Utf8ToWide(titleSuffix_)).c_str());
  }
  baseTitle_ = WindowText(window_);
  if (observer_) observer_(window_);

  BuildDeviceTables(host_, *tables_);

  HWND combo = ::GetDlgItem(window_, IDC_CPU_MODEL);
  for (const CpuModelInfo& model : kCpuModels) {
    ::SendMessageW(combo, CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(Utf8ToWide(model.comboText).c_str()));
  }
  HWND list = ::GetDlgItem(window_, IDC_PROGRESS_LIST);
  list_.Attach(list);
  list_.SetupColumns();
  CreateListFont();
  model_.OnInit();
  // The list measured its rows before it had this font; a position change makes it
  // measure them again.
  ::SetWindowPos(list, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void MainDialog::LoadArtwork() {
  bigIcon_ = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_KORVEX), IMAGE_ICON,
                                             ::GetSystemMetrics(SM_CXICON),
                                             ::GetSystemMetrics(SM_CYICON), 0));
  smallIcon_ = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDI_KORVEX),
                                               IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                               ::GetSystemMetrics(SM_CYSMICON), 0));
  ::SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_));
  ::SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));

  // The banner is drawn large and scaled once to its control's size in pixels.
  HWND picture = ::GetDlgItem(window_, IDC_BANNER);
  RECT area{};
  ::GetClientRect(picture, &area);
  banner_ = static_cast<HBITMAP>(::LoadImageW(instance_, MAKEINTRESOURCEW(IDB_BANNER),
                                              IMAGE_BITMAP, area.right, area.bottom, 0));
  ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(banner_));
}

void MainDialog::CreateListFont() {
  HDC screen = ::GetDC(nullptr);
  const int pixelsPerInch = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  listFont_ = ::CreateFontW(ListFontHeight(pixelsPerInch), 0, 0, 0, kListFontWeight, FALSE, FALSE,
                            FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS,
                            Utf8ToWide(kListFontFace).c_str());
  ::SendMessageW(list_.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(listFont_), FALSE);
}

void MainDialog::OnCommand(int id, int code) {
  switch (id) {
    case IDOK:
      model_.OnEnter();
      return;
    case IDCANCEL:
      model_.OnClose();
      return;
    default:
      break;
  }
  switch (code) {
    case BN_CLICKED:
      if (id == IDC_NAND_TABLE) {
        RunNandTableDialog();
      } else if (id == IDC_FLASH_INFO) {
        RunFlashInfoDialog();
      } else {
        model_.OnClicked(id);
      }
      return;
    case EN_CHANGE:
      if (id == IDC_FROM_PAGE || id == IDC_TO_PAGE) model_.OnFromToChanged(id);
      return;
    case CBN_SELCHANGE:
      if (id == IDC_CPU_MODEL) {
        model_.OnCpuModelChanged(
            static_cast<int>(::SendDlgItemMessageW(window_, IDC_CPU_MODEL, CB_GETCURSEL, 0, 0)));
      }
      return;
    default:
      return;
  }
}

INT_PTR MainDialog::OnControlColour(HDC dc, HWND control) {
  ::SetBkMode(dc, TRANSPARENT);
  if (::GetDlgCtrlID(control) == IDC_CPU_MODEL_LABEL) ::SetTextColor(dc, kCpuModelLabelColour);
  return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
}

bool MainDialog::PaintMinimised() {
  if (!::IsIconic(window_)) return false;
  PAINTSTRUCT paint{};
  HDC dc = ::BeginPaint(window_, &paint);
  ::SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  ::GetClientRect(window_, &client);
  const int x = (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(dc, x, y, bigIcon_);
  ::EndPaint(window_, &paint);
  return true;
}

void MainDialog::OnNcDestroy() {
  for (int id = 0; id <= kLastTimerId; ++id) ::KillTimer(window_, static_cast<UINT_PTR>(id));
  if (deviceNotifications_ != nullptr) ::UnregisterDeviceNotification(deviceNotifications_);
  deviceNotifications_ = nullptr;
  if (observer_) observer_(nullptr);
  ::SetWindowLongPtrW(window_, DWLP_USER, 0);
  window_ = nullptr;
  // The controls that used them are gone by now.
  for (HGDIOBJ object : {static_cast<HGDIOBJ>(listFont_), static_cast<HGDIOBJ>(banner_)}) {
    if (object != nullptr) ::DeleteObject(object);
  }
  for (HICON icon : {bigIcon_, smallIcon_}) {
    if (icon != nullptr) ::DestroyIcon(icon);
  }
  listFont_ = nullptr;
  banner_ = nullptr;
  bigIcon_ = smallIcon_ = nullptr;
}

// --- MainWindowView ---

WindowHandle MainDialog::Handle() const { return reinterpret_cast<WindowHandle>(window_); }

void MainDialog::EnableControl(int id, bool enabled) {
  ::EnableWindow(::GetDlgItem(window_, id), enabled ? TRUE : FALSE);
}

void MainDialog::SetCheck(int id, bool checked) {
  ::CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool MainDialog::IsChecked(int id) const {
  return ::IsDlgButtonChecked(window_, id) == BST_CHECKED;
}

void MainDialog::SetControlText(int id, std::string_view text) {
  // The fields are pushed every 50 ms: only a real change may touch the control, or
  // edits would flicker and lose their caret.
  HWND control = ::GetDlgItem(window_, id);
  const std::wstring wide = Utf8ToWide(text);
  if (WindowText(control) != wide) ::SetWindowTextW(control, wide.c_str());
}

std::string MainDialog::ControlText(int id) const {
  return WideToUtf8(WindowText(::GetDlgItem(window_, id)));
}

void MainDialog::MoveCaretToEnd(int id) {
  HWND edit = ::GetDlgItem(window_, id);
  const int length = ::GetWindowTextLengthW(edit);
  ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(length), length);
}

void MainDialog::SelectComboItem(int id, int index) {
  ::SendDlgItemMessageW(window_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void MainDialog::AddListRow(std::size_t port) { list_.AddRow(model_.RowRecord(port), port); }

void MainDialog::RedrawRow(std::size_t port) {
  // Rows are added in port order and never sorted.
  list_.UpdateRow(static_cast<int>(port));
}

MessageAnswer MainDialog::ShowMessageBox(const MessageBoxRequest& request) {
  return host_.ShowMessageBox(request);
}

std::optional<std::string> MainDialog::ChooseOpenFile(const OpenFileDialog& dialog) {
  return win32::ChooseOpenFile(window_, dialog);
}

std::optional<std::string> MainDialog::ChooseSaveFile() { return win32::ChooseSaveFile(window_); }

void MainDialog::RunDebugDialog() {
  DebugDialog dialog;
  dialog.Run(instance_, window_);
}

void MainDialog::RunNandTableDialog() {
  NandTableDialog dialog(host_);
  dialog.Run(instance_, window_);
}

void MainDialog::RunFlashInfoDialog() {
  FlashInfoDialog dialog;
  dialog.Run(instance_, window_);
}

void MainDialog::RunAboutDialog() {
  AboutDialog dialog;
  dialog.Run(instance_, window_);
}

void MainDialog::StartTimer(int id, std::uint32_t periodMs) {
  // The idle and demo timers run callbacks of their own; the others come as WM_TIMER.
  TIMERPROC callback = nullptr;
  if (id == kTimerIdle) callback = IdleTimerProcedure;
  if (id == kTimerDemo) callback = DemoTimerProcedure;
  ::SetTimer(window_, static_cast<UINT_PTR>(id), periodMs, callback);
}

void MainDialog::StopTimer(int id) { ::KillTimer(window_, static_cast<UINT_PTR>(id)); }

void MainDialog::EndDialog() {
  if (modal_) {
    ::EndDialog(window_, IDOK);
  } else {
    ::DestroyWindow(window_);
  }
}

}  // namespace korvex::win32
