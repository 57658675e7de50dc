#include "nand/burn_board.h"

#include <array>
#include <optional>
#include <string_view>

#include "boot/boot_record.h"
#include "boot/two_stage_boot.h"
#include "device/cpu_identification.h"
#include "device/cpu_model.h"
#include "device/device_open.h"
#include "device/device_texts.h"
#include "device/requests.h"
#include "host/paths.h"
#include "nand/burn_log.h"
#include "nand/burn_texts.h"
#include "nand/identity_pages.h"
#include "nand/image_zone.h"
#include "nand/nand_ops.h"
#include "nand/nand_texts.h"
#include "nand/chip_lookup.h"
#include "nandtable/nand_cfg.h"

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

class Burn {
 public:
  Burn(PortContext& context, BurnEvents& events)
      : context_(context), events_(events), work_(context.session), port_(context.settings.port) {}

  void Run() {
    if (!Prepare()) return End();
    for (const ImageId image : kBurnOrder) {
      if (!BurnImage(image)) return End();
    }
    Finish();
  }

 private:
  bool Prepare() {
    Progress(kProgressBoot, 0);
    work_.targetEnable[0] = 1;
    if (Boot(work_) == kBootFailed) return Refuse(kTextDownloadFailed);
    // A failed model-0 configuration has shown its own message.
    if (work_.cpuModel == kModelQx7120 && ConfigureAfterBoot(work_) == kAfterBootFailed) {
      return false;
    }
    Progress(kProgressBoot, 50);
    if (!LookupNandPart(work_)) return Refuse(kTextChipUnknown);
    // Model 0 configured for 2048-byte pages before the chip was known.
    if (work_.cpuModel == kModelQx7120 && work_.is2KPage == 0) ConfigureAfterBoot(work_);
    Progress(kProgressBoot, 100);

    work_.zoneSelect.fill(0);
    const JobSettings& settings = context_.settings;
    bool anyIncluded = false;
    bool anyPath = false;
    for (std::size_t slot = 0; slot < kImageCount; ++slot) {
      anyIncluded = anyIncluded || settings.includeFlags[slot] != 0;
      anyPath = anyPath || !settings.imagePaths[slot].Empty();
    }
    if (!anyIncluded) return Refuse(kTextNoImageIncluded);
    if (!anyPath) return Refuse(kTextAllPathsEmpty);

    if (work_.eraseWholeChip != 0) {
      if (ConfigureRealGeometry(work_) == kConfigNotSent) {
        return Refuse(kTextRealGeometryForEraseFailed);
      }
      EraseChip(work_);
      Log(kLogEraseNand);
    }

    events_.Counted();

    if (work_.cpuModel == kModelQx7135 || work_.cpuModel == kModelQx7105B) {
      const CpuReply code = ClassifyCpuAtBurn(work_.device);
      if (code != kBurnCodeQx7105B && code != kBurnCodeQx7135) {
        return Refuse(kCpuIdVersionErrorText);
      }
    }
    return true;
  }

  // One image step; false ends the burn.
  bool BurnImage(ImageId image) {
    Progress(kProgressReset, 0);
    Progress(kProgressLabel, image);
    if (!ConfigureBefore(image)) return Refuse(kTextImageConfigureFailed);

    const JobSettings& settings = context_.settings;
    const ImagePath& path = settings.PathOf(image);
    if (settings.IncludeOf(image) != 1 || path.Empty()) return true;

    const ImageZone& zone = kImageZones[image];
    SelectZone(work_, image);
    work_.nandStart = zone.firstPage;
    const std::optional<std::int32_t> option = ImageOption(image, work_.cpuModel);
    if (!option) return Refuse(kCpuIdVersionErrorText);
    work_.nandOption = *option;

    if (image == kNandBin) {
      if (Configure2K(work_) == kConfigNotSent) return Refuse(kTextImageConfigureFailed);
      MakeUid(work_.host(), work_.uid.data(), work_.uidText);
      events_.UidMade(work_.uid, work_.uidText.View());
    }

    std::array<std::uint8_t, 256> okFlags{};
    const int written =
        WriteImageZone(work_, okFlags.data(), PathFromUtf8(path.View()), events_);
    const ImageLogTexts& lines = kImageLogTexts[image];
    // The station notices a board that went away while the image was written.
    if (events_.Unplugged()) return LogAndEnd(lines.unplugged);
    if (written == kZoneFailed) return LogAndEnd(lines.openFailed);
    if (okFlags[0] == 0) {
      Log(lines.writeError);
      if (image == kLoaderBin) LogPages(kLogLoaderErrorRange, zone.firstPage, work_.nandEnd);
      return false;
    }
    Log(lines.succeeded);
    LogPages(lines.pageRange, zone.firstPage, work_.nandEnd);
    return image != kNandBin || WriteIdentityPages(work_, events_);
  }

  // The geometry an image needs that the previous one did not: models 1..3 leave
  // the 2048-byte view after nand.bin, model 0 only after loader.bin and only for
  // chips whose pages are not 2048 bytes.
  bool ConfigureBefore(ImageId image) {
    const bool needed =
        (image == kLoaderBin && work_.cpuModel != kModelQx7120) ||
        (image == kDefBootBin && work_.cpuModel == kModelQx7120 && work_.pageSize != kPageSize2K);
    return !needed || ConfigureRealGeometry(work_) != kConfigNotSent;
  }

  void Finish() {
    if (work_.formatAfterBurn != 0) {
      FormatNand(work_);
      Log(kLogEraseNand);
    }
    if (work_.cpuModel == kModelQx7105B && work_.fileSystemFormat != 0) {
      Progress(kProgressFormat, 0);
      FormatFileSystem(work_);
    }
    SystemReset(work_);
    Log(kLogSystemReset);
    CloseDevice(work_);
    events_.Finished();
  }

  // Every early end leaves the board as it is (no reset) but closes our handle: a
  // production station must not leak one per failed board, and the port's next
  // claim opens a fresh one anyway.
  void End() { CloseDevice(work_); }

  bool Refuse(std::string_view text) {
    work_.host().ShowMessageBox({text, kMessageCaption, MessageButtons::Ok, port_});
    return false;
  }

  bool LogAndEnd(std::string_view text) {
    Log(text);
    return false;
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
};

}  // namespace

std::uint32_t BurnBoard(PortContext& context, BurnEvents& events) {
  Burn(context, events).Run();
  return 0;
}

}  // namespace korvex
