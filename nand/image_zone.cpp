#include "nand/image_zone.h"

#include <algorithm>
#include <fstream>
#include <optional>

#include "device/device_texts.h"
#include "device/requests.h"
#include "nand/nand_ops.h"
#include "nand/write_verify.h"
#include "protocol/nand_word.h"

namespace korvex {

namespace {

// Each zone's flag sits at its own place in the session's selector order.
bool IsSelected(const DeviceSession& session, const ImageZone& zone) {
  return session.zoneSelect[zone.selector] != 0;
}

// One zone write in progress: where the next write begins and what the walk has seen.
struct ZoneWalk {
  DeviceSession& session;
  const ImageZone& zone;
  std::int32_t option;
  std::uint8_t* okFlags;
  ZoneReport& report;
  std::uint32_t page;  // where the next write begins
  // ProgramPages clears targetCount entries, which may exceed the enable table.
  std::array<std::uint8_t, 256> results{};
};

// The zone ran out: its message, and the walk ends as done with okFlags at 0.
int UsedUp(ZoneWalk& walk, std::string_view text) {
  walk.okFlags[0] = 0;
  walk.session.ShowBox(text);
  walk.report.endPage = walk.page;
  return kZoneOk;
}

// An end in the middle of the zone without its message: the zone is not used up.
int Stopped(ZoneWalk& walk, int result) {
  walk.okFlags[0] = 0;
  walk.report.endPage = walk.page;
  return result;
}

// Writes the staged bytes at walk.page: nullopt when they went in, else how the
// zone's write ends. A bad block costs one block of the chip: the same data goes one
// block further, until a write begins outside the zone. A tail whose retries ran out
// before a retry began gets loader.bin's own text.
std::optional<int> WriteInsideZone(ZoneWalk& walk, std::span<const std::uint8_t> data, bool tail) {
  const ImageZone& zone = walk.zone;
  PageWrite write = WriteAndCheck(walk.session, walk.page, data, walk.option, walk.results.data());
  while (write.step == WriteStep::kSkipBlock) {
    if (walk.page >= zone.zoneEnd) {
      const bool loaderTail = tail && zone.image == kLoaderBin;
      return UsedUp(walk, loaderTail ? kLoaderZoneUsedUpInTailRetryText : zone.usedUpText);
    }
    walk.page += ChipPagesPerBlock(walk.session);
    ++walk.report.blocksSkipped;
    write = WriteAndCheck(walk.session, walk.page, data, walk.option, walk.results.data());
  }
  switch (write.step) {
    case WriteStep::kAdvance:
    case WriteStep::kSkipBlock: break;
    case WriteStep::kLinkLost: return Stopped(walk, kZoneLinkLost);
    case WriteStep::kImageError: return Stopped(walk, kZoneFailed);
    case WriteStep::kVerifyFailed:
      walk.report.mismatchPage = write.mismatchPage;
      return Stopped(walk, kZoneVerifyFailed);
  }
  walk.report.blocksSkipped += write.skippedBlocks;
  walk.page = write.next;
  if (walk.page >= zone.zoneEnd) return UsedUp(walk, zone.usedUpText);
  return std::nullopt;
}

// Reads count bytes of the file into the buffer; false when fewer arrived (the file
// shrank or cannot be read), so nothing stale or zeroed is ever sent as image data.
bool ReadIntoBuffer(std::ifstream& file, std::uint8_t* buffer, std::uint64_t count) {
  const auto bytes = static_cast<std::streamsize>(std::min<std::uint64_t>(count, kDataBufferSize));
  file.read(reinterpret_cast<char*>(buffer), bytes);
  const bool whole = file.gcount() == bytes;
  file.clear();
  return whole;
}

// A folder or a device opens on some systems and reads as nothing or as anything.
bool IsRegularFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// The first `bytes` of the data buffer, as far as it reaches: a block over the buffer
// is over one write too, and refused as such.
std::span<const std::uint8_t> Staged(const DeviceSession& session, std::uint64_t bytes) {
  return {session.dataBuffer, static_cast<std::size_t>(std::min<std::uint64_t>(bytes, kDataBufferSize))};
}

}  // namespace

void SelectZone(DeviceSession& session, ImageId image) {
  session.zoneSelect.fill(0);
  session.zoneSelect[kImageZones[image].selector] = 1;
}

// Both look in burn order, whatever order the session keeps its flags in.
const ImageZone* FirstSelectedZone(const DeviceSession& session) {
  for (const ImageZone& zone : kImageZones) {
    if (IsSelected(session, zone)) return &zone;
  }
  return nullptr;
}

const ImageZone* LastSelectedZone(const DeviceSession& session) {
  const ImageZone* last = nullptr;
  for (const ImageZone& zone : kImageZones) {
    if (IsSelected(session, zone)) last = &zone;
  }
  return last;
}

int EraseZone(DeviceSession& session, std::uint32_t startBlock) {
  const ImageZone* zone = LastSelectedZone(session);
  const std::uint32_t pagesPerBlock = ChipPagesPerBlock(session);
  if (zone == nullptr || pagesPerBlock == 0) return kZoneFailed;
  const std::uint32_t blocks = (zone->zoneEnd - zone->firstPage) / pagesPerBlock;
  if (startBlock > kMaxEraseValue || blocks > kMaxEraseValue) return kZoneFailed;

  const std::size_t count = std::min<std::size_t>(session.targetCount, kTargetTableSize);
  for (std::size_t i = 0; session.targetEnable != nullptr && i < count; ++i) {
    if (session.targetEnable[i] == 0) continue;
    const NandWord erase{kNandOpcodesModels1To3.erase, static_cast<std::uint8_t>(i), 0};
    const bool exchanged = SetDataAddress(session.device, startBlock) == kRequestOk &&
                           SetDataLength(session.device, blocks) == kRequestOk &&
                           NandOps(session.device, erase.Pack()) == kRequestOk &&
                           ReadStatus(session);
    if (!exchanged) return kZoneLinkLost;
  }
  return kZoneOk;
}

namespace {

// The image file's size, or nullopt when it is no regular file that can be read.
std::optional<std::uint64_t> OpenImage(const std::filesystem::path& path, std::ifstream& file) {
  if (!IsRegularFile(path)) return std::nullopt;
  file.open(path, std::ios::binary);
  if (!file) return std::nullopt;
  file.seekg(0, std::ios::end);
  const std::streamoff end = file.tellg();
  if (end < 0) return std::nullopt;
  file.clear();
  file.seekg(0);
  return static_cast<std::uint64_t>(end);
}

// The file's whole blocks, one write each; a cancel is looked for before each.
std::optional<int> WriteWholeBlocks(ZoneWalk& walk, std::ifstream& file, std::uint64_t chunk,
                                    std::uint64_t blocks, ProgressSink& progress) {
  for (std::uint64_t i = 0; i < blocks; ++i) {
    progress.Progress(kProgressImage, static_cast<std::intptr_t>(100 * i / blocks));
    if (progress.Cancelled()) return Stopped(walk, kZoneCancelled);
    if (!ReadIntoBuffer(file, walk.session.dataBuffer, chunk)) return Stopped(walk, kZoneFailed);
    if (const auto ended = WriteInsideZone(walk, Staged(walk.session, chunk), false)) return ended;
    file.seekg(static_cast<std::streamoff>((i + 1) * chunk));
  }
  return std::nullopt;
}

// The rest of the file, rounded up to whole pages; a remainder of whole pages gets one
// more, zero, page. The padding is zeros, not the erased 0xFF.
std::optional<int> WriteTail(ZoneWalk& walk, std::ifstream& file, std::uint64_t remainder,
                             ProgressSink& progress) {
  if (remainder == 0) return std::nullopt;
  const std::uint32_t pageSize = walk.session.bootConfig.nandPageSize;
  const std::uint64_t padded = remainder + (pageSize - remainder % pageSize);
  std::uint8_t* buffer = walk.session.dataBuffer;
  std::fill_n(buffer, std::min<std::uint64_t>(padded, kDataBufferSize), std::uint8_t{0});
  if (progress.Cancelled()) return Stopped(walk, kZoneCancelled);
  if (!ReadIntoBuffer(file, buffer, remainder)) return Stopped(walk, kZoneFailed);
  if (const auto ended = WriteInsideZone(walk, Staged(walk.session, padded), true)) return ended;
  for (std::size_t t = 0; t < walk.session.targetCount; ++t) walk.okFlags[t] *= walk.results[t];
  return std::nullopt;
}

}  // namespace

int WriteImageZone(DeviceSession& session, std::uint32_t start, std::int32_t option,
                   std::uint8_t* okFlags, const std::filesystem::path& path,
                   ProgressSink& progress, ZoneReport& report) {
  report = ZoneReport{0, 0, start};
  std::fill_n(okFlags, session.targetCount, std::uint8_t{0});
  std::ifstream file;
  const std::optional<std::uint64_t> size = OpenImage(path, file);
  if (!size) return kZoneFailed;

  // A record without page geometry has no block to write; refuse it before the
  // board is touched rather than divide by zero.
  const BootConfig& record = session.bootConfig;
  const std::uint64_t chunk =
      std::uint64_t{record.nandPagesPerBlock} * ProgramPageBytes(session, option);
  const ImageZone* zone = FirstSelectedZone(session);
  if (chunk == 0 || record.nandPageSize == 0 || zone == nullptr) return kZoneFailed;

  // The erase counts in the record's blocks; the writes go on in pages.
  const int erased = EraseZone(session, start / record.nandPagesPerBlock);
  if (erased != kZoneOk) return erased;

  std::fill_n(okFlags, session.targetCount, std::uint8_t{1});
  ZoneWalk walk{session, *zone, option, okFlags, report, start};
  if (const auto ended = WriteWholeBlocks(walk, file, chunk, *size / chunk, progress)) return *ended;
  if (const auto ended = WriteTail(walk, file, *size % chunk, progress)) return *ended;
  progress.Progress(kProgressImage, 100);
  report.endPage = walk.page;
  return kZoneOk;
}

}  // namespace korvex
