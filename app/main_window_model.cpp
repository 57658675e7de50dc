#include "app/main_window_model.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>

#include "app/burn_counter.h"
#include "app/model_selection.h"
#include "app/station_close.h"
#include "app/station_settings_model.h"
#include "app/station_texts.h"
#include "boot/station_model.h"
#include "host/paths.h"
#include "station/production_log.h"

namespace korvex {

std::atomic<std::uint8_t> g_advancedMode{0};
ImagePath g_demoPath;

namespace {

// Normal mode at start-up: only nand.bin's chooser stays usable (the control lock
// gives back its check box and path while no port is in use).
constexpr std::array<int, 17> kNormalModeStartDisabled{
    kIdNandCheck, kIdLoaderCheck, kIdDefBootCheck, kIdImgBootCheck, kIdMiniosCheck, kIdResCheck,
    kIdLoaderOpen, kIdDefBootOpen, kIdImgBootOpen, kIdMiniosOpen, kIdResOpen,
    kIdNandPath, kIdLoaderPath, kIdDefBootPath, kIdImgBootPath, kIdMiniosPath, kIdResPath};

// Advanced mode opens every image control.
constexpr std::array<int, 17> kAdvancedModeEnabled = kNormalModeStartDisabled;

// Back to normal mode: the images that follow nand.bin, and the demo and format
// controls, close again.
constexpr std::array<int, 19> kNormalModeDisabled{
    kIdLoaderCheck, kIdDefBootCheck, kIdImgBootCheck, kIdMiniosCheck, kIdResCheck,
    kIdLoaderOpen, kIdDefBootOpen, kIdImgBootOpen, kIdMiniosOpen, kIdResOpen,
    kIdLoaderPath, kIdDefBootPath, kIdImgBootPath, kIdMiniosPath, kIdResPath,
    kIdDemoPath, kIdDemoOpen, kIdFormatAfterBurn, kIdDemoCheck};

// Advanced mode has no demo copy; the format option stays the operator's.
constexpr std::array<int, 3> kDemoControls{kIdDemoCheck, kIdDemoPath, kIdDemoOpen};

// What a job decides and the operator may not change while the window runs by it. The
// demo copy stays the operator's, as on the console.
constexpr std::array<int, 23> kJobLocked{
    kIdNandCheck, kIdLoaderCheck, kIdDefBootCheck, kIdImgBootCheck, kIdMiniosCheck, kIdResCheck,
    kIdNandOpen, kIdLoaderOpen, kIdDefBootOpen, kIdImgBootOpen, kIdMiniosOpen, kIdResOpen,
    kIdNandPath, kIdLoaderPath, kIdDefBootPath, kIdImgBootPath, kIdMiniosPath, kIdResPath,
    kIdModeSwitch, kIdCpuModel, kIdFormatAfterBurn, kIdFileSystemFormat, kIdEraseWholeChip};

bool IsJobLocked(int id) { return std::find(kJobLocked.begin(), kJobLocked.end(), id) != kJobLocked.end(); }

// Reads an edit's number the way the dialog reads a signed integer from its text:
// leading blanks, an optional minus, the digits up to the first other character.
// No digits, or a number outside 32 bits, gives 0.
std::int32_t ParseSignedField(std::string_view text) {
  std::size_t i = text.find_first_not_of(" \t");
  if (i == std::string_view::npos) return 0;
  const bool negative = text[i] == '-';
  if (negative) ++i;
  std::int64_t value = 0;
  std::size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    value = value * 10 + (text[i] - '0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return 0;
  }
  if (digits == 0) return 0;
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return 0;
  return static_cast<std::int32_t>(value);
}

}  // namespace

MainWindowModel::MainWindowModel(MainWindowView& view, Host& host, PortScheduler& scheduler)
    : view_(view), host_(host), scheduler_(scheduler) {}

MainWindowModel::~MainWindowModel() { SetLogFailureObserver(nullptr, nullptr); }

void MainWindowModel::OnLogLineLost(void* model, std::string_view file) {
  auto& self = *static_cast<MainWindowModel*>(model);
  std::lock_guard lock(self.lostLogMutex_);
  self.lostLogFile_ = std::string(file);
}

void MainWindowModel::Enable(std::span<const int> ids, bool enabled) {
  for (const int id : ids) view_.EnableControl(id, enabled);
}

void MainWindowModel::ShowMessage(std::string_view text) {
  view_.ShowMessageBox({text, kApplicationTitle, MessageButtons::Ok, kNoPort});
}

void MainWindowModel::PushFields() {
  for (std::size_t image = 0; image < kImageCount; ++image) {
    view_.SetControlText(kImageControls[image].path, fields_.imagePaths[image].View());
  }
  view_.SetControlText(kIdCounter, std::to_string(fields_.counterCopy));
  view_.SetControlText(kIdDemoPath, fields_.demoPath.View());
  view_.SetCheck(kIdFileSystemFormat, fields_.fileSystemFormat != 0);
  view_.SetCheck(kIdEraseWholeChip, fields_.eraseWholeChip != 0);
}

void MainWindowModel::PullFields() {
  for (std::size_t image = 0; image < kImageCount; ++image) {
    fields_.imagePaths[image].Assign(view_.ControlText(kImageControls[image].path));
  }
  // The counter's edit is read-only to the operator; text that is not a number leaves
  // the copy as it was.
  const std::string counter = view_.ControlText(kIdCounter);
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(counter.data(), counter.data() + counter.size(), value);
  if (error == std::errc{} && end == counter.data() + counter.size()) fields_.counterCopy = value;
  fields_.demoPath.Assign(view_.ControlText(kIdDemoPath));
  fields_.fileSystemFormat = view_.IsChecked(kIdFileSystemFormat) ? 1 : 0;
  fields_.eraseWholeChip = view_.IsChecked(kIdEraseWholeChip) ? 1 : 0;
}

void MainWindowModel::StartTimers() {
  for (const TimerSetting& timer : kStationTimers) view_.StartTimer(timer.id, timer.periodMs);
}

void MainWindowModel::StopTimers() {
  for (int id = 0; id <= kLastTimerId; ++id) view_.StopTimer(id);
}

StationSettings MainWindowModel::CurrentSettings() const {
  StationSettings settings;
  for (std::size_t image = 0; image < kImageCount; ++image) {
    settings.SetImage(static_cast<ImageId>(image), fields_.imagePaths[image].View(),
                      view_.IsChecked(kImageControls[image].check));
  }
  settings.formatAfterBurn = view_.IsChecked(kIdFormatAfterBurn) ? 1 : 0;
  settings.fileSystemFormat = fields_.fileSystemFormat != 0 ? 1 : 0;
  settings.eraseWholeChip = fields_.eraseWholeChip != 0 ? 1 : 0;
  settings.verifyWrites = verifyWrites_;
  settings.hwndMain = view_.Handle();
  return settings;
}

std::string_view MainWindowModel::CellText(std::size_t port, std::size_t column) const {
  const int source = kListColumns[column].source;
  if (source == kProgressTextSource) return heldForRecords_[port] ? kHeldForRecordsText : progress_.Row(port).text;
  return records_[port].strings[static_cast<std::size_t>(source)];
}

void MainWindowModel::OnInit() {
  for (PortSlot& slot : g_portSlots) {
    slot.state = kPortFree;
    slot.inUse = 0;
  }
  if (g_advancedMode == 0) {
    view_.SetControlText(kIdModeSwitch, kTextAdvancedModeButton);
    Enable(kNormalModeStartDisabled, false);
  }
  ReopenStation();
  SetLogFailureObserver(&MainWindowModel::OnLogLineLost, this);
  StartTimers();
  // Start-up selects the default model itself; the combo's change event is not raised.
  view_.SelectComboItem(kIdCpuModel, kDefaultCpuModel);
  SelectCpuModel(kDefaultCpuModel);

  progress_ = ProgressRows{};
  for (std::size_t port = 0; port < kPortCount; ++port) {
    records_[port] = ListRowRecord{};
    records_[port].strings[0] = std::to_string(port + 1);
    view_.AddListRow(port);
  }
  if (job_) ShowJob();
}

void MainWindowModel::ShowJob() {
  g_advancedMode = job_->advanced ? 1 : 0;
  view_.SetControlText(kIdModeSwitch, job_->advanced ? kTextNormalModeButton : kTextAdvancedModeButton);
  // As if the operator had picked the job's images: normal mode's nand.bin brings its folder's.
  StationSettings chosen;
  if (job_->advanced) {
    for (std::size_t image = 0; image < kImageCount; ++image) {
      if (job_->included[image]) chosen.SetImage(static_cast<ImageId>(image), PathToUtf8(job_->paths[image]), true);
    }
  } else {
    ChooseNandBin(chosen, PathToUtf8(job_->paths[kNandBin]), false);
  }
  for (std::size_t image = 0; image < kImageCount; ++image) {
    const ImageId id = static_cast<ImageId>(image);
    fields_.imagePaths[image] = chosen.PathOf(id);
    view_.SetCheck(kImageControls[image].check, chosen.includeFlags[JobSlotOf(id)] != 0);
  }
  view_.SetCheck(kIdFormatAfterBurn, job_->formatAfter);
  fields_.fileSystemFormat = job_->fsFormat ? 1 : 0;
  fields_.eraseWholeChip = job_->eraseChip ? 1 : 0;
  verifyWrites_ = job_->verify;
  view_.SelectComboItem(kIdCpuModel, job_->model);
  SelectCpuModel(job_->model);
  Enable(kJobLocked, false);
  PushFields();
}

void MainWindowModel::ApplyControlLock() {
  const ControlLockDecision d =
      DecideControlLock(PortScheduler::AnyPortInUse(), g_advancedMode != 0);
  for (std::size_t i = 0; i < d.enableCount; ++i) {
    if (!job_ || !IsJobLocked(d.enable[i])) view_.EnableControl(d.enable[i], true);
  }
  Enable(std::span(d.disable.data(), d.disableCount), false);
}

void MainWindowModel::OnTimer(int timerId) {
  fields_.counterCopy = g_burnCounter.load();
  PushFields();
  if (timerId == kTimerScan) ShowHeldPorts(scheduler_.Scan(CurrentSettings()));
  if (timerId == kTimerControlLock) ApplyControlLock();
  std::optional<std::string> lostLogFile;
  {
    std::lock_guard lock(lostLogMutex_);
    lostLogFile.swap(lostLogFile_);
  }
  // Taken before the box: timers that fire while it is open find nothing to show.
  if (lostLogFile) ShowMessage(LogLineLostText(*lostLogFile));
}

void MainWindowModel::ShowHeldPorts(const ScanResult& scan) {
  for (std::size_t port = 0; port < kPortCount; ++port) {
    if (heldForRecords_[port] == scan.heldForRecords[port]) continue;
    heldForRecords_[port] = scan.heldForRecords[port];
    view_.RedrawRow(port);
  }
}

void MainWindowModel::OnDemoTimer(int timerId) {
  if (g_advancedMode != 0) {
    Enable(kDemoControls, false);
    view_.EnableControl(kIdFormatAfterBurn, !job_);
    return;
  }
  if (!view_.IsChecked(kIdDemoCheck) || g_demoPath.Empty() || timerId != kTimerDemo) return;
  if (demoCopy_) demoCopy_();
}

bool MainWindowModel::OnClicked(int controlId) {
  // A disabled control sends nothing; this holds the job's choices even if one did.
  if (job_ && IsJobLocked(controlId)) return true;
  for (std::size_t image = 0; image < kImageCount; ++image) {
    if (kImageControls[image].open == controlId) {
      OnChooseImage(static_cast<ImageId>(image));
      return true;
    }
  }
  switch (controlId) {
    case kIdDemoOpen: OnChooseDemo(); return true;
    case kIdModeSwitch: OnModeSwitch(); return true;
    case kIdFileSystemFormat:
    case kIdEraseWholeChip: OnToggleOption(controlId); return true;
    case kIdClear: OnClear(); return true;
    case kIdDebug: OnDebug(); return true;
    case kIdRead: OnRead(); return true;
    default: return false;
  }
}

std::optional<std::string> MainWindowModel::ChooseImageFile(bool givesSiblings) {
  std::optional<std::string> path = view_.ChooseOpenFile({kImageFileFilter, kImageDefaultExtension});
  if (path && !ImagePathFits(*path, givesSiblings)) {
    ShowMessage(kTextImagePathTooLong);
    return std::nullopt;
  }
  return path;
}

void MainWindowModel::OnChooseNandBin() {
  const std::optional<std::string> path = ChooseImageFile(true);
  if (path) {
    const bool advanced = g_advancedMode != 0;
    StationSettings chosen;
    for (std::size_t image = 0; image < kImageCount; ++image) {
      chosen.SetImage(static_cast<ImageId>(image), fields_.imagePaths[image].View(), false);
    }
    if (!ChooseNandBin(chosen, *path, advanced)) ShowMessage(kTextChooseNandBin);
    for (std::size_t image = 0; image < kImageCount; ++image) {
      const ImageId id = static_cast<ImageId>(image);
      fields_.imagePaths[image] = chosen.PathOf(id);
      // Boxes the choice leaves out keep their state.
      if (chosen.includeFlags[JobSlotOf(id)] != 0) view_.SetCheck(kImageControls[image].check, true);
    }
  }
  PushFields();
}

void MainWindowModel::OnChooseImage(ImageId image) {
  if (image == kNandBin) {
    OnChooseNandBin();
    return;
  }
  if (const std::optional<std::string> path = ChooseImageFile(false)) {
    fields_.imagePaths[image].Assign(*path);
    view_.SetCheck(kImageControls[image].check, true);
  }
  PushFields();
}

void MainWindowModel::OnChooseDemo() {
  if (const std::optional<std::string> path =
          view_.ChooseOpenFile({kDemoFileFilter, kImageDefaultExtension})) {
    fields_.demoPath.Assign(*path);
    g_demoPath.Assign(*path);
    view_.SetCheck(kIdDemoCheck, true);
    // A job's format_after stands.
    if (!job_) view_.SetCheck(kIdFormatAfterBurn, true);
    Enable(kDemoControls, false);
  }
  PushFields();
}

void MainWindowModel::OnModeSwitch() {
  const bool advanced = g_advancedMode == 0;
  g_advancedMode = advanced ? 1 : 0;
  if (advanced) {
    view_.SetControlText(kIdModeSwitch, kTextNormalModeButton);
    Enable(kAdvancedModeEnabled, true);
  } else {
    view_.SetControlText(kIdModeSwitch, kTextAdvancedModeButton);
    Enable(kNormalModeDisabled, false);
  }
  for (std::size_t image = 0; image < kImageCount; ++image) {
    fields_.imagePaths[image].Clear();
    view_.SetCheck(kImageControls[image].check, false);
  }
  fields_.demoPath.Clear();
  g_demoPath.Clear();
  // Only the state: a claim stays until its board is unplugged.
  for (PortSlot& slot : g_portSlots) slot.state = kPortFree;
  PushFields();
}

void MainWindowModel::OnCpuModelChanged(int index) {
  if (job_) return;
  if (!SelectCpuModel(index)) ShowMessage(kTextCpuModelError);
}

void MainWindowModel::OnToggleOption(int controlId) {
  if (controlId == kIdFileSystemFormat) fields_.fileSystemFormat = fields_.fileSystemFormat ? 0 : 1;
  if (controlId == kIdEraseWholeChip) fields_.eraseWholeChip = fields_.eraseWholeChip ? 0 : 1;
}

void MainWindowModel::OnFromToChanged(int controlId) {
  if (controlId != kIdFromPage && controlId != kIdToPage) return;
  PullFields();
  const std::int32_t value = ParseSignedField(view_.ControlText(controlId));
  (controlId == kIdFromPage ? fields_.fromPage : fields_.toPage) = value;
  view_.MoveCaretToEnd(controlId);
}

void MainWindowModel::OnClear() {
  const MessageAnswer answer = view_.ShowMessageBox(
      {kClearConfirmation.text, kClearConfirmation.caption, MessageButtons::OkCancel, kNoPort});
  if (ApplyClearAnswer(host_, answer, fields_.counterCopy)) PushFields();
}

void MainWindowModel::OnClose() {
  const MessageAnswer answer = view_.ShowMessageBox(
      {kCloseConfirmation.text, kCloseConfirmation.caption, MessageButtons::OkCancel, kNoPort});
  if (answer != MessageAnswer::Ok) return;
  // Boards still burning stop at their next block; none of them writes behind the
  // close line. The window does not wait for them: they wait for the window.
  RequestWorkersStop();
  WriteCloseLineLast(host_, fields_.counterCopy);
  StopTimers();
  view_.EndDialog();
}

void MainWindowModel::OnEnter() { view_.EndDialog(); }

void MainWindowModel::OnRead() {
  // The range is compared as the unsigned page numbers the read-back takes.
  const auto from = static_cast<std::uint32_t>(fields_.fromPage);
  const auto to = static_cast<std::uint32_t>(fields_.toPage);
  if (to <= from) {
    ShowMessage(kTextBadAddressRange);
    return;
  }
  const std::optional<std::string> output = view_.ChooseSaveFile();
  if (!output) return;
  scheduler_.StartReadBack(CurrentSettings(), from, to, PathFromUtf8(*output));
}

void MainWindowModel::OnDebug() {
  StopTimers();
  view_.RunDebugDialog();
  StartTimers();
}

std::intptr_t MainWindowModel::OnPortProgress(std::uintptr_t wParam, std::intptr_t lParam) {
  const int port = progress_.Handle(wParam, lParam);
  if (port >= 0) view_.RedrawRow(static_cast<std::size_t>(port));
  return 0;
}

}  // namespace korvex
