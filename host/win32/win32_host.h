#pragma once
// The station's host on real Windows: every method is the one Win32 call the station
// makes, with the same arguments and results. Registry and device paths stay 8-bit
// (the A functions), since the driver's names are ASCII; message boxes, the program
// path and file names go through the wide-character API, converted from and to the
// core's UTF-8.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace korvex {

class Win32Host : public Host {
 public:
  // The window that owns every message box (the main dialog once it exists); 0 for
  // none. A box shown from a worker thread is owned by the same window.
  void SetOwnerWindow(WindowHandle owner) { owner_.store(owner); }
  WindowHandle OwnerWindow() const { return owner_.load(); }

  long RegOpenKeyRead(std::string_view path, RegKey& key) override;
  long RegEnumKeyName(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) override;
  long RegQueryString(RegKey key, std::string_view valueName, char* data,
                      std::uint32_t dataSize) override;
  long RegQueryDword(RegKey key, std::string_view valueName, std::uint32_t& value) override;
  void RegCloseKey(RegKey key) override;

  HostHandle OpenDevice(std::string_view path, std::uint32_t& lastError) override;
  DeviceResult DeviceIoControl(HostHandle handle, std::uint32_t code, const RequestBuffer& in,
                               RequestBuffer& out) override;
  DeviceResult WriteDevice(HostHandle handle, const std::uint8_t* data, std::uint32_t count) override;
  DeviceResult ReadDevice(HostHandle handle, std::uint8_t* data, std::uint32_t count) override;
  bool CloseDevice(HostHandle handle) override;

  std::intptr_t SendWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) override;
  bool StartThread(ThreadProc proc, void* argument) override;

  std::vector<std::string> LogicalDriveRoots() override;
  bool IsRemovableDrive(std::string_view root) override;
  bool QueryFreeSpace(std::string_view root, std::uint64_t& freeBytes) override;
  bool FindFile(std::string_view path) override;
  bool CopyFileOver(std::string_view from, std::string_view to) override;
  bool DeleteFilePath(std::string_view path) override;
  ProcessResult RunProcess(const ProcessRequest& request) override;

  // Ports are not shown: the station's texts already name the port where it matters.
  MessageAnswer ShowMessageBox(const MessageBoxRequest& request) override;
  LocalTime GetLocalTime() override;
  void Sleep(std::uint32_t milliseconds) override;
  void RandomBytes(std::span<std::uint8_t> out) override;
  std::string ModuleFileName() override;

 private:
  std::atomic<WindowHandle> owner_{0};
};

}  // namespace korvex
