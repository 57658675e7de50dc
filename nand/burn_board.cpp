#include "nand/burn_board.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string_view>

#include "boot/boot_record.h"
#include "boot/two_stage_boot.h"
#include "device/cpu_identification.h"
#include "device/cpu_model.h"
#include "device/device_open.h"
#include "device/device_texts.h"
#include "device/request_channel.h"
#include "device/requests.h"
#include "host/paths.h"
#include "nand/burn_log.h"
#include "nand/burn_texts.h"
#include "nand/identity_pages.h"
#include "nand/image_zone.h"
#include "nand/nand_ops.h"
#include "nand/nand_texts.h"
#include "nand/chip_lookup.h"
#include "nandtable/nand_table_edit.h"
#include "nandtable/nand_cfg.h"
#include "station/printf_text.h"

namespace korvex {

namespace {

constexpr std::array<ImageId, kImageCount> kBurnOrder{kNandBin,    kLoaderBin, kDefBootBin,
                                                      kImgBootBin, kMiniosBin, kResBin};

// Burn-time identification codes of a board that may be burned as model 2 or 3.
constexpr CpuReply kBurnCodeQx7105B = 4;
constexpr CpuReply kBurnCodeQx7135 = 5;

constexpr std::uint32_t kPageSize2K = 2048;

// The transfer option of an image; none for a CPU model the station cannot speak to.
std::optional<std::int32_t> ImageOption(ImageId image, std::int32_t cpuModel) {
  if (image != kNandBin && image != kLoaderBin) return kOptionNoOob;
  if (cpuModel == kModelQx7120) return kOptionNoOobModel0;
  if (cpuModel >= kModelQx7130 && cpuModel <= kModelQx7105B) return kOptionNoOob;
  return std::nullopt;
}

// The chip's blocks must fit one write, and every zone must hold at least one block;
// otherwise the zone walk could not place a single block anywhere.
constexpr std::uint32_t SmallestZonePages() {
  std::uint32_t pages = kImageZones[0].zoneEnd - kImageZones[0].firstPage;
  for (const ImageZone& zone : kImageZones) pages = std::min(pages, zone.zoneEnd - zone.firstPage);
  return pages;
}
// The table dialog refuses the rows this check would refuse.
static_assert(kMaxBurnableBlockBytes == kMaxProgramLength);
static_assert(kMaxBurnablePagesPerBlock == SmallestZonePages());

bool GeometryBurnable(const DeviceSession& session) {
  if (session.pageSize == 0 || session.blockSize == 0) return true;  // the record decides
  const std::uint32_t pagesPerBlock = session.blockSize / session.pageSize;
  if (session.blockSize > kMaxProgramLength || pagesPerBlock == 0) return false;
  for (const ImageZone& zone : kImageZones) {
    if (zone.zoneEnd - zone.firstPage < pagesPerBlock) return false;
  }
  return true;
}

class Burn {
 public:
  Burn(PortContext& context, BurnEvents& events)
      : context_(context), events_(events), work_(context.session), port_(context.settings.port) {
    work_.firstBox.Clear();
  }

  void Run() {
    BurnEnd end = Prepare();
    for (std::size_t i = 0; end == BurnEnd::kNone && i < kBurnOrder.size(); ++i) {
      end = BurnImage(kBurnOrder[i]);
    }
    if (end == BurnEnd::kNone) end = Finish();
    // Every end but the normal one leaves the board as it is (no reset) but closes our
    // handle: a production station must not leak one per failed board, and the port's
    // next claim opens a fresh one anyway.
    if (end != BurnEnd::kBurned) CloseDevice(work_);
    events_.Ended(end, work_);
  }

 private:
  // Everything before the first image: boot, chip, the job's checks, the optional
  // whole-chip erase and, for models 2 and 3, the CPU's burn-time code.
  BurnEnd Prepare() {
    BurnEnd end = BootBoard();
    if (end == BurnEnd::kNone) end = IdentifyChip();
    if (end == BurnEnd::kNone) end = CheckJob();
    if (end == BurnEnd::kNone) end = EraseWholeChip();
    if (end != BurnEnd::kNone) return end;
    events_.Counted();
    return CheckCpuAtBurn();
  }

  BurnEnd BootBoard() {
    Progress(kProgressBoot, 0);
    work_.targetEnable[0] = 1;
    // A boot that failed because the board went away is a lost link, not a bad file.
    const std::uint64_t failedBefore = FailedExchangesOnThisThread();
    const auto linkGone = [&] { return FailedExchangesOnThisThread() != failedBefore; };
    if (Boot(work_) == kBootFailed) {
      return linkGone() ? LinkLost(kLogBoardDisconnected) : Refuse(kTextDownloadFailed, BurnEnd::kBootFailed);
    }
    // A failed model-0 configuration has shown its own message.
    if (work_.cpuModel == kModelQx7120 && ConfigureAfterBoot(work_) == kAfterBootFailed) {
      return linkGone() ? LinkLost(kLogBoardDisconnected) : BurnEnd::kBootFailed;
    }
    Progress(kProgressBoot, 50);
    return BurnEnd::kNone;
  }

  BurnEnd IdentifyChip() {
    // IDs of 0 after the lookup mean the chip's IDs were never read.
    work_.chipMainId = 0;
    work_.chipExtId = 0;
    switch (LookupNandPart(work_)) {
      case ChipLookup::kFound: break;
      case ChipLookup::kNotFound:
        if (work_.chipMainId != 0 || work_.chipExtId != 0) events_.ChipNotInTable(work_);
        return Refuse(kTextChipUnknown, BurnEnd::kChipUnknown);
      case ChipLookup::kLinkLost: return LinkLost(kLogBoardDisconnected);
    }
    events_.ChipIdentified(work_);
    // Model 0 configured for 2048-byte pages before the chip was known.
    if (work_.cpuModel == kModelQx7120 && work_.is2KPage == 0) ConfigureAfterBoot(work_);
    Progress(kProgressBoot, 100);
    return BurnEnd::kNone;
  }

  // The job's own checks, the board's UID when the job's hook wants it first, and the
  // hook's say before anything is written.
  BurnEnd CheckJob() {
    work_.zoneSelect.fill(0);
    const JobSettings& settings = context_.settings;
    bool anyIncluded = false;
    bool anyPath = false;
    for (std::size_t slot = 0; slot < kImageCount; ++slot) {
      anyIncluded = anyIncluded || settings.includeFlags[slot] != 0;
      anyPath = anyPath || !settings.imagePaths[slot].Empty();
    }
    if (!anyIncluded) return Refuse(kTextNoImageIncluded, BurnEnd::kNoImage);
    if (!anyPath) return Refuse(kTextAllPathsEmpty, BurnEnd::kNoImage);
    if (!GeometryBurnable(work_)) return RefuseGeometry();
    // A job's hook_before sees the board's UID, so it is made before anything is written.
    const bool nandIncluded = settings.IncludeOf(kNandBin) == 1 && !settings.PathOf(kNandBin).Empty();
    if (events_.UidFirst() && nandIncluded) MakeBoardUid();
    if (auto refusal = events_.BeforeWriting(work_)) {
      Log(": " + refusal->text);
      return Refuse(refusal->text, refusal->end);
    }
    return BurnEnd::kNone;
  }

  BurnEnd EraseWholeChip() {
    if (work_.eraseWholeChip == 0) return BurnEnd::kNone;
    const int sent = ConfigureRealGeometry(work_);
    if (sent == kConfigLinkLost) return LinkLost(kLogBoardDisconnected);
    if (sent != kConfigSent) return Refuse(kTextRealGeometryForEraseFailed, BurnEnd::kConfigFailed);
    if (EraseChip(work_).status == NandStatus::kLinkLost) return LinkLost(kLogBoardDisconnected);
    Log(kLogEraseNand);
    return BurnEnd::kNone;
  }

  BurnEnd CheckCpuAtBurn() {
    if (work_.cpuModel != kModelQx7135 && work_.cpuModel != kModelQx7105B) return BurnEnd::kNone;
    const CpuReply code = ClassifyCpuAtBurn(work_.device);
    if (code == kCpuReplyFailed) return LinkLost(kLogBoardDisconnected);
    if (code != kBurnCodeQx7105B && code != kBurnCodeQx7135) {
      return Refuse(kCpuIdVersionErrorText, BurnEnd::kCpuMismatch);
    }
    return BurnEnd::kNone;
  }

  // One image step; anything but kNone ends the burn.
  BurnEnd BurnImage(ImageId image) {
    if (events_.Cancelled()) return BurnEnd::kInterrupted;
    Progress(kProgressReset, 0);
    Progress(kProgressLabel, image);
    const ImageLogTexts& lines = kImageLogTexts[image];
    if (const int sent = ConfigureBefore(image); sent != kConfigSent) return ConfigFailed(sent, lines);

    const JobSettings& settings = context_.settings;
    const ImagePath& path = settings.PathOf(image);
    if (settings.IncludeOf(image) != 1 || path.Empty()) return BurnEnd::kNone;

    const ImageZone& zone = kImageZones[image];
    SelectZone(work_, image);
    const std::optional<std::int32_t> option = ImageOption(image, work_.cpuModel);
    if (!option) return Refuse(kCpuIdVersionErrorText, BurnEnd::kCpuMismatch);

    if (image == kNandBin) {
      if (const int sent = Configure2K(work_); sent != kConfigSent) return ConfigFailed(sent, lines);
      if (!uidMade_) MakeBoardUid();
    }

    if (const std::optional<std::uint64_t> grown = OutgrownZone(path.View(), zone)) {
      return ImageOutgrown(image, *grown, lines);
    }
    std::array<std::uint8_t, 256> okFlags{};
    ZoneReport report;
    const int written = WriteImageZone(work_, zone.firstPage, *option, okFlags.data(),
                                       PathFromUtf8(path.View()), events_, report);
    const BurnEnd end = ImageWritten(image, written, okFlags[0] != 0, report);
    if (end != BurnEnd::kNone || image != kNandBin) return end;
    return IdentityPagesWritten(lines);
  }

  // What the image's zone write comes to for the burn: logged, and kNone when the
  // whole image went in.
  BurnEnd ImageWritten(ImageId image, int written, bool whole, const ZoneReport& report) {
    const ImageZone& zone = kImageZones[image];
    const ImageLogTexts& lines = kImageLogTexts[image];
    // The image the burn ended in is told as far as it got.
    const auto cutShort = [&](bool mismatch = false) {
      const std::uint32_t end = std::max(report.endPage, zone.firstPage);
      events_.ImageDone({image, zone.firstPage, written == kZoneFailed ? zone.firstPage : end,
                         report.blocksSkipped, work_.verifyWrites, false, mismatch});
    };
    // The station notices a board that went away while the image was written.
    if (events_.Unplugged()) return cutShort(), LogAndEnd(lines.unplugged, BurnEnd::kUnplugged);
    if (written == kZoneLinkLost) return cutShort(), LinkLost(lines.unplugged);
    if (written == kZoneCancelled) return cutShort(), BurnEnd::kInterrupted;
    if (written == kZoneFailed) return cutShort(), LogAndEnd(lines.openFailed, BurnEnd::kOpenFailed);
    if (written == kZoneVerifyFailed) return cutShort(true), VerifyFailed(image, report.mismatchPage);
    if (!whole) {
      cutShort();
      Log(lines.writeError);
      if (image == kLoaderBin) LogPages(kLogLoaderErrorRange, zone.firstPage, report.endPage);
      return BurnEnd::kZoneFull;
    }
    Log(lines.succeeded);
    LogPages(lines.pageRange, zone.firstPage, report.endPage);
    events_.ImageDone(
        {image, zone.firstPage, report.endPage, report.blocksSkipped, work_.verifyWrites});
    return BurnEnd::kNone;
  }

  // The identity pages behind a nand.bin that went in whole.
  BurnEnd IdentityPagesWritten(const ImageLogTexts& lines) {
    const IdentityWrite written = WriteIdentityPages(work_, events_);
    switch (written.result) {
      case kPageWritten: return BurnEnd::kNone;
      case kPageLinkLost: return LinkLost(lines.unplugged);
      case kPageVerifyFailed:
        return Refuse(PrintfText(kTextVerifyFailed, "nand.bin", written.page),
                      BurnEnd::kVerifyMismatch);
      default: return BurnEnd::kWriteError;
    }
  }

  // The geometry an image needs that the previous one did not: models 1..3 leave
  // the 2048-byte view after nand.bin, model 0 only after loader.bin and only for
  // chips whose pages are not 2048 bytes.
  int ConfigureBefore(ImageId image) {
    const bool needed =
        (image == kLoaderBin && work_.cpuModel != kModelQx7120) ||
        (image == kDefBootBin && work_.cpuModel == kModelQx7120 && work_.pageSize != kPageSize2K);
    return needed ? ConfigureRealGeometry(work_) : kConfigSent;
  }

  // A record that did not reach the board before an image: refused by the checks,
  // or lost with the link, which is the image's unplug line and no box. Writing on
  // would put the image where the board's previous view of the chip says.
  BurnEnd ConfigFailed(int sent, const ImageLogTexts& lines) {
    if (sent == kConfigLinkLost) return LinkLost(lines.unplugged);
    return Refuse(kTextImageConfigureFailed, BurnEnd::kConfigFailed);
  }

  BurnEnd Finish() {
    if (work_.formatAfterBurn != 0) {
      if (FormatNand(work_).status == NandStatus::kLinkLost) return LinkLost(kLogBoardDisconnected);
      Log(kLogEraseNand);
    }
    if (work_.cpuModel == kModelQx7105B && work_.fileSystemFormat != 0) {
      Progress(kProgressFormat, 0);
      if (FormatFileSystem(work_).status == NandStatus::kLinkLost) {
        return LinkLost(kLogBoardDisconnected);
      }
    }
    if (SystemReset(work_) != kResetOk) return LinkLost(kLogBoardDisconnected);
    Log(kLogSystemReset);
    CloseDevice(work_);
    return BurnEnd::kBurned;
  }

  void MakeBoardUid() {
    MakeUid(work_.host(), work_.uid.data(), work_.uidText);
    events_.UidMade(work_.uid, work_.uidText.View());
    uidMade_ = true;
  }

  BurnEnd Refuse(std::string_view text, BurnEnd end) {
    work_.ShowBox(text);
    return end;
  }

  // A block that reads back different is the board's own failure, never "zone used up".
  BurnEnd VerifyFailed(ImageId image, std::uint32_t page) {
    const std::string name(kImageFileNames[image]);
    Log(PrintfText(kLogVerifyFailed, name.c_str(), static_cast<int>(page)));
    return Refuse(PrintfText(kTextVerifyFailed, name.c_str(), page), BurnEnd::kVerifyMismatch);
  }

  // The file's size now when it takes the whole zone even without a bad block: it
  // changed after the station checked it, and no bad block is to blame.
  std::optional<std::uint64_t> OutgrownZone(std::string_view path, const ImageZone& zone) const {
    std::error_code error;
    const std::uint64_t bytes = std::filesystem::file_size(PathFromUtf8(path), error);
    const std::uint32_t page = work_.bootConfig.nandPageSize;
    if (error || page == 0) return std::nullopt;
    // A file ending on a page boundary takes one more, zero-filled, page.
    if (bytes / page + 1 < zone.zoneEnd - zone.firstPage) return std::nullopt;
    return bytes;
  }

  BurnEnd ImageOutgrown(ImageId image, std::uint64_t bytes, const ImageLogTexts& lines) {
    Log(lines.writeError);
    return Refuse(PrintfText(kTextImageOutgrewZone, std::string(kImageFileNames[image]).c_str(),
                             static_cast<unsigned long long>(bytes)),
                  BurnEnd::kOpenFailed);
  }

  BurnEnd RefuseGeometry() {
    return Refuse(PrintfText(kTextGeometryNotBurnable, work_.blockSize, work_.pageSize),
                  BurnEnd::kGeometryRefused);
  }

  // A dead link is one line in the log and no message box: the operator sees the
  // board gone, and a good board is never reported as bad NAND.
  BurnEnd LinkLost(std::string_view line) { return LogAndEnd(line, BurnEnd::kLinkLost); }

  BurnEnd LogAndEnd(std::string_view text, BurnEnd end) {
    Log(text);
    return end;
  }

  void Log(std::string_view text) { LogBoardLine(events_, work_, text); }

  void LogPages(std::string_view format, std::uint32_t first, std::uint32_t second) {
    LogBoardPages(events_, work_, format, first, second);
  }

  void Progress(ProgressType type, std::intptr_t value) { events_.Progress(type, value); }

  PortContext& context_;
  BurnEvents& events_;
  DeviceSession work_;
  std::int32_t port_;
  bool uidMade_ = false;
};

}  // namespace

std::uint32_t BurnBoard(PortContext& context, BurnEvents& events) {
  Burn(context, events).Run();
  return 0;
}

}  // namespace korvex
