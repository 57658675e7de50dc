#include "nand/burn_board.h"

#include <array>
#include <optional>
#include <string_view>

#include "app/burn_counter.h"
#include "app/port_progress.h"
#include "boot/boot_record.h"
#include "boot/station_model.h"
#include "boot/two_stage_boot.h"
#include "device/cpu_identification.h"
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
  explicit Burn(PortContext& context)
      : context_(context), work_(context.session), port_(context.settings.port) {}

  void Run() {
    work_.progressHwnd = context_.settings.hwndMain;
    work_.progressPort = port_;
    context_.session.progressPort = port_;
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

    g_burnCounter.fetch_add(1);
    g_portRuns[port_].burning = kBurningStarted;

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
      MakeUid(work_.host(), work_.uid.data(), work_.uidText, work_.port);
      PortRun& run = g_portRuns[port_];
      run.uid = work_.uid;
      run.uidText = work_.uidText;
    }

    std::array<std::uint8_t, 256> okFlags{};
    const int written = WriteImageZone(work_, okFlags.data(), PathFromUtf8(path.View()));
    const ImageLogTexts& lines = kImageLogTexts[image];
    // The scan frees the slot of a board that went away while the image was written.
    if (g_portSlots[port_].state == kPortFree) return LogAndEnd(lines.unplugged);
    if (written == kZoneFailed) return LogAndEnd(lines.openFailed);
    if (okFlags[0] == 0) {
      Log(lines.writeError);
      if (image == kLoaderBin) LogPages(kLogLoaderErrorRange, zone.firstPage, work_.nandEnd);
      return false;
    }
    Log(lines.succeeded);
    LogPages(lines.pageRange, zone.firstPage, work_.nandEnd);
    return image != kNandBin || WriteIdentityPages(work_);
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
    g_portRuns[port_].burning = kBurningDone;
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

  void Log(std::string_view text) { LogBoardLine(work_, text); }

  void LogPages(std::string_view format, std::uint32_t first, std::uint32_t second) {
    LogBoardPages(work_, format, first, second);
  }

  void Progress(ProgressType type, std::intptr_t lParam) {
    SendPortProgress(work_.host(), context_.settings.hwndMain, type, port_, lParam);
  }

  PortContext& context_;
  DeviceSession work_;
  std::int32_t port_;
};

}  // namespace

std::uint32_t BurnBoard(PortContext& context) {
  Burn(context).Run();
  return 0;
}

std::uint32_t ThreadFunc0(void* argument) {
  PortContext& context = *static_cast<PortContext*>(argument);
  const std::int32_t port = context.settings.port;
  const std::uint32_t result = BurnBoard(context);
  SendPortProgress(context.session.host(), context.settings.hwndMain, kProgressReset, port, 0);
  g_portRuns[port].workerRunning = false;
  return result;
}

}  // namespace korvex
