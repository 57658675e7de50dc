#pragma once
// The registry records that Windows keeps for the boot driver's interface class, one
// instance per virtual USB port, read-only under HKEY_LOCAL_MACHINE:
//   <class key>\<instance>\                   (one per port)
//   <class key>\<instance>\#\                 REG_SZ    SymbolicLink
//   <class key>\<instance>\#\Control\         REG_DWORD Linked (1 while a board is plugged)
// Not thread-safe on its own: the driver's lock guards it.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/host.h"

namespace korvex::sim {

// Windows' answer to a key handle it never gave out (ERROR_INVALID_HANDLE).
inline constexpr long kRegInvalidHandle = 6;

// The device path of port k: the shape of the driver's own links, 79 characters, with
// the instance field counting up so that name order is port order.
std::string DefaultSymbolicLink(int usbPort);
// The instance subkey a link is filed under: its leading "\\?\" becomes "##?#".
std::string InstanceKeyName(std::string_view symbolicLink);

class VirtualRegistry {
 public:
  // isLinked(port) answers the "Linked" value at the moment it is read.
  VirtualRegistry(int usbPorts, std::function<bool(int)> isLinked);

  long Open(std::string_view path, RegKey& key);
  long EnumKey(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) const;
  long QueryString(RegKey key, std::string_view valueName, char* data,
                   std::uint32_t dataSize) const;
  long QueryDword(RegKey key, std::string_view valueName, std::uint32_t& value) const;
  void Close(RegKey key);

  const std::string& SymbolicLinkOf(int usbPort) const;
  void SetSymbolicLink(int usbPort, std::string link);
  void RemoveValue(int usbPort, std::string_view valueName);
  // The port whose device path is exactly `path`.
  std::optional<int> PortOfDevicePath(std::string_view path) const;
  std::size_t OpenKeyCount() const { return keys_.size(); }

 private:
  enum class Level { Class, Instance, Reference, Control };
  struct Node {
    Level level = Level::Class;
    int port = -1;
  };
  struct Instance {
    std::string keyName;
    std::string symbolicLink;
    bool hasSymbolicLink = true;
    bool hasLinked = true;
  };

  std::optional<Node> Find(std::string_view path) const;
  const Node* NodeOf(RegKey key) const;
  std::vector<std::string> SubkeysOf(const Node& node) const;

  std::vector<Instance> instances_;
  std::vector<int> enumOrder_;  // ports in name order, as Windows enumerates subkeys
  std::function<bool(int)> isLinked_;
  std::unordered_map<RegKey, Node> keys_;
  RegKey nextKey_ = 1;
};

}  // namespace korvex::sim
