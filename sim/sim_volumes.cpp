#include "sim/sim_volumes.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "host/paths.h"
#include "sim/virtual_board.h"
#include "sim/virtual_driver.h"

namespace korvex::sim {

SimVolumes::SimVolumes(const VirtualDriver& driver, std::filesystem::path home)
    : driver_(driver),
      // Drive roots are absolute; a relative home would make them depend on the
      // working folder of whoever looks.
      home_([&home] {
        std::error_code ec;
        auto absolute = std::filesystem::absolute(home, ec);
        return ec ? home : absolute;
      }()),
      volumes_(static_cast<std::size_t>(std::max(driver.UsbPortCount(), 0))) {}

std::filesystem::path SimVolumes::VolumeDir(int usbPort) const {
  return home_ / kVolumesFolder / ("usb" + std::to_string(usbPort));
}

std::vector<std::string> SimVolumes::Roots() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> roots;
  for (std::size_t port = 0; port < volumes_.size(); ++port) {
    RefreshLocked(static_cast<int>(port));
    if (volumes_[port].board) roots.push_back(volumes_[port].root);
  }
  return roots;
}

bool SimVolumes::IsVolumeRoot(std::string_view root) const {
  std::lock_guard lock(mutex_);
  return std::any_of(volumes_.begin(), volumes_.end(),
                     [root](const Volume& v) { return v.board && v.root == root; });
}

bool SimVolumes::FreeSpace(std::string_view root, std::uint64_t& freeBytes) const {
  freeBytes = 0;
  std::lock_guard lock(mutex_);
  for (std::size_t port = 0; port < volumes_.size(); ++port) {
    const Volume& volume = volumes_[port];
    if (!volume.board || volume.root != root) continue;
    if (!volume.board->Attached()) return false;  // the medium has gone
    std::error_code ec;
    const auto space = std::filesystem::space(VolumeDir(static_cast<int>(port)), ec);
    if (ec) return false;
    freeBytes = space.available;
    return true;
  }
  return false;
}

void SimVolumes::Eject(int usbPort) {
  std::lock_guard lock(mutex_);
  if (usbPort < 0 || static_cast<std::size_t>(usbPort) >= volumes_.size()) return;
  EjectLocked(usbPort);
}

void SimVolumes::RefreshLocked(int usbPort) {
  Volume& volume = volumes_[static_cast<std::size_t>(usbPort)];
  const std::shared_ptr<VirtualBoard> board = driver_.BoardOf(usbPort);
  // A fault plan can unplug a board without SimHost hearing of it; its volume goes too.
  if (volume.board && (volume.board != board || !volume.board->Attached())) EjectLocked(usbPort);
  if (!volume.board && board && board->Attached() && board->WasReset()) MountLocked(usbPort, board);
}

void SimVolumes::EjectLocked(int usbPort) {
  Volume& volume = volumes_[static_cast<std::size_t>(usbPort)];
  if (!volume.board) return;
  std::error_code ec;
  std::filesystem::remove_all(VolumeDir(usbPort), ec);
  volume = Volume{};
}

bool SimVolumes::MountLocked(int usbPort, const std::shared_ptr<VirtualBoard>& board) {
  const std::vector<std::uint8_t> id = board->ReadNand(kUidPageOffset, kUidBytes);
  if (std::all_of(id.begin(), id.end(), [](std::uint8_t b) { return b == 0xFF; })) return false;
  const std::filesystem::path dir = VolumeDir(usbPort);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);  // whatever an earlier run left there
  std::filesystem::create_directories(dir / kVolumeVideoFolder, ec);
  if (ec) return false;
  std::ofstream uid(dir / kVolumeVideoFolder / kVolumeUidFile, std::ios::binary);
  uid.write(reinterpret_cast<const char*>(id.data()), static_cast<std::streamsize>(id.size()));
  uid.close();
  if (!uid) return false;
  std::filesystem::path root = dir / "";
  root.make_preferred();
  Volume& volume = volumes_[static_cast<std::size_t>(usbPort)];
  volume.board = board;
  volume.root = PathToUtf8(root);
  return true;
}

}  // namespace korvex::sim
