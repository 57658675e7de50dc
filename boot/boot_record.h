#pragma once
// Filling, checking and sending the session's BootConfig at each point of a job.
// Errors are shown where they are found (modal message box for the session's port);
// the results are the small integers the callers test.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "device/device_session.h"

namespace korvex {

// SendBootConfig, Init_CFG, Configure2K, ConfigureRealGeometry.
inline constexpr int kConfigSent = 1;
inline constexpr int kConfigNotSent = 0;
// An exchange of the record failed at the host: the board is gone. No message box.
inline constexpr int kConfigLinkLost = -1;
// ConfigureAfterBoot.
inline constexpr int kAfterBootOk = 1;
inline constexpr int kAfterBootFailed = -1;

// Model 0's fixed clock, SDRAM and NAND defaults. Fields without a default (page
// count, spare size, BCH, write-protect pin, blocks per chip, bootFlag and the
// reserved words behind offset 0) keep what they hold.
void SetConfigDefaults(DeviceSession& session);

// The plausibility rules of a record, in the order they are checked.
enum class ConfigRule {
  kExtClkRange,      // 12 <= extClk <= 27
  kPhmDivLimit,      // phmDiv <= 32
  kCpuClock,         // cpuMult x extClk is a multiple of 12
  kSdramFlags,       // sdramWidth <= 1 and sdramBanks <= 1
  kSmallPageSpare,   // page < 2048: spare <= 16 and pages per block <= 32 (signed)
  kLargePageSpare,   // page > 512: spare > 16 and pages per block >= 64 (signed)
};

struct ConfigRuleFailure {
  ConfigRule rule;
  std::string text;  // e.g. "extClk 11 is outside 12..27"
};

// Every rule the record breaks, in rule order; empty when it is acceptable.
std::vector<ConfigRuleFailure> FindConfigRuleFailures(const BootConfig& config);

bool CheckBootConfig(const DeviceSession& session);

// Check, then BulkWrite the 88 bytes, CommitConfig(1), ReadStatus; the board's
// answers are not examined. A failed check shows kTextCheckCfgFailed, sends nothing
// and returns kConfigNotSent; an exchange that fails at the host ends the sending
// with kConfigLinkLost.
int SendBootConfig(DeviceSession& session);

// Parses the file by the session's cpuModel and sends the record. A file that cannot
// be opened: kTextInitCfgFailed, 0. A file that ended early is sent as far as it was
// read. Models 1..3 are checked first (kTextCheckCfgFailed, 0); model 0 is sent
// unchecked; other models: kTextCpuIdVersionError, 0.
int Init_CFG(const std::filesystem::path& path, DeviceSession& session);

// The 2048-byte-page view of the chip. By the session's cpuModel: models 1..3 take the chip's
// geometry with pages of 2048 bytes; model 0 re-reads Korvex2K.cfg over the defaults.
// A failed send shows kTextConfigure2KFailed and returns 0. Models 1..3 need a chip
// geometry: with pageSize 0 the record is left alone and refused like a failed check.
int Configure2K(DeviceSession& session);

// The chip's real geometry. By the session's cpuModel: models 1..3 take it from the session;
// model 0 re-reads Korvex2K.cfg (2048-byte pages) or Korvex4K.cfg from the current
// directory. A failed send shows kTextConfigureRealFailed and returns 0. pageSize 0
// is refused as in Configure2K.
int ConfigureRealGeometry(DeviceSession& session);

// After the boot, by the session's cpuModel: models 1..3 were configured by the boot
// and get nothing; model 0 gets defaults plus Korvex2K.cfg (is2KPage set) or
// Korvex4K.cfg through Init_CFG. Other models: kTextCpuIdVersionError, -1.
int ConfigureAfterBoot(DeviceSession& session);

}  // namespace korvex
