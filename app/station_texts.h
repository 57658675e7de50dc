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
// READ while port 0's context still belongs to a burn or an earlier read-back.
inline constexpr std::string_view kTextPortZeroBusy =
    "Port 1 is still busy with a burn or a read-back; try again when it has finished.";

// The main window.
inline constexpr std::string_view kTextAdvancedModeButton = "高级模式>>";  // shown in normal mode
inline constexpr std::string_view kTextNormalModeButton = "普通模式>>";    // shown in advanced mode
inline constexpr std::string_view kTextCpuModelError = "CPU 类型出错";
// A picked file whose path the settings would cut short: every board would fail.
inline constexpr std::string_view kTextImagePathTooLong =
    "The path of the chosen file is too long for the station (at most 1019 bytes for "
    "nand.bin, 1023 for the others). Move the images to a shorter folder.";
// File dialog filters in the "name|pattern||" form; the shell turns the bars into the
// platform's separators.
inline constexpr std::string_view kImageFileFilter = "BIN(*.BIN)|*.bin||";
// Passed as it stands: a name typed without an extension gets ".NULL".
inline constexpr std::string_view kImageDefaultExtension = "NULL";
inline constexpr std::string_view kDemoFileFilter = "rmvb(*.*)|*.*||";

// The progress list.
inline constexpr std::array<std::string_view, 8> kListColumnHeadings{
    "序号", "NAND ID", "NAND EXT ID", "进   度", "片数", "块数/坏块", "容量(MB)", "页大小(Byte)"};
inline constexpr std::string_view kListFontFace = "宋体";

}  // namespace korvex
