#include "sim/sim_host.h"

#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <system_error>

#include <chrono>
#include <ctime>
#include <iostream>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>

#include "host/child_process.h"
#include "host/paths.h"
#include "sim/sim_volumes.h"
#include "sim/virtual_board.h"
#include "sim/virtual_driver.h"

namespace korvex::sim {
namespace {

// The board the calling thread last exchanged with: a worker's settle wait belongs to
// the board it is booting. A plain pointer, looked up in the driver before use: a
// thread_local with a destructor crashes threads that end while the process exits
// (seen with MinGW under Wine).
thread_local const VirtualBoard* t_lastBoard = nullptr;

std::shared_ptr<VirtualBoard> Used(std::shared_ptr<VirtualBoard> board) {
  if (board) t_lastBoard = board.get();
  return board;
}

}  // namespace

SimHost::SimHost(int usbPorts, std::filesystem::path home)
    : timing_(std::make_shared<SimTiming>()),
      driver_(std::make_unique<VirtualDriver>(usbPorts, timing_)),
      home_(std::move(home)),
      volumes_(std::make_unique<SimVolumes>(*driver_, home_)) {}

SimHost::~SimHost() {
  SetDeviceChangeHandler(nullptr);  // whoever listened may be gone already
  {
    // Nothing is plugged in behind the unplugging below.
    std::lock_guard lock(eventsMutex_);
    nextEvent_ = line_.events.size();
    eventsPending_ = false;
  }
  // Unplugging wakes any worker that waits on a board, so every thread can end.
  for (int port = 0; port < UsbPortCount(); ++port) driver_->Unplug(port);
  JoinThreads();
}

// --- Boards ---

void SimHost::Plug(int usbPort, const BoardSpec& spec) {
  const bool replaced = IsPlugged(usbPort);
  driver_->Plug(usbPort, spec);
  volumes_->Eject(usbPort);  // the board it belonged to is gone
  if (replaced) Announce(DeviceChange::kRemoval, usbPort);
  Announce(DeviceChange::kArrival, usbPort);
}

void SimHost::Unplug(int usbPort) {
  const bool plugged = IsPlugged(usbPort);
  driver_->Unplug(usbPort);
  volumes_->Eject(usbPort);
  if (plugged) Announce(DeviceChange::kRemoval, usbPort);
}

void SimHost::Replug(int usbPort) {
  const bool plugged = IsPlugged(usbPort);
  driver_->Replug(usbPort);
  volumes_->Eject(usbPort);
  if (plugged) Announce(DeviceChange::kRemoval, usbPort);
  Announce(DeviceChange::kArrival, usbPort);
}

void SimHost::SetDeviceChangeHandler(DeviceChangeHandler handler) {
  std::lock_guard lock(deviceChangeMutex_);
  deviceChangeHandler_ = std::move(handler);
}

void SimHost::Announce(DeviceChange change, int usbPort) {
  std::lock_guard lock(deviceChangeMutex_);
  if (deviceChangeHandler_) deviceChangeHandler_(change, SymbolicLinkOf(usbPort));
}

bool SimHost::HasBoard(int usbPort) const { return driver_->BoardOf(usbPort) != nullptr; }

// --- The line and its events ---

void SimHost::StartLine(const SimulatedLine& line) {
  // A board an event plugs is made when the event happens, on whichever thread
  // touches the host then; anything wrong with it must show here instead.
  if (line.UsbPorts() > UsbPortCount()) {
    throw std::out_of_range("the line needs " + std::to_string(line.UsbPorts()) + " USB ports, the host has " +
                            std::to_string(UsbPortCount()));
  }
  for (const PlugEvent& event : line.events) {
    if (event.action == PlugAction::kUnplug) continue;
    [[maybe_unused]] const VirtualBoard probe(
        event.action == PlugAction::kPlug ? line.FirstBoardOn(event.usbPort) : line.board);
  }
  SetTimingEnabled(line.timing);
  for (int port = 0; port < line.boards; ++port) Plug(port, line.FirstBoardOn(port));
  std::lock_guard lock(eventsMutex_);
  line_ = line;
  nextEvent_ = 0;
  lineStart_ = std::chrono::steady_clock::now();
  eventsPending_ = !line_.events.empty();
}

bool SimHost::EventsPending() const { return eventsPending_; }

void SimHost::SetEventClock(std::function<std::chrono::milliseconds()> clock) {
  std::lock_guard lock(eventsMutex_);
  eventClock_ = std::move(clock);
}

void SimHost::ApplyDueEvents() {
  if (!eventsPending_) return;
  std::lock_guard lock(eventsMutex_);
  const auto now = eventClock_ ? eventClock_()
                               : std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - lineStart_);
  while (nextEvent_ < line_.events.size() && line_.events[nextEvent_].at <= now) {
    Apply(line_.events[nextEvent_++]);
  }
  eventsPending_ = nextEvent_ < line_.events.size();
}

// An unplug finds the port empty, or a plug finds the board in: nothing happens,
// as when the operator's hand finds it so.
void SimHost::Apply(const PlugEvent& event) {
  const int port = event.usbPort;
  switch (event.action) {
    case PlugAction::kUnplug:
      if (IsPlugged(port)) Unplug(port);
      break;
    case PlugAction::kPlug:
      if (IsPlugged(port)) break;
      if (HasBoard(port)) {
        Replug(port);
      } else {
        Plug(port, line_.FirstBoardOn(port));
      }
      break;
    case PlugAction::kPlugNew: Plug(port, line_.board); break;
  }
}


bool SimHost::IsPlugged(int usbPort) const { return driver_->IsPlugged(usbPort); }
int SimHost::UsbPortCount() const { return driver_->UsbPortCount(); }

// --- Inspection: the last board plugged into the port; empty answers if there never was one.

std::vector<TraceEntry> SimHost::Trace(int usbPort) const {
  const auto board = driver_->BoardOf(usbPort);
  return board ? board->Trace() : std::vector<TraceEntry>{};
}

std::vector<std::string> SimHost::TraceText(int usbPort) const {
  std::vector<std::string> lines;
  for (const TraceEntry& entry : Trace(usbPort)) lines.push_back(ToString(entry));
  return lines;
}

void SimHost::ClearTrace(int usbPort) {
  if (const auto board = driver_->BoardOf(usbPort)) board->ClearTrace();
}

std::vector<std::uint8_t> SimHost::ReadNand(int usbPort, std::uint64_t offset,
                                            std::size_t length) const {
  const auto board = driver_->BoardOf(usbPort);
  return board ? board->ReadNand(offset, length) : std::vector<std::uint8_t>{};
}

void SimHost::WriteNand(int usbPort, std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
  if (const auto board = driver_->BoardOf(usbPort)) board->WriteNand(offset, bytes);
}

std::uint64_t SimHost::NandHighWater(int usbPort) const {
  const auto board = driver_->BoardOf(usbPort);
  return board ? board->NandHighWater() : 0;
}

std::map<std::uint64_t, std::vector<std::uint8_t>> SimHost::NandPieces(int usbPort) const {
  const auto board = driver_->BoardOf(usbPort);
  return board ? board->NandPieces() : std::map<std::uint64_t, std::vector<std::uint8_t>>{};
}

bool SimHost::DumpNand(int usbPort, const std::filesystem::path& dir) const {
  const auto board = driver_->BoardOf(usbPort);
  return board && board->DumpNand(dir / ("board-" + std::to_string(usbPort + 1) + ".nand"));
}

std::vector<std::vector<std::uint8_t>> SimHost::ConfigRecords(int usbPort) const {
  const auto board = driver_->BoardOf(usbPort);
  return board ? board->ConfigRecords() : std::vector<std::vector<std::uint8_t>>{};
}

bool SimHost::WasReset(int usbPort) const {
  const auto board = driver_->BoardOf(usbPort);
  return board && board->WasReset();
}

std::vector<std::uint32_t> SimHost::BadBlocks(int usbPort) const {
  const auto board = driver_->BoardOf(usbPort);
  return board ? board->BadBlocks() : std::vector<std::uint32_t>{};
}

std::vector<TimedCharge> SimHost::TimedCharges(int usbPort) const {
  const auto board = driver_->BoardOf(usbPort);
  return board ? board->TimedCharges() : std::vector<TimedCharge>{};
}

BoardStage SimHost::Stage(int usbPort) const {
  const auto board = driver_->BoardOf(usbPort);
  return board ? board->Stage() : BoardStage::BootRom;
}

bool SimHost::IsHung(int usbPort) const {
  const auto board = driver_->BoardOf(usbPort);
  return board && board->Hung();
}

std::vector<std::uint8_t> SimHost::Stage1Image(int usbPort) const {
  const auto board = driver_->BoardOf(usbPort);
  return board ? board->Stage1Image() : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> SimHost::Stage2Image(int usbPort) const {
  const auto board = driver_->BoardOf(usbPort);
  return board ? board->Stage2Image() : std::vector<std::uint8_t>{};
}

// --- Registry shaping ---

std::string SimHost::SymbolicLinkOf(int usbPort) const { return driver_->SymbolicLinkOf(usbPort); }

void SimHost::SetSymbolicLink(int usbPort, std::string link) {
  driver_->SetSymbolicLink(usbPort, std::move(link));
}

void SimHost::RemoveRegistryValue(int usbPort, std::string_view valueName) {
  driver_->RemoveRegistryValue(usbPort, valueName);
}

// --- Host: registry and devices ---

long SimHost::RegOpenKeyRead(std::string_view path, RegKey& key) {
  ApplyDueEvents();
  return driver_->RegOpenKeyRead(path, key);
}

long SimHost::RegEnumKeyName(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) {
  ApplyDueEvents();
  return driver_->RegEnumKeyName(key, index, name, nameSize);
}

long SimHost::RegQueryString(RegKey key, std::string_view valueName, char* data,
                             std::uint32_t dataSize) {
  ApplyDueEvents();
  return driver_->RegQueryString(key, valueName, data, dataSize);
}

long SimHost::RegQueryDword(RegKey key, std::string_view valueName, std::uint32_t& value) {
  ApplyDueEvents();
  return driver_->RegQueryDword(key, valueName, value);
}

void SimHost::RegCloseKey(RegKey key) { driver_->RegCloseKey(key); }

HostHandle SimHost::OpenDevice(std::string_view path, std::uint32_t& lastError) {
  ApplyDueEvents();
  return driver_->OpenDevice(path, lastError);
}

namespace {

// A board that went away is gone; one that is still there failed the exchange.
DeviceResult Outcome(const VirtualBoard& board, bool ok, std::uint32_t bytes) {
  if (ok) return {DeviceStatus::kOk, bytes};
  return {board.Attached() ? DeviceStatus::kFailed : DeviceStatus::kGone, bytes};
}

}  // namespace

DeviceResult SimHost::DeviceIoControl(HostHandle handle, std::uint32_t code, const RequestBuffer& in,
                                      RequestBuffer& out) {
  ApplyDueEvents();
  const auto board = Used(driver_->BoardOfHandle(handle));
  if (!board) return {DeviceStatus::kGone, 0};
  const bool ok = board->Request(code, in, out);
  return Outcome(*board, ok, ok ? static_cast<std::uint32_t>(out.size()) : 0);
}

DeviceResult SimHost::WriteDevice(HostHandle handle, const std::uint8_t* data, std::uint32_t count) {
  ApplyDueEvents();
  const auto board = Used(driver_->BoardOfHandle(handle));
  if (!board) return {DeviceStatus::kGone, 0};
  std::uint32_t written = 0;
  const bool ok = board->BulkWrite(data, count, written);
  return Outcome(*board, ok, written);
}

DeviceResult SimHost::ReadDevice(HostHandle handle, std::uint8_t* data, std::uint32_t count) {
  ApplyDueEvents();
  const auto board = Used(driver_->BoardOfHandle(handle));
  if (!board) return {DeviceStatus::kGone, 0};
  std::uint32_t read = 0;
  const bool ok = board->BulkRead(data, count, read);
  return Outcome(*board, ok, read);
}

bool SimHost::CloseDevice(HostHandle handle) { return driver_->CloseDevice(handle); }

// --- Host: desktop ---

void SimHost::SetMessageBoxHandler(std::function<MessageAnswer(const MessageBoxRequest&)> handler) {
  std::lock_guard lock(desktopMutex_);
  messageBoxHandler_ = std::move(handler);
}

void SimHost::SetInstantSleep(bool instant) { instantSleep_ = instant; }

void SimHost::SetTimingEnabled(bool enabled) { timing_->SetEnabled(enabled); }

void SimHost::SetTimingModel(const TimingModel& model) { timing_->SetModel(model); }

MessageAnswer SimHost::ShowMessageBox(const MessageBoxRequest& request) {
  std::function<MessageAnswer(const MessageBoxRequest&)> handler;
  {
    std::lock_guard lock(desktopMutex_);
    handler = messageBoxHandler_;
  }
  // Called without the lock: a handler may wait for an operator as long as it likes.
  if (handler) return handler(request);
  std::string line;
  if (request.port != kNoPort) line = "port " + std::to_string(request.port + 1) + ": ";
  line.append(request.text);
  line += '\n';
  std::cerr << line << std::flush;
  return MessageAnswer::Ok;
}

LocalTime SimHost::GetLocalTime() {
  ApplyDueEvents();
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  LocalTime time;
  time.year = static_cast<std::uint16_t>(local.tm_year + 1900);
  time.month = static_cast<std::uint16_t>(local.tm_mon + 1);
  time.day = static_cast<std::uint16_t>(local.tm_mday);
  time.hour = static_cast<std::uint16_t>(local.tm_hour);
  time.minute = static_cast<std::uint16_t>(local.tm_min);
  time.second = static_cast<std::uint16_t>(local.tm_sec);
  time.millisecond = static_cast<std::uint16_t>(millis);
  time.dayOfWeek = static_cast<std::uint16_t>(local.tm_wday);
  return time;
}

void SimHost::RandomBytes(std::span<std::uint8_t> out) {
  if (seeded_) {
    random_.Fill(out);
    return;
  }
  static std::mutex mutex;
  static std::random_device device;  // the operating system's source
  std::lock_guard lock(mutex);
  for (std::size_t at = 0; at < out.size(); at += 4) {
    const std::uint32_t word = device();
    for (std::size_t k = 0; k < 4 && at + k < out.size(); ++k) {
      out[at + k] = static_cast<std::uint8_t>(word >> (8 * k));
    }
  }
}

void SimHost::Sleep(std::uint32_t milliseconds) {
  ApplyDueEvents();
  if (instantSleep_) return;
  const auto since = std::chrono::steady_clock::now();
  if (const auto board = driver_->BoardStillHeld(t_lastBoard)) board->NoteWait(milliseconds);
  std::this_thread::sleep_until(since + std::chrono::milliseconds(milliseconds));
}

std::string SimHost::ModuleFileName() { return PathToUtf8(home_ / "korvex"); }

// --- Threads and the window ---

void SimHost::SetWindowProcedure(WindowProcedure procedure) {
  std::lock_guard lock(windowMutex_);
  windowProcedure_ = std::move(procedure);
}

std::intptr_t SimHost::SendWindowMessage(WindowHandle window, std::uint32_t message,
                                         std::uintptr_t wParam, std::intptr_t lParam) {
  std::lock_guard lock(windowMutex_);
  return windowProcedure_ ? windowProcedure_(window, message, wParam, lParam) : 0;
}

namespace {

// The timing model's sleeps stand for the board's and the link's time. Linux wakes a
// sleeper up to 50 us late by default, which over a burn's thousands of exchanges
// would count as the station's own time; the simulator's threads ask for none.
void KeepSleepsExact() {
#ifdef __linux__
  ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
}

}  // namespace

bool SimHost::StartThread(ThreadProc proc, void* argument) {
  std::lock_guard lock(threadsMutex_);
  try {
    threads_.emplace_back([proc, argument] {
      KeepSleepsExact();
      proc(argument);
    });
  } catch (const std::system_error&) {
    return false;  // no thread to be had, as CreateThread failing
  }
  return true;
}

void SimHost::JoinThreads() {
  // Threads may start further threads while we wait, so take turns until none is left.
  for (;;) {
    std::vector<std::thread> running;
    {
      std::lock_guard lock(threadsMutex_);
      running.swap(threads_);
    }
    if (running.empty()) return;
    for (std::thread& thread : running) thread.join();
  }
}

// --- Volumes and files ---

std::filesystem::path SimHost::VolumeDir(int usbPort) const { return volumes_->VolumeDir(usbPort); }

std::vector<std::string> SimHost::LogicalDriveRoots() {
  ApplyDueEvents();
  return volumes_->Roots();
}

bool SimHost::IsRemovableDrive(std::string_view root) { return volumes_->IsVolumeRoot(root); }

bool SimHost::QueryFreeSpace(std::string_view root, std::uint64_t& freeBytes) {
  ApplyDueEvents();
  return volumes_->FreeSpace(root, freeBytes);
}

bool SimHost::FindFile(std::string_view path) {
  std::error_code ec;
  return std::filesystem::exists(PathFromUtf8(path), ec);
}

bool SimHost::CopyFileOver(std::string_view from, std::string_view to) {
  std::error_code ec;
  return std::filesystem::copy_file(PathFromUtf8(from), PathFromUtf8(to),
                                    std::filesystem::copy_options::overwrite_existing, ec);
}

bool SimHost::DeleteFilePath(std::string_view path) {
  // DeleteFile takes files only, never a folder.
  std::error_code ec;
  const std::filesystem::path target = PathFromUtf8(path);
  return !std::filesystem::is_directory(target, ec) && std::filesystem::remove(target, ec);
}

}  // namespace korvex::sim

namespace korvex::sim {

ProcessResult SimHost::RunProcess(const ProcessRequest& request) { return RunChildProcess(request); }

}  // namespace korvex::sim
