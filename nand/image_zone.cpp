#include "nand/image_zone.h"

#include <algorithm>
#include <fstream>
#include <limits>
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

// The chip's own block, in pages: the step of a skip and the unit of a zone erase.
std::uint32_t ChipPagesPerBlock(const DeviceSession& session) {
  return session.pageSize == 0 ? 0 : session.blockSize / session.pageSize;
}

enum class WriteOutcome {
  kWritten,
  kUsedUpBeforeRetry,  // a failed write began at or past the zone end
  kUsedUpAfterWrite,   // the board's next page lies at or past the zone end
  kLinkLost,           // the board is gone; no block of it is bad
  kVerifyFailed,       // read back different from what was sent
};

// Writes the staged bytes at nandStart. A failed write costs one block of the chip:
// the same data goes one block further, until a write begins outside the zone.
WriteOutcome WriteInsideZone(DeviceSession& session, std::uint8_t* results,
                             const ImageZone& zone, ZoneReport& report) {
  std::uint32_t next = ProgramPages(session, results);
  while (next == kProgramFailed) {
    if (session.nandStart >= zone.zoneEnd) return WriteOutcome::kUsedUpBeforeRetry;
    session.nandStart += ChipPagesPerBlock(session);
    ++report.blocksSkipped;
    next = ProgramPages(session, results);
  }
  if (next == kProgramLinkLost) return WriteOutcome::kLinkLost;
  if (session.verifyWrites) {
    const WriteCheck verified = VerifyWrite(
        session, session.nandStart, next, std::span(session.dataBuffer, session.nandLength));
    if (verified.result == VerifyResult::kLinkLost) return WriteOutcome::kLinkLost;
    if (verified.result == VerifyResult::kMismatch) {
      report.mismatchPage = verified.mismatchPage;
      return WriteOutcome::kVerifyFailed;
    }
    report.blocksSkipped += verified.skippedBlocks;
  } else {
    const std::uint32_t pagesPerBlock = ChipPagesPerBlock(session);
    const std::uint32_t span = next - session.nandStart;
    const std::uint32_t sentPages = ProgramPageCount(session);
    if (pagesPerBlock != 0 && span > sentPages) report.blocksSkipped += (span - sentPages) / pagesPerBlock;
  }
  session.nandStart = next;
  return next >= zone.zoneEnd ? WriteOutcome::kUsedUpAfterWrite : WriteOutcome::kWritten;
}

int ReportZoneUsedUp(DeviceSession& session, std::uint8_t* okFlags, std::string_view text) {
  okFlags[0] = 0;
  session.ShowBox(text);
  session.nandEnd = session.nandStart;
  return kZoneOk;
}

// An end in the middle of the zone without its message: the zone is not used up.
int Stopped(DeviceSession& session, std::uint8_t* okFlags, int result) {
  okFlags[0] = 0;
  session.nandEnd = session.nandStart;
  return result;
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

std::uint32_t ClampToWord(std::uint64_t value) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
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

// The one handler of a write's outcome: nullopt when the chunk went in, else how the
// zone's write ends. A tail whose retries ran out before a retry began gets loader.bin's
// own text.
std::optional<int> EndOfWrite(DeviceSession& session, std::uint8_t* okFlags, WriteOutcome outcome,
                              const ImageZone& zone, bool tail) {
  switch (outcome) {
    case WriteOutcome::kWritten: return std::nullopt;
    case WriteOutcome::kLinkLost: return Stopped(session, okFlags, kZoneLinkLost);
    case WriteOutcome::kVerifyFailed: return Stopped(session, okFlags, kZoneVerifyFailed);
    case WriteOutcome::kUsedUpBeforeRetry:
      if (tail && zone.image == kLoaderBin) {
        return ReportZoneUsedUp(session, okFlags, kLoaderZoneUsedUpInTailRetryText);
      }
      break;
    case WriteOutcome::kUsedUpAfterWrite: break;
  }
  return ReportZoneUsedUp(session, okFlags, zone.usedUpText);
}

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

}  // namespace

int WriteImageZone(DeviceSession& session, std::uint8_t* okFlags,
                   const std::filesystem::path& path, ProgressSink& progress,
                   ZoneReport* reportOut) {
  ZoneReport unused;
  ZoneReport& report = reportOut != nullptr ? *reportOut : unused;
  report = ZoneReport{};
  std::fill_n(okFlags, session.targetCount, std::uint8_t{0});
  std::ifstream file;
  const std::optional<std::uint64_t> imageSize = OpenImage(path, file);
  if (!imageSize) return kZoneFailed;
  const std::uint64_t size = *imageSize;

  // A record without page geometry has no block to write; refuse it before the
  // board is touched rather than divide by zero.
  const BootConfig& record = session.bootConfig;
  const std::uint64_t chunk = std::uint64_t{record.nandPagesPerBlock} * ProgramPageBytes(session);
  const ImageZone* zone = FirstSelectedZone(session);
  if (chunk == 0 || record.nandPageSize == 0 || zone == nullptr) return kZoneFailed;

  // The erase counts in the record's blocks; the writes below go on in pages.
  const int erased = EraseZone(session, session.nandStart / record.nandPagesPerBlock);
  if (erased != kZoneOk) return erased;

  const std::uint64_t wholeChunks = size / chunk;
  const std::uint64_t remainder = size % chunk;
  std::fill_n(okFlags, session.targetCount, std::uint8_t{1});
  // ProgramPages clears targetCount entries, which may exceed the enable table.
  std::array<std::uint8_t, 256> results{};

  for (std::uint64_t i = 0; i < wholeChunks; ++i) {
    progress.Progress(kProgressImage, static_cast<std::intptr_t>(100 * i / wholeChunks));
    if (progress.Cancelled()) return Stopped(session, okFlags, kZoneCancelled);
    if (!ReadIntoBuffer(file, session.dataBuffer, chunk)) {
      return Stopped(session, okFlags, kZoneFailed);
    }
    session.nandLength = ClampToWord(chunk);
    const WriteOutcome outcome = WriteInsideZone(session, results.data(), *zone, report);
    if (const auto ended = EndOfWrite(session, okFlags, outcome, *zone, false)) return *ended;
    file.seekg(static_cast<std::streamoff>((i + 1) * chunk));
  }

  if (remainder > 0) {
    // Rounded up to whole pages; a remainder of whole pages gets one more, zero,
    // page. The padding is zeros, not the erased 0xFF.
    const std::uint64_t padded =
        remainder + (record.nandPageSize - remainder % record.nandPageSize);
    std::fill_n(session.dataBuffer, std::min<std::uint64_t>(padded, kDataBufferSize),
                std::uint8_t{0});
    if (progress.Cancelled()) return Stopped(session, okFlags, kZoneCancelled);
    if (!ReadIntoBuffer(file, session.dataBuffer, remainder)) {
      return Stopped(session, okFlags, kZoneFailed);
    }
    session.nandLength = ClampToWord(padded);
    const WriteOutcome outcome = WriteInsideZone(session, results.data(), *zone, report);
    if (const auto ended = EndOfWrite(session, okFlags, outcome, *zone, true)) return *ended;
    for (std::size_t t = 0; t < session.targetCount; ++t) okFlags[t] *= results[t];
  }

  progress.Progress(kProgressImage, 100);
  session.nandEnd = session.nandStart;
  return kZoneOk;
}

}  // namespace korvex
