#include "sim/virtual_driver.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace korvex::sim {
namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;  // what CreateFile says for a missing device

}  // namespace

VirtualDriver::VirtualDriver(int usbPorts, std::shared_ptr<SimTiming> timing)
    : timing_(std::move(timing)),
      boards_(static_cast<std::size_t>(usbPorts < 0 ? 0 : usbPorts)),
      lastPlugged_(boards_.size()),
      // Called with mutex_ held, from inside the registry.
      registry_(usbPorts, [this](int port) {
        const auto& board = boards_[static_cast<std::size_t>(port)];
        return board && board->Attached();
      }) {}

std::size_t VirtualDriver::CheckedPort(int usbPort) const {
  if (usbPort < 0 || static_cast<std::size_t>(usbPort) >= boards_.size()) {
    throw std::out_of_range("USB port " + std::to_string(usbPort) + " does not exist (" +
                            std::to_string(boards_.size()) + " ports)");
  }
  return static_cast<std::size_t>(usbPort);
}

void VirtualDriver::Plug(int usbPort, const BoardSpec& spec) {
  const std::size_t port = CheckedPort(usbPort);
  auto board = std::make_shared<VirtualBoard>(spec, timing_);  // may throw: nothing changed yet
  std::shared_ptr<VirtualBoard> previous;
  {
    std::lock_guard lock(mutex_);
    previous = std::exchange(boards_[port], std::move(board));
    lastPlugged_[port] = spec;
  }
  if (previous) previous->Detach();
}

void VirtualDriver::Replug(int usbPort) {
  const std::size_t port = CheckedPort(usbPort);
  std::shared_ptr<VirtualBoard> previous;
  BoardSpec again;
  {
    std::lock_guard lock(mutex_);
    previous = boards_[port];
    again = lastPlugged_[port];
  }
  if (!previous) {
    throw std::logic_error("USB port " + std::to_string(usbPort) + " never had a board to plug back");
  }
  // Pulled out first: an exchange still running on it finishes before the chip moves.
  previous->Detach();
  // Powered up again, it starts in its boot ROM; a fault of the link it was plugged
  // in with does not follow it.
  again.startInStage2 = false;
  ClearLinkFaults(again.faults);
  auto board = std::make_shared<VirtualBoard>(again, timing_, previous->TakeChip());
  std::lock_guard lock(mutex_);
  if (boards_[port] != previous) return;  // another board went in meanwhile
  boards_[port] = std::move(board);
  lastPlugged_[port] = again;
}

void VirtualDriver::Unplug(int usbPort) {
  const std::size_t port = CheckedPort(usbPort);
  std::shared_ptr<VirtualBoard> board;
  {
    std::lock_guard lock(mutex_);
    board = boards_[port];
  }
  if (board) board->Detach();
}

bool VirtualDriver::IsPlugged(int usbPort) const {
  const auto board = BoardOf(usbPort);
  return board && board->Attached();
}

std::shared_ptr<VirtualBoard> VirtualDriver::BoardOf(int usbPort) const {
  const std::size_t port = CheckedPort(usbPort);
  std::lock_guard lock(mutex_);
  return boards_[port];
}

long VirtualDriver::RegOpenKeyRead(std::string_view path, RegKey& key) {
  std::lock_guard lock(mutex_);
  return registry_.Open(path, key);
}

long VirtualDriver::RegEnumKeyName(RegKey key, std::uint32_t index, char* name,
                                   std::uint32_t nameSize) {
  std::lock_guard lock(mutex_);
  return registry_.EnumKey(key, index, name, nameSize);
}

long VirtualDriver::RegQueryString(RegKey key, std::string_view valueName, char* data,
                                   std::uint32_t dataSize) {
  std::lock_guard lock(mutex_);
  return registry_.QueryString(key, valueName, data, dataSize);
}

long VirtualDriver::RegQueryDword(RegKey key, std::string_view valueName, std::uint32_t& value) {
  std::lock_guard lock(mutex_);
  return registry_.QueryDword(key, valueName, value);
}

void VirtualDriver::RegCloseKey(RegKey key) {
  std::lock_guard lock(mutex_);
  registry_.Close(key);
}

std::string VirtualDriver::SymbolicLinkOf(int usbPort) const {
  CheckedPort(usbPort);
  std::lock_guard lock(mutex_);
  return registry_.SymbolicLinkOf(usbPort);
}

void VirtualDriver::SetSymbolicLink(int usbPort, std::string link) {
  CheckedPort(usbPort);
  std::lock_guard lock(mutex_);
  registry_.SetSymbolicLink(usbPort, std::move(link));
}

void VirtualDriver::RemoveRegistryValue(int usbPort, std::string_view valueName) {
  CheckedPort(usbPort);
  std::lock_guard lock(mutex_);
  registry_.RemoveValue(usbPort, valueName);
}

HostHandle VirtualDriver::OpenDevice(std::string_view path, std::uint32_t& lastError) {
  std::lock_guard lock(mutex_);
  const auto port = registry_.PortOfDevicePath(path);
  if (port) {
    const auto& board = boards_[static_cast<std::size_t>(*port)];
    if (board && board->Attached()) {
      const HostHandle handle = nextHandle_++;
      handles_.emplace(handle, board);
      lastError = 0;
      return handle;
    }
  }
  lastError = kErrorFileNotFound;
  return kInvalidHandle;
}

std::shared_ptr<VirtualBoard> VirtualDriver::BoardOfHandle(HostHandle handle) const {
  std::lock_guard lock(mutex_);
  const auto found = handles_.find(handle);
  return found == handles_.end() ? nullptr : found->second;
}

std::shared_ptr<VirtualBoard> VirtualDriver::BoardStillHeld(const VirtualBoard* board) const {
  if (board == nullptr) return nullptr;
  std::lock_guard lock(mutex_);
  for (const auto& held : boards_) {
    if (held.get() == board) return held;
  }
  for (const auto& [handle, held] : handles_) {
    if (held.get() == board) return held;
  }
  return nullptr;
}

bool VirtualDriver::CloseDevice(HostHandle handle) {
  std::lock_guard lock(mutex_);
  return handles_.erase(handle) == 1;
}

}  // namespace korvex::sim
