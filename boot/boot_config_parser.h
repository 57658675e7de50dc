#pragma once
// Reader of the boot configuration files Korvex2K.cfg and Korvex4K.cfg into the
// session's BootConfig. Two grammars: the full one ([PLL], [SDRAM], [NAND], [END])
// for models 1..3, and the NAND-only one ([NAND], [END]) for model 0, whose clock and
// SDRAM settings are fixed defaults. No value ranges are checked here;
// CheckBootConfig (boot/boot_record.h) judges the finished record.
//
// Lines are read the way a 100-byte fgets buffer reads them: at most 99 characters at
// a time, so a longer line arrives as several pieces, each handled as a line of its
// own. Everything from the first ';' is a comment. A marker ("[PLL]", ...) may stand
// anywhere in a line. A setting line names a key anywhere in it (the grammar's keys
// are tried in table order, the first found wins); the value is the first word after
// the line's first blank or tab, an unsigned 32-bit decimal number. Fields of 8 bits
// keep the low 8 bits.
//
// Lines that would act but are malformed are rejected: they change nothing and are
// reported as diagnostics (see ConfigDiagnosticKind), so `korvex check-config` can
// show them. The station's message boxes are shown as usual.

#include <filesystem>
#include <string>
#include <vector>

#include "device/device_session.h"

namespace korvex {

// Results of the three parsers.
inline constexpr int kParseOk = 1;           // [END] reached
inline constexpr int kParseCannotOpen = 0;   // the file cannot be opened
inline constexpr int kParseEndedEarly = -1;  // the file ended too early (or bad cpuModel)

// Longest piece one read delivers: a 100-byte line buffer less its terminating NUL.
inline constexpr std::size_t kConfigPieceLength = 99;

enum class ConfigDiagnosticKind {
  // Rejected setting lines: the line changes nothing.
  kLeadingBlank,        // begins with a blank or tab, so its first word would be the value
  kNotDecimal,          // value holds something other than decimal digits ("12MHz", "0x20")
  kOutOfRange,          // value does not fit in 32 bits
  kCpuSpeedWithoutClock,  // CPUSPEED while extClk is 0: nothing to divide by
  // Setting lines that change nothing by the grammar itself.
  kNoValue,             // key without a value behind it
  // Reading.
  kLongLine,            // longer than 99 characters: the rest is read as further lines
  // Whole file.
  kCannotOpen,
  kEndedEarly,          // the file ended before the marker that was looked for
  kBadCpuModel,         // session cpuModel outside 0..3
};

struct ConfigDiagnostic {
  ConfigDiagnosticKind kind;
  int line;          // physical line of the file, 1-based; 0 for the whole file
  std::string text;  // complete English sentence, "line 7: ..." when it has a line
};
using ConfigDiagnostics = std::vector<ConfigDiagnostic>;

// Chooses the grammar by session.cpuModel: 0 -> ParseNandConfig, 1..3 ->
// ParseFullConfig, anything else -> kTextCpuIdVersionError, kParseEndedEarly.
int ParseBootConfig(const std::filesystem::path& path, DeviceSession& session,
                    ConfigDiagnostics* diagnostics = nullptr);

// Full grammar. Cannot open: kTextCannotOpenConfig, 0. No [PLL] or no [SDRAM]:
// kTextConfigBad, -1. No [NAND] or no [END]: -1, silent. At [END] sets
// session.sdramBytes by SdramBytesFor(record, session.cpuModel). Whatever was read before
// an early end stays in the record.
int ParseFullConfig(const std::filesystem::path& path, DeviceSession& session,
                    ConfigDiagnostics* diagnostics = nullptr);
// The same with the station's model selection given instead of the session's.
int ParseFullConfig(const std::filesystem::path& path, DeviceSession& session,
                    int stationModel, ConfigDiagnostics* diagnostics);

// NAND-only grammar: lines before [NAND] are skipped. Every failure is silent: 0 when
// the file cannot be opened, -1 without [NAND] or [END]. sdramBytes is left alone.
int ParseNandConfig(const std::filesystem::path& path, DeviceSession& session,
                    ConfigDiagnostics* diagnostics = nullptr);

// SDRAM size the full grammar derives at [END]. Model 0: 2^(row + column) x
// (2 - sdramWidth) x (sdramBanks + 1) x 4, computed modulo 2^32 so that no field
// value can make it undefined; other models: 16 MiB.
std::uint32_t SdramBytesFor(const BootConfig& config, int stationModel);

}  // namespace korvex
