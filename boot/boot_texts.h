#pragma once
// Operator-facing texts of the boot sequence, each quoted once so code and tests agree.
// Message boxes carry the station's caption, kMessageCaption (device/device_texts.h).

#include <string_view>

namespace korvex {

// Configuration file parser.
inline constexpr std::string_view kTextCannotOpenConfig = "Can not open configration file!";
inline constexpr std::string_view kTextConfigBad = "Korvex.cfg is bad!";
// A session whose cpuModel is outside 0..3.
inline constexpr std::string_view kTextCpuIdVersionError = "cpu id version error!";

// Configuration record.
inline constexpr std::string_view kTextCheckCfgFailed = "check cfg failed!";
inline constexpr std::string_view kTextInitCfgFailed = "Init_CFG failed!";
inline constexpr std::string_view kTextConfigure2KFailed = "API_Init 2K Configure fail!";
inline constexpr std::string_view kTextConfigureRealFailed = "Flash original Configure fail!";

}  // namespace korvex
