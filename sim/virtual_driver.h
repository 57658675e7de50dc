#pragma once
// The virtual USB boot driver: the registry records of its interface instances, the
// board plugged into each virtual USB port and the open device handles.
// One lock guards this bookkeeping and is held only briefly; the exchanges themselves
// run under the board's own lock, so boards work in parallel.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/host.h"
#include "sim/board_setup.h"
#include "sim/timing.h"
#include "sim/virtual_board.h"
#include "sim/virtual_registry.h"

namespace korvex::sim {

class VirtualDriver {
 public:
  // Every board plugged in is charged to `timing`.
  VirtualDriver(int usbPorts, std::shared_ptr<SimTiming> timing);

  void Plug(int usbPort, const BoardSpec& spec);
  // The board last plugged into the port goes back in with its chip; its link faults
  // are spent. Throws std::logic_error when the port never had a board.
  void Replug(int usbPort);
  void Unplug(int usbPort);
  bool IsPlugged(int usbPort) const;
  int UsbPortCount() const { return static_cast<int>(boards_.size()); }
  // The board last plugged into the port, also after it was unplugged; null if none.
  std::shared_ptr<VirtualBoard> BoardOf(int usbPort) const;

  long RegOpenKeyRead(std::string_view path, RegKey& key);
  long RegEnumKeyName(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize);
  long RegQueryString(RegKey key, std::string_view valueName, char* data, std::uint32_t dataSize);
  long RegQueryDword(RegKey key, std::string_view valueName, std::uint32_t& value);
  void RegCloseKey(RegKey key);
  std::string SymbolicLinkOf(int usbPort) const;
  void SetSymbolicLink(int usbPort, std::string link);
  void RemoveRegistryValue(int usbPort, std::string_view valueName);

  HostHandle OpenDevice(std::string_view path, std::uint32_t& lastError);
  // The board a handle was opened on; null for a handle never given out or closed.
  std::shared_ptr<VirtualBoard> BoardOfHandle(HostHandle handle) const;
  // The board at that address while the driver still holds it (a port or a handle); null
  // once it is gone, so a pointer kept elsewhere never outlives its board unchecked.
  std::shared_ptr<VirtualBoard> BoardStillHeld(const VirtualBoard* board) const;
  bool CloseDevice(HostHandle handle);

 private:
  std::size_t CheckedPort(int usbPort) const;

  const std::shared_ptr<SimTiming> timing_;
  mutable std::mutex mutex_;
  // Per port, the board last plugged in. A handle holds the board object it was opened
  // on, so after an unplug and a replug the old handle still reaches only the old,
  // detached board.
  std::vector<std::shared_ptr<VirtualBoard>> boards_;
  std::vector<BoardSpec> lastPlugged_;  // per port, what the board last plugged in was
  VirtualRegistry registry_;
  std::unordered_map<HostHandle, std::shared_ptr<VirtualBoard>> handles_;
  HostHandle nextHandle_ = 1;
};

}  // namespace korvex::sim
