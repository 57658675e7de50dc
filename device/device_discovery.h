#pragma once
// The driver's interface instances as the registry lists them, and the eight
// linked devices that the ports serve. Instances are read once at start-up; only
// their "Linked" values are refreshed by each scan. All of it runs in the main
// window's thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_session.h"
#include "host/host.h"

namespace korvex {

// The driver's interface class key under HKEY_LOCAL_MACHINE; the trailing backslash
// is part of it because every instance key is appended directly.
inline constexpr std::string_view kDriverClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
    "{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}\\";
inline constexpr std::string_view kSymbolicLinkValue = "SymbolicLink";  // REG_SZ
inline constexpr std::string_view kLinkedValue = "Linked";              // REG_DWORD
inline constexpr std::string_view kRefKeySuffix = "#\\";
inline constexpr std::string_view kControlKeySuffix = "Control\\";

inline constexpr std::size_t kMaxDeviceInstances = 128;
inline constexpr std::size_t kLinkedDeviceCount = 8;  // one per port
inline constexpr std::uint32_t kInstanceNameBufferSize = 261;

// One interface instance; entry n (1-based) belongs to the n-th listed subkey.
struct DeviceKeyEntry {
  std::string key;         // class key + name + "\"
  std::string refKey;      // key + "#\"
  std::string controlKey;  // refKey + "Control\"
  DevicePath symbolicLink; // empty when it cannot be read
  std::uint32_t linked = 0;
  std::uint32_t index = 0; // 1..128; 0 for an unused entry
};

// The device of one port.
struct LinkedDevice {
  DevicePath symbolicLink;
  std::uint32_t linked = 0;    // 1 while the port's device is linked
  std::uint32_t regIndex = 0;  // DeviceKeyEntry number; 0 when never used
};

// The station keeps one of these for its lifetime.
struct DeviceTables {
  std::array<DeviceKeyEntry, kMaxDeviceInstances> entries;  // entries[n - 1] is entry n
  std::array<LinkedDevice, kLinkedDeviceCount> linkedDevices;   // index = port
};

// Names of the class key's subkeys in enumeration order, at most 128; a 129th
// subkey shows kTooManyDriversText and ends the list.
std::vector<std::string> ListInstanceNames(Host& host);

// Start-up: clears the linked table, lists the instances and fills every entry.
void BuildDeviceTables(Host& host, DeviceTables& tables);

// A REG_SZ value read through an 80-byte buffer → 1, or 0 (value left untouched).
int ReadRegistryString(Host& host, std::string_view keyPath, std::string_view valueName,
                       DevicePath& value);
// A REG_DWORD value → 1, or 0 with value 0.
int ReadRegistryDword(Host& host, std::string_view keyPath, std::string_view valueName,
                      std::uint32_t& value);

// The "Linked" value of entry n → 1, or 0 with value 0 (n outside 1..128, no
// control key, or unreadable).
int ReadLinked(Host& host, const DeviceTables& tables, std::uint32_t n, std::uint32_t& value);

// Refreshes every entry's "Linked" value and gives newly linked devices the lowest
// free port; a device keeps its port while it stays linked. Returns 1.
int CollectLinkedDevices(Host& host, DeviceTables& tables);

}  // namespace korvex
