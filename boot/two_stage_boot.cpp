#include "boot/two_stage_boot.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "protocol/boot_config.h"
#include "boot/boot_config_parser.h"
#include "boot/boot_message.h"
#include "boot/boot_record.h"
#include "boot/boot_texts.h"
#include "boot/station_model.h"
#include "device/cpu_identification.h"
#include "device/request_channel.h"
#include "device/requests.h"

namespace korvex {
namespace {

constexpr std::uint32_t kStage1SettleMs = 1000;  // stage 1 brings up clocks and SDRAM
constexpr std::uint32_t kBeforeRecordMs = 500;   // stage 2 starts before it takes the record

// What the boot-table reply means for models 1..3, by CpuReply 0..5.
struct BootReplyAction {
  std::optional<std::uint32_t> cpuId;  // nullopt: the record keeps its value
  bool download;                       // false: the board already runs stage 2
};
constexpr std::array<BootReplyAction, 6> kBootReplyActions{{
    {std::nullopt, true},   // any other text
    {0x7120, true},         // QX7120V1
    {0x7130, true},         // QX7130V1
    {0x7120, false},        // Boot7120
    {0x7130, false},        // Boot7130
    {std::nullopt, false},  // Boot7135
}};

bool CarriesFirmwareArgs(int model) { return model >= kModelQx7130 && model <= kModelQx7105B; }

// The texts of one stage's failures, so both stages share one load routine.
struct StageTexts {
  std::string_view cannotOpen;
  std::string_view sizeUnknown;
  std::string_view tooLarge;
};
constexpr StageTexts kStage1Texts{kTextStage1CannotOpen, kTextStage1SizeUnknown,
                                  kTextStage1TooLarge};
constexpr StageTexts kStage2Texts{kTextStage2CannotOpen, kTextStage2SizeUnknown,
                                  kTextStage2TooLarge};

// An image file beside the program, opened and measured but not yet read.
struct ImageFile {
  std::filesystem::path path;
  std::ifstream stream;
  std::uint32_t size = 0;
};

// Opens and measures the file; refuses it, with the stage's message, when it cannot be
// opened, its size cannot be learnt or it is over maxBytes. Nothing is read here, so an
// oversized file never touches the data buffer.
bool OpenImage(DeviceSession& session, std::string_view name, std::uintmax_t maxBytes,
               const StageTexts& texts, ImageFile& image) {
  image.path = ModelFilePath(session, name);
  // Something other than a plain file (a folder, a device) has no size to trust; say so
  // the same way on every platform, whether or not it could be opened.
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(image.path, error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    ShowBootMessage(session, texts.sizeUnknown);
    return false;
  }
  image.stream.open(image.path, std::ios::binary);
  if (!image.stream.is_open()) {
    ShowBootMessage(session, texts.cannotOpen);
    return false;
  }
  const std::uintmax_t size = std::filesystem::file_size(image.path, error);
  if (error) {
    ShowBootMessage(session, texts.sizeUnknown);
    return false;
  }
  if (size > maxBytes) {
    ShowBootMessage(session, texts.tooLarge);
    return false;
  }
  image.size = static_cast<std::uint32_t>(size);
  return true;
}

// Models 1..3 pass the clock and SDRAM settings to both stages inside the image:
// record bytes 60..87 over image bytes 8..35, in the buffer only. An image too short
// for the whole slot gets as much of it as fits.
void PatchFirmwareArgs(const DeviceSession& session, std::uint32_t imageSize) {
  if (imageSize <= kImageFirmwareArgsOffset) return;
  const BootConfigBytes record = SerializeBootConfig(session.bootConfig);
  const std::size_t count =
      std::min<std::size_t>(kFirmwareArgsSize, imageSize - kImageFirmwareArgsOffset);
  std::copy_n(record.begin() + kFirmwareArgsOffset, count,
              session.dataBuffer + kImageFirmwareArgsOffset);
}

// Reads the whole image into the data buffer and patches it. A file that shrank since
// it was measured cannot be sent whole, so it counts as one that cannot be opened.
bool ReadImage(DeviceSession& session, const StageTexts& texts, ImageFile& image) {
  image.stream.read(reinterpret_cast<char*>(session.dataBuffer), image.size);
  if (static_cast<std::uintmax_t>(image.stream.gcount()) != image.size) {
    ShowBootMessage(session, texts.cannotOpen);
    return false;
  }
  if (CarriesFirmwareArgs(session.cpuModel)) PatchFirmwareArgs(session, image.size);
  return true;
}

int Fail(DeviceSession& session, std::string_view text) {
  ShowBootMessage(session, text);
  return kDownloadFailed;
}

int BootWithRecord(DeviceSession& session) {
  Host& host = session.host();
  ParseBootConfig(ModelFilePath(session, kConfig2KFileName), session);  // only fills the record
  const CpuReply reply = ClassifyCpuAtBoot(session.device);
  if (reply < 0 || static_cast<std::size_t>(reply) >= kBootReplyActions.size()) {
    ShowBootMessage(session, kTextReadCpuModelFailed);
    return kBootFailed;
  }
  const BootReplyAction& action = kBootReplyActions[static_cast<std::size_t>(reply)];
  if (action.cpuId) session.bootConfig.cpuId = *action.cpuId;
  if (action.download && DownloadStages(kStage1FileName, kStage2FileName, session) != kDownloadOk) {
    ShowBootMessage(session, kTextBootFailed);
    return kBootFailed;
  }
  host.Sleep(kBeforeRecordMs);
  return Init_CFG(ModelFilePath(session, kConfig2KFileName), session) == kConfigSent ? kBootOk
                                                                                  : kBootFailed;
}

}  // namespace

int Boot(DeviceSession& session) {
  switch (session.cpuModel) {
    case kModelQx7120:
      if (!session.device.IsOpen()) return kBootFailed;
      return DownloadStages(kStage1FileName, kStage2FileName, session) == kDownloadOk ? kBootOk
                                                                                      : kBootFailed;
    case kModelQx7130:
    case kModelQx7135:
    case kModelQx7105B: return BootWithRecord(session);
    default: ShowBootMessage(session, kTextCpuIdVersionError); return kBootFailed;
  }
}

int DownloadStages(std::string_view stage1FileName, std::string_view stage2FileName,
                   DeviceSession& session) {
  std::uint32_t stage2Address = 0;
  if (session.cpuModel == kModelQx7120) {
    stage2Address = kModel0Stage2Address;
  } else if (CarriesFirmwareArgs(session.cpuModel)) {
    stage2Address = session.sdramBytes + kStage2BelowSdramEnd;  // wraps as the board's 32-bit bus
  } else {
    return Fail(session, kTextCpuIdVersionError);
  }
  const DeviceHandle device = session.device;
  const std::uint32_t stage1Address = session.model.stage1Address;

  ImageFile stage1;
  if (!OpenImage(session, stage1FileName, kStage1MaxBytes, kStage1Texts, stage1)) {
    return kDownloadFailed;
  }
  session.bootConfig.bootFlag = 0;
  if (!ReadImage(session, kStage1Texts, stage1)) return kDownloadFailed;
  ClassifyCpuAtBoot(device);  // part of the exchange the board expects; answer unused
  if (SetDataAddress(device, stage1Address) != kRequestOk) {
    return Fail(session, kTextStage1SetAddressFailed);
  }
  BulkWrite(device, session.dataBuffer, stage1.size);
  if (ProgStart1(device, stage1Address) != kRequestOk) {
    return Fail(session, kTextStage1StartFailed);
  }
  session.host().Sleep(kStage1SettleMs);
  ClassifyCpuAtBoot(device);
  stage1.stream.close();

  ImageFile stage2;
  if (!OpenImage(session, stage2FileName, kDataBufferSize, kStage2Texts, stage2) ||
      !ReadImage(session, kStage2Texts, stage2)) {
    return kDownloadFailed;
  }
  if (SetDataAddress(device, stage2Address) != kRequestOk) {
    return Fail(session, kTextStage2SetAddressFailed);
  }
  BulkWrite(device, session.dataBuffer, stage2.size);
  ClassifyCpuAtBoot(device);
  FlushCaches(device);  // a failed flush shows only as a failed start
  if (ProgStart2(device, stage2Address) != kRequestOk) {
    return Fail(session, kTextStage2StartFailed);
  }
  if (CarriesFirmwareArgs(session.cpuModel)) ClassifyCpuAtBoot(device);
  return kDownloadOk;
}

}  // namespace korvex
