#pragma once
// The per-port records: eight of each, indexed by port 0..7, all preallocated.
// PortSlot is the scheduler's claim, PortRun the worker's outcome, PortContext the
// worker's only argument (session head, buffers and the operator's settings).

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

#include "device/bounded_string.h"
#include "device/device_session.h"
#include "station/burn_end.h"
#include "host/host.h"

namespace korvex {

inline constexpr std::size_t kPortCount = 8;
inline constexpr std::size_t kImageCount = 6;
inline constexpr std::size_t kImagePathCapacity = 1024;
using ImagePath = BoundedString<kImagePathCapacity>;

// Whether a chosen image path fits the settings record whole. nand.bin's folder also
// gives the other images their paths, whose names are up to four bytes longer.
constexpr bool ImagePathFits(std::string_view path, bool givesSiblings) {
  return path.size() + (givesSiblings ? 4 : 0) < kImagePathCapacity;
}

// Images in burn order; the value is also the label index of the progress row.
enum ImageId : std::size_t {
  kNandBin = 0,
  kLoaderBin = 1,
  kDefBootBin = 2,
  kImgBootBin = 3,
  kMiniosBin = 4,
  kResBin = 5,
};
inline constexpr std::array<std::string_view, kImageCount> kImageFileNames{
    "nand.bin", "loader.bin", "def_boot.bin", "img_boot.bin", "minios.bin", "res.bin"};

// JobSettings keeps its paths and flags in its own order: def_boot.bin, loader.bin,
// res.bin, minios.bin, img_boot.bin, nand.bin.
constexpr std::size_t JobSlotOf(ImageId image) {
  constexpr std::array<std::size_t, kImageCount> slot{5, 1, 0, 4, 3, 2};
  return slot[image];
}

enum PortState : std::int32_t {
  kPortFree = 0,
  kPortStartFailed = 1,
  kPortWorkerStarted = 2,
  kPortOpening = 3,
};

struct PortSlot {
  std::atomic<std::int32_t> state{kPortFree};
  std::atomic<std::int32_t> port{0};
  std::atomic<std::int32_t> inUse{0};
};

enum BurningState : std::int32_t {
  kBurningNone = 0,
  kBurningStarted = 1,  // counted; stays 1 when the burn ends early
  kBurningDone = 2,     // reached the normal end
};

inline constexpr std::size_t kUidSize = 16;
using UidText = BoundedString<64>;

struct PortRun {
  std::atomic<std::int32_t> burning{kBurningNone};
  // True from the moment a worker is started on the port's context until it returns;
  // the scheduler never hands the context to a new worker before that.
  std::atomic<bool> workerRunning{false};
  // How the last job on the port ended; kNone while it runs.
  std::atomic<BurnEnd> end{BurnEnd::kNone};
  // Bad blocks the last job stepped over, in every zone it wrote.
  std::atomic<std::uint32_t> blocksSkipped{0};

  // The board's unique ID, written by its worker and read by the window's demo copy
  // and the console at any moment: always whole, under a lock of its own.
  void SetUid(const std::array<std::uint8_t, kUidSize>& uid, std::string_view text);
  UidText Uid() const;
  void ClearUid();

 private:
  mutable std::mutex uidLock_;
  std::array<std::uint8_t, kUidSize> uid_{};
  UidText uidText_;
};

struct JobSettings {
  std::array<ImagePath, kImageCount> imagePaths;       // JobSettings order
  std::array<std::int32_t, kImageCount> includeFlags{};  // 1 = included
  WindowHandle hwndMain = 0;
  std::int32_t port = 0;
  std::uint32_t fromPage = 0;
  std::uint32_t toPage = 0;

  const ImagePath& PathOf(ImageId image) const { return imagePaths[JobSlotOf(image)]; }
  std::int32_t IncludeOf(ImageId image) const { return includeFlags[JobSlotOf(image)]; }
};

struct PortContext {
  DeviceSession session;
  std::array<std::uint8_t, kTargetTableSize> scratch{};
  std::array<std::uint8_t, kDataBufferSize> dataBuffer{};
  std::array<std::uint8_t, kTailAreaSize> tail{};
  JobSettings settings;

  // Points the session's buffers at this context's own and sets the fixed fields.
  void BindFixedSessionFields(Host& host);
  // Turns reading back on or off; the read-back buffer is made on first use and kept,
  // so a line without verification never pays for it.
  void EnableVerify(bool on);

  std::unique_ptr<std::uint8_t[]> verifyBuffer;
};

// The station's records, static as the whole run uses them.
extern std::array<PortSlot, kPortCount> g_portSlots;
extern std::array<PortRun, kPortCount> g_portRuns;
// Allocated once at start-up (16 MiB with its buffers) rather than placed in the
// program image.
extern std::array<PortContext, kPortCount>& g_portContexts;
extern std::atomic<std::int32_t> g_burningCount;

// Back to start-up state (slots free, runs cleared, contexts zeroed); for tests and
// for a station that starts over.
void ResetPortRecords();

}  // namespace korvex
