#include "sim/virtual_registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "sim/sim_host.h"

namespace korvex::sim {
namespace {

// Instances are kept in USB port order; ports are ints as the driver numbers them.
std::size_t Slot(int port) { return static_cast<std::size_t>(port); }

constexpr std::string_view kSymbolicLinkValue = "SymbolicLink";
constexpr std::string_view kLinkedValue = "Linked";
constexpr std::string_view kReferenceKey = "#";
constexpr std::string_view kControlKey = "Control";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Registry names compare without regard to case, like Windows.
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view WithoutTrailingBackslash(std::string_view path) {
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return path;
}

// Copies text and its NUL when both fit into size bytes.
long CopyOut(std::string_view text, char* buffer, std::uint32_t size) {
  if (text.size() + 1 > size) return kRegMoreData;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return kRegSuccess;
}

}  // namespace

std::string DefaultSymbolicLink(int usbPort) {
  char link[96];
  std::snprintf(link, sizeof link,
                "\\\\?\\USB#Vid_7a3c&Pid_7120#5&%08x&0&4#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}",
                static_cast<unsigned>(0x1280f500u + static_cast<unsigned>(usbPort)));
  return link;
}

std::string InstanceKeyName(std::string_view symbolicLink) {
  constexpr std::string_view kDevicePrefix = "\\\\?\\";
  std::string name(symbolicLink);
  if (symbolicLink.substr(0, kDevicePrefix.size()) == kDevicePrefix) name.replace(0, 4, "##?#");
  return name;
}

VirtualRegistry::VirtualRegistry(int usbPorts, std::function<bool(int)> isLinked)
    : isLinked_(std::move(isLinked)) {
  if (usbPorts < 0) throw std::invalid_argument("negative USB port count");
  for (int port = 0; port < usbPorts; ++port) {
    const std::string link = DefaultSymbolicLink(port);
    instances_.push_back(Instance{InstanceKeyName(link), link});
  }
  enumOrder_.resize(instances_.size());
  std::iota(enumOrder_.begin(), enumOrder_.end(), 0);
  std::sort(enumOrder_.begin(), enumOrder_.end(), [this](int a, int b) {
    return instances_[Slot(a)].keyName < instances_[Slot(b)].keyName;
  });
}

std::optional<VirtualRegistry::Node> VirtualRegistry::Find(std::string_view path) const {
  const std::string_view classKey = WithoutTrailingBackslash(kInterfaceClassKey);
  path = WithoutTrailingBackslash(path);
  if (path.size() < classKey.size() || !SameName(path.substr(0, classKey.size()), classKey)) {
    return std::nullopt;
  }
  std::string_view rest = path.substr(classKey.size());
  if (rest.empty()) return Node{Level::Class, -1};
  if (rest.front() != '\\') return std::nullopt;
  rest.remove_prefix(1);
  std::vector<std::string_view> parts;
  for (std::size_t slash; (slash = rest.find('\\')) != std::string_view::npos;) {
    parts.push_back(rest.substr(0, slash));
    rest.remove_prefix(slash + 1);
  }
  parts.push_back(rest);
  if (parts.size() > 3) return std::nullopt;
  const auto instance = std::find_if(instances_.begin(), instances_.end(), [&](const Instance& i) {
    return SameName(i.keyName, parts[0]);
  });
  if (instance == instances_.end()) return std::nullopt;
  const int port = static_cast<int>(instance - instances_.begin());
  if (parts.size() == 1) return Node{Level::Instance, port};
  if (!SameName(parts[1], kReferenceKey)) return std::nullopt;
  if (parts.size() == 2) return Node{Level::Reference, port};
  if (!SameName(parts[2], kControlKey)) return std::nullopt;
  return Node{Level::Control, port};
}

const VirtualRegistry::Node* VirtualRegistry::NodeOf(RegKey key) const {
  const auto found = keys_.find(key);
  return found == keys_.end() ? nullptr : &found->second;
}

std::vector<std::string> VirtualRegistry::SubkeysOf(const Node& node) const {
  switch (node.level) {
    case Level::Class: {
      std::vector<std::string> names;
      for (const int port : enumOrder_) names.push_back(instances_[Slot(port)].keyName);
      return names;
    }
    case Level::Instance: return {std::string(kReferenceKey)};
    case Level::Reference: return {std::string(kControlKey)};
    case Level::Control: return {};
  }
  return {};
}

long VirtualRegistry::Open(std::string_view path, RegKey& key) {
  const auto node = Find(path);
  if (!node) return kRegNotFound;
  key = nextKey_++;
  keys_.emplace(key, *node);
  return kRegSuccess;
}

long VirtualRegistry::EnumKey(RegKey key, std::uint32_t index, char* name,
                              std::uint32_t nameSize) const {
  const Node* node = NodeOf(key);
  if (!node) return kRegInvalidHandle;
  const std::vector<std::string> names = SubkeysOf(*node);
  if (index >= names.size()) return kRegNoMoreItems;
  return CopyOut(names[index], name, nameSize);
}

long VirtualRegistry::QueryString(RegKey key, std::string_view valueName, char* data,
                                  std::uint32_t dataSize) const {
  const Node* node = NodeOf(key);
  if (!node) return kRegInvalidHandle;
  if (node->level != Level::Reference || !SameName(valueName, kSymbolicLinkValue)) {
    return kRegNotFound;
  }
  const Instance& instance = instances_[Slot(node->port)];
  if (!instance.hasSymbolicLink) return kRegNotFound;
  return CopyOut(instance.symbolicLink, data, dataSize);
}

long VirtualRegistry::QueryDword(RegKey key, std::string_view valueName,
                                 std::uint32_t& value) const {
  const Node* node = NodeOf(key);
  if (!node) return kRegInvalidHandle;
  if (node->level != Level::Control || !SameName(valueName, kLinkedValue) ||
      !instances_[Slot(node->port)].hasLinked) {
    return kRegNotFound;
  }
  value = isLinked_(node->port) ? 1 : 0;
  return kRegSuccess;
}

void VirtualRegistry::Close(RegKey key) { keys_.erase(key); }

const std::string& VirtualRegistry::SymbolicLinkOf(int usbPort) const {
  return instances_.at(static_cast<std::size_t>(usbPort)).symbolicLink;
}

void VirtualRegistry::SetSymbolicLink(int usbPort, std::string link) {
  Instance& instance = instances_.at(static_cast<std::size_t>(usbPort));
  instance.symbolicLink = std::move(link);
  instance.hasSymbolicLink = true;
}

void VirtualRegistry::RemoveValue(int usbPort, std::string_view valueName) {
  Instance& instance = instances_.at(static_cast<std::size_t>(usbPort));
  if (SameName(valueName, kSymbolicLinkValue)) instance.hasSymbolicLink = false;
  if (SameName(valueName, kLinkedValue)) instance.hasLinked = false;
}

std::optional<int> VirtualRegistry::PortOfDevicePath(std::string_view path) const {
  for (std::size_t port = 0; port < instances_.size(); ++port) {
    if (instances_[port].symbolicLink == path) return static_cast<int>(port);
  }
  return std::nullopt;
}

}  // namespace korvex::sim
