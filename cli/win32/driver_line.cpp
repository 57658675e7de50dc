// The console on the USB boot driver: the real Win32 host, with the console as the
// workers' main window and the answerer of their message boxes, the station's folder
// as the program's, the driver's interface notifications, and the single-instance
// mutex that the window takes too.

#include <windows.h>

#include <iostream>
#include <mutex>
#include <thread>

#include "cli/station_line.h"
#include "host/paths.h"
#include "host/win32/device_notifications.h"
#include "host/win32/single_instance.h"
#include "host/win32/win32_host.h"
#include "station/port_context.h"

namespace korvex::cli {

namespace {

class ConsoleDriverHost : public Win32Host {
 public:
  explicit ConsoleDriverHost(const std::filesystem::path& home) : program_(PathToUtf8(home / "korvex-cli.exe")) {}

  void SetMessageBoxHandler(StationLine::MessageBoxHandler handler) {
    std::lock_guard lock(boxMutex_);
    boxHandler_ = std::move(handler);
  }
  void SetWindowProcedure(StationLine::WindowProcedure procedure) {
    std::lock_guard lock(windowMutex_);
    procedure_ = std::move(procedure);
  }

  MessageAnswer ShowMessageBox(const MessageBoxRequest& request) override {
    std::lock_guard lock(boxMutex_);
    if (boxHandler_) return boxHandler_(request);
    std::cerr << "korvex: " << request.text << "\n";
    return MessageAnswer::Ok;
  }
  // One message at a time, as a window thread takes them.
  std::intptr_t SendWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) override {
    std::lock_guard lock(windowMutex_);
    return procedure_ ? procedure_(window, message, wParam, lParam) : 0;
  }
  // The station's folder is --home, not the program's.
  std::string ModuleFileName() override { return program_; }

 private:
  std::string program_;
  std::mutex boxMutex_;
  StationLine::MessageBoxHandler boxHandler_;
  std::mutex windowMutex_;
  StationLine::WindowProcedure procedure_;
};

class DriverStationLine : public StationLine {
 public:
  DriverStationLine(const std::filesystem::path& home, std::unique_ptr<SingleInstance> guard)
      : guard_(std::move(guard)), host_(*new ConsoleDriverHost(home)) {}
  ~DriverStationLine() override { notifications_.reset(); }

  Host& GetHost() override { return host_; }
  sim::SimHost* Simulated() override { return nullptr; }
  void SetMessageBoxHandler(MessageBoxHandler handler) override { host_.SetMessageBoxHandler(std::move(handler)); }
  void SetWindowProcedure(WindowProcedure procedure) override { host_.SetWindowProcedure(std::move(procedure)); }
  void SetDeviceChangeHandler(DeviceChangeHandler handler) override {
    notifications_.reset();
    if (handler) notifications_ = std::make_unique<DeviceChangeWindow>(std::move(handler));
  }
  // A worker that did not end when asked is left to the process's end (EndProcess);
  // the others are waited for, as a read-back is.
  void EndWorkers(bool workersEnded) override {
    if (!workersEnded) return;
    for (;;) {
      bool running = false;
      for (const PortRun& run : g_portRuns) running |= run.workerRunning;
      if (!running) return;
      ::Sleep(10);
    }
  }

 private:
  std::unique_ptr<SingleInstance> guard_;
  // Never destroyed: a worker that would not stop may still use it until the process ends.
  ConsoleDriverHost& host_;
  std::unique_ptr<DeviceChangeWindow> notifications_;
};

}  // namespace

std::string_view DeviceBackendText() { return "the USB boot driver (Win32); --sim N for simulated boards"; }

bool HasDeviceDriver() { return true; }

std::unique_ptr<StationLine> OpenDriverLine(const std::filesystem::path& home, bool exclusive, std::string& error) {
  std::unique_ptr<SingleInstance> guard;
  if (exclusive) {
    guard = std::make_unique<SingleInstance>();
    if (!guard->IsFirst()) {
      error = "another station (korvex.exe or korvex-cli.exe) is driving the boards on this PC; close it, then "
              "start again (" + std::string(kTextAlreadyRunning) + ")";
      return nullptr;
    }
  }
  return std::make_unique<DriverStationLine>(home, std::move(guard));
}

}  // namespace korvex::cli
