#include "device/device_discovery.h"

#include <algorithm>
#include <array>

#include "device/device_texts.h"

namespace korvex {

namespace {

// Closes a key on every path out of a reader.
class OpenKey {
 public:
  OpenKey(Host& host, std::string_view path) : host_(host) {
    open_ = host_.RegOpenKeyRead(path, key_) == kRegSuccess;
  }
  ~OpenKey() {
    if (open_) host_.RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  bool IsOpen() const { return open_; }
  RegKey Get() const { return key_; }

 private:
  Host& host_;
  RegKey key_ = 0;
  bool open_ = false;
};

// The text before the first NUL of a fixed buffer.
std::string_view TextIn(const char* buffer, std::size_t size) {
  const char* end = std::find(buffer, buffer + size, '\0');
  return {buffer, static_cast<std::size_t>(end - buffer)};
}

// The port that already serves entry n, or none.
LinkedDevice* PortOf(DeviceTables& tables, std::uint32_t n) {
  for (LinkedDevice& device : tables.linkedDevices) {
    if (device.regIndex == n) return &device;
  }
  return nullptr;
}

// The lowest port whose device is not linked, or none.
LinkedDevice* FreePort(DeviceTables& tables) {
  for (LinkedDevice& device : tables.linkedDevices) {
    if (device.linked == 0) return &device;
  }
  return nullptr;
}

}  // namespace

std::vector<std::string> ListInstanceNames(Host& host) {
  std::vector<std::string> names;
  OpenKey classKey(host, kDriverClassKey);
  if (!classKey.IsOpen()) return names;
  std::array<char, kInstanceNameBufferSize> buffer{};
  for (std::uint32_t i = 0;; ++i) {
    if (host.RegEnumKeyName(classKey.Get(), i, buffer.data(), kInstanceNameBufferSize) !=
        kRegSuccess) {
      break;
    }
    if (names.size() == kMaxDeviceInstances) {
      host.ShowMessageBox({kTooManyDriversText, kMessageCaption, MessageButtons::Ok, kNoPort});
      break;
    }
    names.emplace_back(TextIn(buffer.data(), buffer.size()));
  }
  return names;
}

void BuildDeviceTables(Host& host, DeviceTables& tables) {
  tables.linkedDevices.fill(LinkedDevice{});
  tables.entries.fill(DeviceKeyEntry{});

  const std::vector<std::string> names = ListInstanceNames(host);
  for (std::size_t i = 0; i < names.size(); ++i) {
    DeviceKeyEntry& entry = tables.entries[i];
    entry.index = static_cast<std::uint32_t>(i + 1);
    entry.key = std::string(kDriverClassKey) + names[i] + "\\";
    entry.refKey = entry.key + std::string(kRefKeySuffix);
  }
  for (DeviceKeyEntry& entry : tables.entries) {
    if (!entry.refKey.empty()) {
      ReadRegistryString(host, entry.refKey, kSymbolicLinkValue, entry.symbolicLink);
    }
  }
  for (DeviceKeyEntry& entry : tables.entries) {
    if (!entry.refKey.empty()) entry.controlKey = entry.refKey + std::string(kControlKeySuffix);
  }
}

int ReadRegistryString(Host& host, std::string_view keyPath, std::string_view valueName,
                       DevicePath& value) {
  OpenKey key(host, keyPath);
  if (!key.IsOpen()) return 0;
  std::array<char, kSymbolicLinkBufferSize> buffer{};
  if (host.RegQueryString(key.Get(), valueName, buffer.data(), kSymbolicLinkBufferSize) !=
      kRegSuccess) {
    return 0;
  }
  value.Assign(TextIn(buffer.data(), buffer.size()));
  return 1;
}

int ReadRegistryDword(Host& host, std::string_view keyPath, std::string_view valueName,
                      std::uint32_t& value) {
  value = 0;
  OpenKey key(host, keyPath);
  if (!key.IsOpen()) return 0;
  std::uint32_t read = 0;
  if (host.RegQueryDword(key.Get(), valueName, read) != kRegSuccess) return 0;
  value = read;
  return 1;
}

int ReadLinked(Host& host, const DeviceTables& tables, std::uint32_t n, std::uint32_t& value) {
  value = 0;
  if (n < 1 || n > kMaxDeviceInstances) return 0;
  const DeviceKeyEntry& entry = tables.entries[n - 1];
  if (entry.controlKey.empty()) return 0;
  return ReadRegistryDword(host, entry.controlKey, kLinkedValue, value);
}

int CollectLinkedDevices(Host& host, DeviceTables& tables) {
  for (LinkedDevice& device : tables.linkedDevices) {
    ReadLinked(host, tables, device.regIndex, device.linked);
  }
  for (std::uint32_t n = 1; n <= kMaxDeviceInstances; ++n) {
    DeviceKeyEntry& entry = tables.entries[n - 1];
    ReadLinked(host, tables, n, entry.linked);
    if (entry.linked == 0) continue;

    LinkedDevice* port = PortOf(tables, n);
    if (port == nullptr) {
      port = FreePort(tables);
      if (port == nullptr) continue;  // all eight busy: waits for a port to free up
      port->regIndex = n;
    }
    port->symbolicLink = entry.symbolicLink;
    port->linked = 1;
  }
  return 1;
}

}  // namespace korvex
