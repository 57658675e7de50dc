#pragma once
// The boards' side of the demo copy. A real board, reset by the station after its
// burn, starts from its NAND and shows up as a USB mass-storage drive with a VIDEO
// folder and VIDEO/uid.txt, the 16 bytes of its unique-ID page. A simulated board does
// the same with a real folder on this machine:
//
//   <home>/sim-volumes/usb<k>/                 the volume of the board on USB port k
//   <home>/sim-volumes/usb<k>/VIDEO/uid.txt    bytes 0..15 of 2048-byte page 63
//
// The volume is mounted the first time anyone looks at the drives after the board's
// reset, if its ID page holds an ID (not all 0xFF); it is made once per plugged board,
// so a deleted uid.txt stays deleted. It is removed, folder and all, when the board is
// unplugged or replaced. Roots are the folders' UTF-8 paths with a trailing separator
// in the platform's own style.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::sim {

class VirtualBoard;
class VirtualDriver;

// Where the board firmware keeps the ID it shows: page 63 of the 2048-byte view.
inline constexpr std::uint64_t kUidPageOffset = 63 * 2048;
inline constexpr std::size_t kUidBytes = 16;
inline constexpr std::string_view kVolumesFolder = "sim-volumes";
inline constexpr std::string_view kVolumeVideoFolder = "VIDEO";
inline constexpr std::string_view kVolumeUidFile = "uid.txt";

class SimVolumes {
 public:
  SimVolumes(const VirtualDriver& driver, std::filesystem::path home);

  // The folder of USB port k's volume, whether mounted or not.
  std::filesystem::path VolumeDir(int usbPort) const;
  // Mounts and removes volumes as the boards now stand, then lists the mounted roots
  // in USB port order.
  std::vector<std::string> Roots();
  // True for a root that Roots() gave and that is still mounted.
  bool IsVolumeRoot(std::string_view root) const;
  // The free bytes of a mounted volume whose board is still plugged.
  bool FreeSpace(std::string_view root, std::uint64_t& freeBytes) const;
  // Removes the port's volume at once: its board was unplugged or replaced.
  void Eject(int usbPort);

 private:
  struct Volume {
    std::shared_ptr<VirtualBoard> board;  // the plug it belongs to; null when none
    std::string root;
  };
  void RefreshLocked(int usbPort);
  void EjectLocked(int usbPort);
  bool MountLocked(int usbPort, const std::shared_ptr<VirtualBoard>& board);

  const VirtualDriver& driver_;
  const std::filesystem::path home_;
  mutable std::mutex mutex_;  // taken before the driver's lock, never inside it
  std::vector<Volume> volumes_;  // one per USB port
};

}  // namespace korvex::sim
