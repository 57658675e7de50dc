#pragma once
// The fixed page zones the six images are written into, the zone erase, and the
// writer that streams one image file into its zone block by block, stepping over
// blocks the board could not program.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "device/device_session.h"
#include "nand/nand_texts.h"
#include "station/port_context.h"
#include "station/progress_type.h"

namespace korvex {

inline constexpr int kZoneOk = 1;
inline constexpr int kZoneFailed = -1;  // file not opened, the erase or a write refused
inline constexpr int kZoneLinkLost = -2;  // an exchange failed at the host: the board is gone
inline constexpr int kZoneCancelled = -3; // the station is closing; stopped between blocks
inline constexpr int kZoneVerifyFailed = -4;  // a block read back differs from what was sent

// What a zone walk leaves behind besides its result.
struct ZoneReport {
  std::uint32_t blocksSkipped = 0;  // failed writes retried further, and the firmware's skips
  std::uint32_t mismatchPage = 0;   // first page read back wrong (kZoneVerifyFailed)
  std::uint32_t endPage = 0;        // the page after the last one written
};

// Erases with a start block or block count above this are refused.
inline constexpr std::uint32_t kMaxEraseValue = 10'000'000;

// Places in DeviceSession::zoneSelect; the session keeps its own order.
enum ZoneSelector : std::size_t {
  kSelectNand = 0,
  kSelectLoader = 1,
  kSelectImgBoot = 2,
  kSelectDefBoot = 3,
  kSelectRes = 4,
  kSelectMinios = 5,
};

// One image's pages: firstPage .. zoneEnd - 1, counted in the current view's pages.
struct ImageZone {
  ImageId image;
  ZoneSelector selector;
  std::uint32_t firstPage;
  std::uint32_t zoneEnd;
  std::string_view usedUpText;
};

// Indexed by ImageId (burn order). The zones touch one another.
inline constexpr std::array<ImageZone, kImageCount> kImageZones{{
    {kNandBin, kSelectNand, 0, 1024, kNandZoneUsedUpText},
    {kLoaderBin, kSelectLoader, 1024, 1280, kLoaderZoneUsedUpText},
    {kDefBootBin, kSelectDefBoot, 1280, 1536, kDefBootZoneUsedUpText},
    {kImgBootBin, kSelectImgBoot, 1536, 25088, kImgBootZoneUsedUpText},
    {kMiniosBin, kSelectMinios, 25088, 49664, kMiniosZoneUsedUpText},
    {kResBin, kSelectRes, 49664, 98304, kResZoneUsedUpText},
}};

// Clears every selector and sets the one of `image`.
void SelectZone(DeviceSession& session, ImageId image);

// The zone whose selector is set, looking in burn order: the first set one, or the
// last set one. nullptr when none is set.
const ImageZone* FirstSelectedZone(const DeviceSession& session);
const ImageZone* LastSelectedZone(const DeviceSession& session);

// Erases the selected zone's blocks from block startBlock on every enabled target.
// The block count is the zone's pages over the chip's pages per block. Returns
// kZoneOk, or kZoneFailed without sending anything when the start or the count is
// above kMaxEraseValue, no zone is selected or the chip geometry is unknown, and
// kZoneLinkLost at the first exchange that failed.
int EraseZone(DeviceSession& session, std::uint32_t startBlock);

// Erases the selected zone and writes the file into it from page `start` with
// `option`, one block of the record's geometry per write, each judged by
// WriteAndCheck. okFlags (targetCount entries) ends as 1 when the whole file went in
// and 0 when the zone ran out (after its message box). report.endPage is left at the
// page after the last one written (at `start` when nothing was). Returns kZoneOk, or
// kZoneFailed when the file cannot be opened, the erase is refused or a write is over
// one write's limit. A failed exchange ends the walk at once with kZoneLinkLost,
// without the zone's message; a file that is not a regular file, or reads short, is
// kZoneFailed before anything of it is sent; progress.Cancelled() between blocks ends
// it with kZoneCancelled. The image's percentage goes to progress before each block
// and 100 at the end. With session.verifyWrites each write is read back and compared
// at once; a difference ends the walk with kZoneVerifyFailed and the page in report.
int WriteImageZone(DeviceSession& session, std::uint32_t start, std::int32_t option,
                   std::uint8_t* okFlags, const std::filesystem::path& file,
                   ProgressSink& progress, ZoneReport& report);

}  // namespace korvex
