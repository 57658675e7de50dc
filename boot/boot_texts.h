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

// Two-stage boot. The download messages name fw.bin and korvex.bin whatever files
// were passed.
inline constexpr std::string_view kTextReadCpuModelFailed = "读取CPU型号失败";
inline constexpr std::string_view kTextBootFailed = "API_BootReg::Boot fail";
inline constexpr std::string_view kTextStage1CannotOpen = " fw Can not open file ";
inline constexpr std::string_view kTextStage1TooLarge = "Cache file is too large!";
inline constexpr std::string_view kTextStage1SetAddressFailed =
    "QX7120_USB_SET_DATA_ADDRESS fw.bin failed";
inline constexpr std::string_view kTextStage1StartFailed = "QX7120_USB_PROG_START1 fw.bin failed";
inline constexpr std::string_view kTextStage2CannotOpen = " korvex Can not open file ";
inline constexpr std::string_view kTextStage2SetAddressFailed = "START_ADDR failed";
inline constexpr std::string_view kTextStage2StartFailed = "download korvex.bin failed";
// Our own refusals: an image is only read once its size is known and fits the port's
// data buffer, which one bulk transfer cannot exceed.
inline constexpr std::string_view kTextStage1SizeUnknown = "Can not get the size of fw.bin!";
inline constexpr std::string_view kTextStage2SizeUnknown = "Can not get the size of korvex.bin!";
inline constexpr std::string_view kTextStage2TooLarge =
    "korvex.bin is larger than the 2 MiB data buffer!";

}  // namespace korvex
