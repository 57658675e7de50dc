#pragma once
// A host with no driver: the registry has none of its keys and no device opens, so
// nothing can be sent to a board by mistake. The desktop half is left to the
// subclass (a dry run that collects message boxes, a test host).

#include "host/host.h"
#include "host/seeded_random.h"

namespace korvex {

class NoDeviceHost : public Host {
 public:
  static constexpr std::uint32_t kFileNotFound = 2;  // ERROR_FILE_NOT_FOUND

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
    lastError = kFileNotFound;
    return kInvalidHandle;
  }
  DeviceResult DeviceIoControl(HostHandle, std::uint32_t, const RequestBuffer&, RequestBuffer&) override {
    return {DeviceStatus::kGone, 0};
  }
  DeviceResult WriteDevice(HostHandle, const std::uint8_t*, std::uint32_t) override {
    return {DeviceStatus::kGone, 0};
  }
  DeviceResult ReadDevice(HostHandle, std::uint8_t*, std::uint32_t) override { return {DeviceStatus::kGone, 0}; }
  bool CloseDevice(HostHandle) override { return false; }
  // Nothing is burned through this host, so reproducible bytes serve.
  void RandomBytes(std::span<std::uint8_t> out) override { random_.Fill(out); }

 private:
  SeededRandom random_;
};

}  // namespace korvex
