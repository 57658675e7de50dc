#pragma once
// The driver's interface arrivals and removals as Windows announces them: a window
// registered with RegisterDeviceNotification receives WM_DEVICECHANGE for every
// interface of the driver's class. The main window registers itself; the console,
// which has no window, runs a message-only one on a thread of its own.

#include <windows.h>

#include <optional>
#include <string>
#include <thread>

#include "host/device_change.h"

namespace korvex {

// The driver's interface class {5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}.
extern const GUID kDriverInterfaceClass;

// Registers window for the class's notifications; nullptr when the system refuses.
HDEVNOTIFY RegisterDriverNotifications(HWND window);

struct DeviceChangeNote {
  DeviceChange change;
  std::string symbolicLink;  // UTF-8
};
// A WM_DEVICECHANGE's arrival or removal of a device interface; nullopt for any other.
std::optional<DeviceChangeNote> DecodeDeviceChange(WPARAM wParam, LPARAM lParam);

// A message-only window on its own thread that hands each note to handler there.
class DeviceChangeWindow {
 public:
  explicit DeviceChangeWindow(DeviceChangeHandler handler);
  ~DeviceChangeWindow();
  DeviceChangeWindow(const DeviceChangeWindow&) = delete;
  DeviceChangeWindow& operator=(const DeviceChangeWindow&) = delete;

  // The window, for a test that sends it WM_DEVICECHANGE; nullptr if it could not be made.
  HWND Handle() const { return window_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Run(HANDLE ready);

  DeviceChangeHandler handler_;
  HWND window_ = nullptr;
  std::thread thread_;
};

}  // namespace korvex
