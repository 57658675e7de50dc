#include "boot/boot_record.h"

#include "boot/boot_config_parser.h"
#include "boot/boot_message.h"
#include "boot/boot_texts.h"
#include "boot/station_model.h"
#include "device/request_channel.h"
#include "device/requests.h"
#include "host/paths.h"

namespace korvex {

namespace {

// The value request 9 always carries.
constexpr std::uint32_t kCommitArgument = 1;
constexpr std::uint32_t kBchBitsOfStation = 8;
constexpr std::uint32_t kNandBusBitsOfStation = 8;

bool IsFullGrammarModel(int model) {
  return model == kModelQx7130 || model == kModelQx7135 || model == kModelQx7105B;
}

// BulkWrite, request 9, status. What the board answers is not looked at; an exchange
// that failed at the host means the record never arrived, and nothing follows it.
int TransmitRecord(DeviceSession& session) {
  const BootConfigBytes bytes = SerializeBootConfig(session.bootConfig);
  const bool sent = BulkWrite(session.device, bytes.data(), static_cast<std::uint32_t>(bytes.size())) &&
                    CommitConfig(session.device, kCommitArgument) == kRequestOk && ReadStatus(session);
  return sent ? kConfigSent : kConfigLinkLost;
}

// The chip's geometry as models 1..3 send it; the page size is the caller's.
void TakeChipGeometry(DeviceSession& session) {
  BootConfig& c = session.bootConfig;
  c.nandPagesPerBlock = session.blockSize / session.pageSize;
  c.nandRowCycles = session.rowCycles;
  c.nandOobSize = session.spareSize;
  c.nandBchBits = kBchBitsOfStation;
  c.nandBusWidth = kNandBusBitsOfStation;
}

std::string Num(std::int64_t value) { return std::to_string(value); }

}  // namespace

void SetConfigDefaults(DeviceSession& session) {
  BootConfig& c = session.bootConfig;
  c.reserved0 = 0;
  c.nandBusWidth = 8;
  c.nandRowCycles = 3;
  c.nandPageSize = 2048;
  c.nandPagesPerBlock = 64;
  c.nandForceErase = 0;
  c.nandEccPos = 6;
  c.nandBadBlockPage = 0;
  c.nandBadBlockPos = 0;
  c.cpuId = 0x7120;
  c.extClk = 12;
  c.cpuMult = 28;
  c.phmDiv = 4;
  c.useUart = 0;
  c.baudRate = 57600;
  c.sdramWidth = 0;
  c.sdramBanks = 1;
  c.sdramRowAddr = 13;
  c.sdramColAddr = 9;
  c.sdramIsMobile = 0;
  c.sdramIsBusShare = 1;
}

std::vector<ConfigRuleFailure> FindConfigRuleFailures(const BootConfig& c) {
  std::vector<ConfigRuleFailure> failures;
  if (c.extClk < 12 || c.extClk > 27) {
    failures.push_back({ConfigRule::kExtClkRange,
                        "extClk " + Num(c.extClk) + " is outside 12..27"});
  }
  if (c.phmDiv > 32) {
    failures.push_back({ConfigRule::kPhmDivLimit, "phmDiv " + Num(c.phmDiv) + " is above 32"});
  }
  const int cpuClock = c.cpuMult * c.extClk;
  if (cpuClock % 12 != 0) {
    failures.push_back({ConfigRule::kCpuClock,
                        "cpuMult " + Num(c.cpuMult) + " x extClk " + Num(c.extClk) + " = " +
                            Num(cpuClock) + " MHz is not a multiple of 12"});
  }
  if (c.sdramWidth > 1 || c.sdramBanks > 1) {
    failures.push_back({ConfigRule::kSdramFlags, "sdramWidth " + Num(c.sdramWidth) +
                                                     " and sdramBanks " + Num(c.sdramBanks) +
                                                     " must both be 0 or 1"});
  }
  // Signed, as the board's firmware compares them: a page size with the top bit set
  // counts as a small page.
  const auto page = static_cast<std::int32_t>(c.nandPageSize);
  const auto spare = static_cast<std::int32_t>(c.nandOobSize);
  const auto pagesPerBlock = static_cast<std::int32_t>(c.nandPagesPerBlock);
  const std::string geometry = "nandOobSize " + Num(spare) + " and nandPagesPerBlock " +
                               Num(pagesPerBlock);
  if (page < 2048 && !(spare <= 16 && pagesPerBlock <= 32)) {
    failures.push_back({ConfigRule::kSmallPageSpare,
                        "nandPageSize " + Num(page) + " is below 2048, so " + geometry +
                            " must be at most 16 and 32"});
  }
  if (page > 512 && !(spare > 16 && pagesPerBlock >= 64)) {
    failures.push_back({ConfigRule::kLargePageSpare,
                        "nandPageSize " + Num(page) + " is above 512, so " + geometry +
                            " must be above 16 and at least 64"});
  }
  return failures;
}

bool CheckBootConfig(const DeviceSession& session) {
  return FindConfigRuleFailures(session.bootConfig).empty();
}

int SendBootConfig(DeviceSession& session) {
  if (!CheckBootConfig(session)) {
    ShowBootMessage(session, kTextCheckCfgFailed);
    return kConfigNotSent;
  }
  return TransmitRecord(session);
}

int Init_CFG(const std::filesystem::path& path, DeviceSession& session) {
  // -1 (the file ended early) is sent with whatever was read; only a missing file stops.
  if (ParseBootConfig(path, session) == kParseCannotOpen) {
    ShowBootMessage(session, kTextInitCfgFailed);
    return kConfigNotSent;
  }
  if (IsFullGrammarModel(session.cpuModel)) {
    if (!CheckBootConfig(session)) {
      ShowBootMessage(session, kTextCheckCfgFailed);
      return kConfigNotSent;
    }
  } else if (session.cpuModel != kModelQx7120) {
    // The parser has already shown this once; Init_CFG reports its own failure too.
    ShowBootMessage(session, kTextCpuIdVersionError);
    return kConfigNotSent;
  }
  // Model 0 goes out unchecked: its record is checked when Configure2K sends it.
  return TransmitRecord(session);
}

int Configure2K(DeviceSession& session) {
  if (session.cpuModel != kModelQx7120) {
    if (session.pageSize == 0) {
      ShowBootMessage(session, kTextCheckCfgFailed);
      ShowBootMessage(session, kTextConfigure2KFailed);
      return kConfigNotSent;
    }
    TakeChipGeometry(session);  // pages per block from the chip's real page size
    session.bootConfig.nandPageSize = 2048;
  } else {
    SetConfigDefaults(session);
    ParseBootConfig(ModelFilePath(session, kConfig2KFileName), session);
  }
  const int sent = SendBootConfig(session);
  if (sent == kConfigNotSent) ShowBootMessage(session, kTextConfigure2KFailed);
  return sent;
}

int ConfigureRealGeometry(DeviceSession& session) {
  if (session.cpuModel != kModelQx7120) {
    if (session.pageSize == 0) {
      ShowBootMessage(session, kTextCheckCfgFailed);
      ShowBootMessage(session, kTextConfigureRealFailed);
      return kConfigNotSent;
    }
    TakeChipGeometry(session);
    session.bootConfig.nandPageSize = session.pageSize;
  } else {
    SetConfigDefaults(session);
    // Deliberately the bare file name, relative to the process's current directory,
    // not ModelFilePath: this is where the station has always looked at this point, and
    // existing production setups are arranged around it. Moving it to the model folder
    // would silently change which file a line uses.
    const std::string_view name = session.pageSize == 2048 ? kConfig2KFileName
                                                           : kConfig4KFileName;
    ParseBootConfig(PathFromUtf8(name), session);
  }
  const int sent = SendBootConfig(session);
  if (sent == kConfigNotSent) ShowBootMessage(session, kTextConfigureRealFailed);
  return sent;
}

int ConfigureAfterBoot(DeviceSession& session) {
  if (IsFullGrammarModel(session.cpuModel)) return kAfterBootOk;  // the boot sent it
  if (session.cpuModel != kModelQx7120) {
    ShowBootMessage(session, kTextCpuIdVersionError);
    return kAfterBootFailed;
  }
  SetConfigDefaults(session);
  // Before the chip is known is2KPage still holds its initial 1, so the first call of
  // a job always reads Korvex2K.cfg.
  const std::string_view name = session.is2KPage != 0 ? kConfig2KFileName : kConfig4KFileName;
  return Init_CFG(ModelFilePath(session, name), session) == kConfigSent
             ? kAfterBootOk
             : kAfterBootFailed;
}

}  // namespace korvex
