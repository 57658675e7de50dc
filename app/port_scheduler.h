#pragma once
// The periodic scan that claims ports for newly linked boards and starts one worker
// per claimed port, and the READ button's read-back start. Runs on the window's
// thread (the console's main loop plays that part).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

#include "app/port_arrivals.h"
#include "station/port_context.h"
#include "device/device_discovery.h"
#include "host/device_change.h"
#include "host/host.h"

namespace korvex {

class RecordKeeper;

// What the window holds for the scan to hand to the ports.
struct StationSettings {
  std::array<ImagePath, kImageCount> imagePaths;        // JobSettings order
  std::array<std::int32_t, kImageCount> includeFlags{};  // JobSettings order
  std::uint32_t formatAfterBurn = 0;
  std::uint8_t fileSystemFormat = 0;
  std::uint8_t eraseWholeChip = 0;
  // The line's choice, not the operator's: read back and compare every write.
  bool verifyWrites = false;
  WindowHandle hwndMain = 0;

  void SetImage(ImageId image, std::string_view path, bool included) {
    imagePaths[JobSlotOf(image)].Assign(path);
    includeFlags[JobSlotOf(image)] = included ? 1 : 0;
  }
  const ImagePath& PathOf(ImageId image) const { return imagePaths[JobSlotOf(image)]; }
};

// A worker entry: the port's context in, its exit code out.
using PortWorker = std::uint32_t (*)(void* context);

struct ScanResult {
  int claimed = 0;   // ports claimed by this scan
  int postponed = 0; // linked boards waiting for their port's previous worker
  // Linked boards left unclaimed because board records cannot be written: a board
  // burned now would have no record.
  std::array<bool, kPortCount> heldForRecords{};
};

// What a port held for that reason shows, on the console and in its window row.
inline constexpr std::string_view kHeldForRecordsText =
    "board waiting: board records cannot be written (free disk space)";

class PortScheduler {
 public:
  // worker runs on each claimed port; readBack on port 0 for the READ button. Each
  // claimed board's worker is handed a share of records (RecordKeeper::None() for a
  // station that keeps none), taken at the claim and held until that worker ends.
  PortScheduler(Host& host, DeviceTables& tables, PortWorker worker, PortWorker readBack,
                std::shared_ptr<RecordKeeper> records);

  // Timer 0: one scan over the eight ports.
  ScanResult Scan(const StationSettings& settings);

  // An interface notification, from any thread: a claimed port whose board was removed
  // and whose link arrived again holds a new board, which the scan claims once the old
  // board's worker has ended.
  void NoteDeviceChange(DeviceChange change, std::string_view symbolicLink) {
    arrivals_.Note(change, symbolicLink);
  }

  // Timer 3's question: is any port in use (a board attached, burning or done)?
  static bool AnyPortInUse();

  // READ: checks the range, finds port 0's device and starts the read-back into
  // outputPath on port 0's context. False after its message when it cannot start.
  bool StartReadBack(const StationSettings& settings, std::uint32_t fromPage,
                     std::uint32_t toPage, const std::filesystem::path& outputPath);

 private:
  void CopySettings(const StationSettings& settings);
  void PrepareSession(PortContext& context, std::size_t port);
  void ScanPort(std::size_t port, bool recordsWritable, ScanResult& result);
  void Claim(std::size_t port);
  void ShowMessage(std::string_view text);

  Host& host_;
  DeviceTables& tables_;
  PortWorker worker_;
  PortWorker readBack_;
  std::shared_ptr<RecordKeeper> records_;
  bool scanning_ = false;  // the window's thread only
  PortArrivals arrivals_;
};

}  // namespace korvex
