#pragma once
// A host with no registry and no devices: every such call fails. Paired with
// RecordingHost for code that only needs message boxes, time and the program folder.

#include "host/host.h"

namespace korvex::testing {

class NullHost : public Host {
 public:
  long RegOpenKeyRead(std::string_view, RegKey&) override { return kRegNotFound; }
  long RegEnumKeyName(RegKey, std::uint32_t, char*, std::uint32_t) override {
    return kRegNoMoreItems;
  }
  long RegQueryString(RegKey, std::string_view, char*, std::uint32_t) override {
    return kRegNotFound;
  }
  long RegQueryDword(RegKey, std::string_view, std::uint32_t&) override { return kRegNotFound; }
  void RegCloseKey(RegKey) override {}
  HostHandle OpenDevice(std::string_view, std::uint32_t& lastError) override {
    lastError = 2;
    return kInvalidHandle;
  }
  bool DeviceIoControl(HostHandle, std::uint32_t, const RequestBuffer&, RequestBuffer&) override {
    return false;
  }
  bool WriteDevice(HostHandle, const std::uint8_t*, std::uint32_t, std::uint32_t&) override {
    return false;
  }
  bool ReadDevice(HostHandle, std::uint8_t*, std::uint32_t, std::uint32_t&) override {
    return false;
  }
  bool CloseDevice(HostHandle) override { return false; }
  MessageAnswer ShowMessageBox(const MessageBoxRequest&) override { return MessageAnswer::Ok; }
  LocalTime GetLocalTime() override { return {}; }
  void Sleep(std::uint32_t) override {}
  std::string ModuleFileName() override { return {}; }
};

}  // namespace korvex::testing
