#pragma once
// `korvex check-config`: reads a model's configuration file the way a board's
// configuration would, and reports everything an engineer needs to trust it: the
// parse result, every line the reader rejected, the messages the station would show,
// each field of the record, the 88 bytes on the wire, the SDRAM size and the check.
// Nothing is sent anywhere.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "protocol/boot_config.h"
#include "boot/boot_config_parser.h"
#include "boot/boot_record.h"
#include "boot/station_model.h"
#include "host/host.h"

namespace korvex {

struct CheckConfigResult {
  int model = 0;
  std::filesystem::path path;
  int parseResult = kParseCannotOpen;
  ConfigDiagnostics diagnostics;
  std::vector<std::string> messages;  // message boxes the station would show
  BootConfig config;                  // as the parse left it
  std::uint32_t sdramBytes = 0;       // 0 when the grammar does not set it (model 0)
  std::vector<ConfigRuleFailure> ruleFailures;

  // The file reached [END], no line was rejected or ignored, and the record passes
  // every check.
  bool Passed() const;
};

// Parses path as a port of the given model would: model 0 over the fixed defaults
// with the NAND-only grammar, models 1..3 from an all-zero record with the full one
// (the SDRAM size as if that model were the station's selection). host gives the
// program folder only; message boxes are collected, not shown.
CheckConfigResult RunCheckConfig(Host& host, int model, const std::filesystem::path& path);
// The same for the model's own Korvex2K.cfg in its folder beside the program.
CheckConfigResult RunCheckConfig(Host& host, const CpuModelInfo& model);

// Plain-text report, one item per line, starting with "verdict: PASS" or "verdict: FAIL".
std::string FormatCheckConfigReport(const CheckConfigResult& result);

}  // namespace korvex
