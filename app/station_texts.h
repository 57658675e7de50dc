#pragma once
// Texts of the production console, each defined once.

#include <array>
#include <string_view>

namespace korvex {

// Row labels by image index; each keeps its trailing blank before the percentage.
inline constexpr std::array<std::string_view, 6> kImageLabels{
    "nand.bin ", "loader.bin ", "def_boot.bin ", "img_boot.bin ", "minios.bin ", "res.bin "};
// Labels chosen by the message type itself; entries 0 and 2 are never selected.
inline constexpr std::array<std::string_view, 4> kProgressTypeLabels{"烧录进度", "读取进度", "",
                                                                     "BOOT.."};
inline constexpr std::string_view kTextFormatting = "格式化中...";

inline constexpr std::string_view kApplicationTitle = "Korvex";
inline constexpr std::string_view kTextPortBootFailed = "Port %d Boot Failed!";
inline constexpr std::string_view kTextCantCreateWorker = "Can't Create ThreadFunc0!!";
inline constexpr std::string_view kTextBadAddressRange = "地址设置有误";
inline constexpr std::string_view kTextNoLinkedDevice = "No Linked Device Find!";

}  // namespace korvex
