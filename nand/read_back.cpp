#include "nand/read_back.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <string_view>

#include "station/port_context.h"
#include "boot/boot_record.h"
#include "device/cpu_model.h"
#include "boot/two_stage_boot.h"
#include "device/device_open.h"
#include "device/device_texts.h"
#include "device/requests.h"
#include "host/paths.h"
#include "nand/burn_texts.h"
#include "nand/nand_ops.h"
#include "nand/chip_lookup.h"
#include "nandtable/nand_cfg.h"

namespace korvex {

namespace {

class ReadBackJob {
 public:
  ReadBackJob(PortContext& context, ProgressSink& progress)
      : context_(context), progress_(progress), work_(context.session) {}

  void Run() {
    const JobSettings& settings = context_.settings;
    work_.targetEnable[0] = 1;
    const std::uint32_t fromPage = settings.fromPage;
    const std::uint32_t toPage = settings.toPage;
    // Taken now: the scan may rewrite the context's paths while the board boots.
    const std::string outputPath(settings.PathOf(kNandBin).View());

    if (OpenDevice(work_) != kOpenOk) return Refuse(kTextOpenDeviceFailed);
    if (Boot(work_) == kBootFailed) return Refuse(kTextDownloadFailed);
    if (work_.cpuModel == kModelQx7120 && ConfigureAfterBoot(work_) == kAfterBootFailed) {
      return CommonEnd();
    }
    switch (LookupNandPart(work_)) {
      case ChipLookup::kFound: break;
      case ChipLookup::kNotFound: return Refuse(kTextChipUnknown);
      case ChipLookup::kLinkLost: return Refuse(kTextReadBackLinkLost);
    }
    // Read in the chip's real geometry; model 0 with 2048-byte pages already is.
    if (work_.cpuModel == kModelQx7120) {
      if (work_.is2KPage == 0) ConfigureAfterBoot(work_);
    } else {
      ConfigureRealGeometry(work_);
    }

    std::ofstream file(PathFromUtf8(outputPath), std::ios::binary | std::ios::trunc);
    if (!file) return Refuse(outputPath);

    const auto pageBytes =
        static_cast<std::streamsize>(std::min<std::uint64_t>(work_.pageSize, kDataBufferSize));
    const std::uint64_t pages = toPage > fromPage ? toPage - fromPage : 0;
    for (std::uint64_t i = 0; i < pages; ++i) {
      const auto page = static_cast<std::uint32_t>(fromPage + i);
      std::fill_n(work_.dataBuffer, kDataBufferSize, std::uint8_t{0xFF});
      // A refused read leaves 0xFF in the file for that page; a lost link ends the
      // read-back at once, the file holding the pages read so far.
      const NandResult read = ReadPages(work_, page, work_.pageSize, work_.dataBuffer);
      if (read.status == NandStatus::kLinkLost || progress_.Cancelled()) {
        file.close();
        return LinkLost();
      }
      file.write(reinterpret_cast<const char*>(work_.dataBuffer), pageBytes);
      Progress(kProgressRead, static_cast<std::intptr_t>(100 * (i + 1) / pages));
    }
    file.close();
    SystemReset(work_);
    Progress(kProgressReset, 100);
    CloseDevice(work_);
  }

 private:
  void Refuse(std::string_view text) {
    work_.host().ShowMessageBox({text, kMessageCaption, MessageButtons::Ok, kReadBackPort});
    CommonEnd();
  }

  // One message, no reset: the board is gone.
  void LinkLost() {
    work_.host().ShowMessageBox(
        {kTextReadBackLinkLost, kMessageCaption, MessageButtons::Ok, kReadBackPort});
    Progress(kProgressReset, 100);
    CloseDevice(work_);
  }

  // The reset also goes out after a failed open, where it fails unnoticed. The
  // device is closed at every end so no handle outlives the read-back.
  void CommonEnd() {
    Progress(kProgressReset, 100);
    SystemReset(work_);
    CloseDevice(work_);
  }

  void Progress(ProgressType type, std::intptr_t value) { progress_.Progress(type, value); }

  PortContext& context_;
  ProgressSink& progress_;
  DeviceSession work_;
};

}  // namespace

void ReadBackPages(PortContext& context, ProgressSink& progress) {
  ReadBackJob(context, progress).Run();
}

}  // namespace korvex
