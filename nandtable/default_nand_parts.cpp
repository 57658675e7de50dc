#include "nandtable/default_nand_parts.h"

#include <cstdint>

namespace korvex {

namespace {

constexpr std::uint32_t kKiB = 1024;

// Name references. A record cannot hold its part name, so word 15 holds
// kNameRefTag | (index of the name in kPartNames). The list is append-only: records
// written by any earlier build keep showing the same name. 0, which added records
// carry, and every value without the tag name nothing.
constexpr std::uint32_t kNameRefTag = 0x4E000000;  // 'N' in the top byte
constexpr std::uint32_t kNameRefTagMask = 0xFF000000;

// Every distinct built-in part name, in the order the rows first use them.
constexpr std::string_view kPartNames[] = {
    "Micr_MT29F32G08CBAAA",
    "SAMSUNG_K9G8G08U0M",
    "SAMSUNG_K9F1G08U0M",
    "SAMSUNG_K9GAG08U0M",
    "SAMSUNG_K9LBG08U0M",
    "SAMSUNG_K9HBG08U1M",
    "HYNIX_HY27UU08AG5M",
    "HY27UT088G2M",
    "SAMSUNG_K9G8G08U0A",
    "SAMSUNG_K9K8G08U0A",
    "SAMSUNG_K9G8G08U0B",
    "SAMSUNG_K9LAG08U0M",
    "SAMSUNG_**********",
    "SAMSUNG_K9LBG08U0D",
    "HYNIX_HY27UT088G2A",
    "HYNIX_HY27UF081G2M",
    "HYNIX_HY27UU08AG5A",
    "HYNIX_HY27UV08BG5A",
    "HYNIX_HY27UU088G5M",
    "Micr_MT29F16G08MAA",
    "Micr_MT29F32G08QAA",
    "Micr_MT29F64G08TAA",
    "INTEL_29F16G08AAMC1",
    "INTEL_29F32G08CAMC1",
    "INTEL_29F64G08FAMC1",
    "INTEL_29F32G08AAMDB",
    "HYNIX_HY27UT088G2M",
    "HYNIX_HY27UU088G5A",
    "HYNIX_HY27UV08AG5A",
    "HYNIX_HY27UV08BG5M",
    "HYNIX_HY27UT084G2M",
    "HYNIX_HY27UF081G2A",
    "HYNIX_HY27UH08AGDM",
    "HYNIX_HY27UH08AG5M",
    "HYNIX_HY27UH088GDM",
    "HYNIX_HY27UH088G2M",
    "HYNIX_HY27UG088G5M",
    "HYNIX_HY27UG088GDM",
    "HYNIX_HY27UF084G2M",
    "HYNIX_HY27UG084G2M",
    "HYNIX_HY27UG084GDM",
    "HYNIX_HY27UF082G2M",
    "HYNIX_HY27UAG8T2ATR",
    "SAMSUNG_K9L8G08U0M",
    "SAMSUNG_K9LAG08U0A",
    "SAMSUNG_K9HBG08U1A",
    "SAMSUNG_K9MCG08U5M",
    "SAMSUNG_K9HCG08U1M",
    "SAMSUNG_K9LAG08U1M",
    "SAMSUNG_K9K8G08U1M",
    "SAMSUNG_K9WAG08U1M",
    "SAMSUNG_K9W8G08U1M",
    "SAMSUNG_K9F8G08U0M",
    "SAMSUNG_K9NBG08U5M",
    "SAMSUNG_K9HAG08U1M",
    "SAMSUNG_K9GAG08U0D",
    "MICRON_MT29F8G08FACWP",
    "MICRON_MT29F8G08FABWP",
    "MICRON_MT29F8G08BAA",
    "MICRON_MT29F8G08DAA",
    "MICRON_MT29F16G08FAA",
    "MICRON_MT29F8G08AAA",
    "MICRON_MT29F16G08DAA",
    "MICRON_MT29F32G08FAA",
    "MICRON_MT29F8G08MAAWC",
    "MICRON_MT29F16G08QAAWC",
    "MICRON_MT29F32G08TAAWC",
    "MICRON_29F128G08CJAAA",
    "INTEL_29F16G08FANB1",
    "INTEL_29F08G08AAMB1",
    "INTEL_29F16G08CAMB1",
    "INTEL_29F32G08FAMB1",
    "INTEL_29F08G08AAMB2",
    "INTEL_29F16G08CAMB2",
    "INTEL_29F32G08FAMB2",
    "STMicro_NAND08GW3B2AN6",
    "STMicro_NAND08GW3C2AN1",
    "Intel_29F32G08AAMD2",
    "Intel_29F128G08FAMD2",
    "Spectek_FBNL63A513KPG",
    "HYNIX_H27UAG8T2MTR",
    "TOSHIBA_TC58NVG4D1DTG00",
};

struct BuiltInPart {
  std::string_view name;
  std::uint32_t mainId;
  std::uint32_t extId;  // 0: any ext ID of the main ID
  std::uint32_t pageSize;
  std::uint32_t blockSize;
  std::uint32_t spareSize;
  std::uint32_t rowCycles;
  std::uint32_t goodBlocks;
  std::uint32_t totalBlocks;
  // Words 2-8: the part's own data, carried into the file; the station never reads them.
  std::uint32_t word2;
  std::array<std::uint32_t, 6> words3To8;
};

// The known parts in table order. The order matters: the lookup takes the first exact
// row, so a row repeating an earlier row's keys is never chosen; such rows stay so that
// the list keeps showing every name a part has been sold under.
constexpr BuiltInPart kBuiltInParts[] = {
    {"Micr_MT29F32G08CBAAA", 0x2CD7, 0x843E94, 4096, 512 * kKiB, 218, 3, 7992, 8192,  // 0
     1, {10, 5, 10, 10, 100, 60}},
    {"SAMSUNG_K9G8G08U0M", 0xECD3, 0x642514, 2048, 256 * kKiB, 64, 3, 3996, 4096,  // 1
     2, {15, 5, 15, 15, 60, 60}},
    {"SAMSUNG_K9F1G08U0M", 0xECF1, 0, 2048, 128 * kKiB, 64, 3, 1004, 1024,  // 2
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9GAG08U0M", 0xECD5, 0x74B614, 4096, 512 * kKiB, 128, 3, 3996, 4096,  // 3
     1, {10, 5, 10, 10, 100, 60}},
    {"SAMSUNG_K9LBG08U0M", 0xECD7, 0, 4096, 512 * kKiB, 128, 3, 7992, 8192,  // 4
     1, {12, 5, 12, 12, 100, 60}},
    {"SAMSUNG_K9LBG08U0M", 0xECD7, 0x78B655, 4096, 512 * kKiB, 128, 3, 7992, 8192,  // 5
     1, {12, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9HBG08U1M", 0xECD5, 0x682555, 2048, 256 * kKiB, 64, 3, 7992, 8192,  // 6
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9HBG08U1M", 0xECD5, 0x1682555, 2048, 256 * kKiB, 64, 3, 15984, 16384,  // 7
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UU08AG5M", 0xADD3, 0x64A514, 2048, 256 * kKiB, 64, 3, 3996, 4096,  // 8
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UU08AG5M", 0xADD3, 0x164A514, 2048, 256 * kKiB, 64, 3, 7992, 8192,  // 9
     1, {15, 5, 15, 15, 100, 60}},
    {"HY27UT088G2M", 0xADD3, 0x64A514, 2048, 256 * kKiB, 64, 3, 3996, 4096,  // 10
     0x400002, {12, 5, 12, 12, 100, 80}},
    {"SAMSUNG_K9LBG08U0M", 0xECD7, 0x78B655, 4096, 512 * kKiB, 64, 3, 7992, 8192,  // 11
     1, {12, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9G8G08U0A", 0xECD3, 0x64A514, 2048, 256 * kKiB, 64, 3, 3996, 4096,  // 12
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9K8G08U0A", 0xECD3, 0x589551, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 13
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9G8G08U0B", 0xECD3, 0x64A514, 2048, 256 * kKiB, 64, 3, 3996, 4096,  // 14
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9LAG08U0M", 0xECD5, 0x682555, 2048, 256 * kKiB, 64, 3, 7992, 8192,  // 15
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_**********", 0xECD5, 0x68A555, 2048, 256 * kKiB, 64, 3, 7992, 8192,  // 16
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9LBG08U0M", 0xECD7, 0x78B655, 4096, 512 * kKiB, 128, 3, 7992, 8192,  // 17
     1, {12, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9LBG08U0D", 0xECD7, 0x3829D5, 4096, 512 * kKiB, 218, 3, 7992, 8192,  // 18
     1, {10, 5, 10, 10, 100, 60}},
    {"HYNIX_HY27UT088G2A", 0xADD3, 0x34A514, 2048, 256 * kKiB, 64, 3, 3996, 4096,  // 19
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UF081G2M", 0xADF1, 0x1500, 2048, 128 * kKiB, 64, 2, 1004, 1024,  // 20
     1, {5, 15, 25, 40, 60, 60}},
    {"HYNIX_HY27UU08AG5A", 0xADD3, 0x134A514, 2048, 256 * kKiB, 64, 3, 7992, 8192,  // 21
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UV08BG5A", 0xADD5, 0x138A555, 2048, 256 * kKiB, 64, 3, 15984, 16384,  // 22
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UU088G5M", 0xADDC, 0x1002584, 2048, 256 * kKiB, 64, 3, 3978, 4096,  // 23
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UU08AG5M", 0xADD3, 0x164A514, 2048, 256 * kKiB, 64, 3, 7992, 8192,  // 24
     1, {15, 5, 15, 15, 100, 60}},
    {"Micr_MT29F16G08MAA", 0x2CD3, 0x743E94, 4096, 512 * kKiB, 128, 3, 3936, 4096,  // 25
     1, {10, 5, 10, 10, 100, 60}},
    {"Micr_MT29F32G08QAA", 0x2CD5, 0x743E94, 4096, 512 * kKiB, 128, 3, 7872, 8192,  // 26
     1, {10, 5, 10, 10, 100, 60}},
    {"Micr_MT29F64G08TAA", 0x2CD5, 0x783ED5, 4096, 512 * kKiB, 128, 3, 15744, 16384,  // 27
     1, {10, 5, 10, 10, 100, 60}},
    {"INTEL_29F16G08AAMC1", 0x89D5, 0x743E94, 4096, 512 * kKiB, 128, 3, 3936, 4096,  // 28
     1, {10, 5, 10, 10, 100, 60}},
    {"INTEL_29F32G08CAMC1", 0x89D5, 0x1743E94, 4096, 512 * kKiB, 128, 3, 7872, 8192,  // 29
     1, {10, 5, 10, 10, 100, 60}},
    {"INTEL_29F64G08FAMC1", 0x89D7, 0x1783ED5, 4096, 512 * kKiB, 128, 3, 15744, 16384,  // 30
     1, {10, 5, 10, 10, 100, 60}},
    {"INTEL_29F32G08AAMDB", 0x8968, 0xA94604, 4096, 1024 * kKiB, 218, 3, 3936, 4096,  // 31
     1, {10, 5, 10, 10, 100, 60}},
    {"INTEL_29F32G08AAMDB", 0x2C68, 0xA94604, 4096, 1024 * kKiB, 218, 3, 3936, 4096,  // 32
     1, {10, 5, 10, 10, 100, 60}},
    {"INTEL_29F32G08AAMDB", 0x8948, 0xA54604, 4096, 1024 * kKiB, 218, 3, 3936, 4096,  // 33
     1, {10, 5, 10, 10, 100, 60}},
    {"HYNIX_HY27UT088G2A", 0xADD3, 0x34A514, 2048, 256 * kKiB, 64, 3, 3996, 4096,  // 34
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UT088G2M", 0xADD3, 0x64A514, 2048, 256 * kKiB, 64, 3, 3996, 4096,  // 35
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UU088G5A", 0xADDC, 0x1002584, 2048, 256 * kKiB, 64, 3, 3978, 4096,  // 36
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UV08AG5A", 0xADD3, 0x1002585, 2048, 256 * kKiB, 64, 3, 7956, 8192,  // 37
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UV08BG5M", 0xADD5, 0x138A555, 2048, 256 * kKiB, 64, 3, 15984, 16384,  // 38
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UT084G2M", 0xADDC, 0x2584, 2048, 256 * kKiB, 64, 3, 1989, 2048,  // 39
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UF081G2A", 0xADF1, 0x1D80, 2048, 128 * kKiB, 64, 2, 1004, 1024,  // 40
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UH08AGDM", 0xADD3, 0x10095C1, 2048, 128 * kKiB, 64, 3, 16064, 16384,  // 41
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UH08AG5M", 0xADD3, 0x10095C1, 2048, 128 * kKiB, 64, 3, 16064, 16384,  // 42
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UH088GDM", 0xADDC, 0x1500, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 43
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UH088G2M", 0xADD3, 0x1500, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 44
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UG088G5M", 0xADDC, 0x1009580, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 45
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UG088GDM", 0xADDC, 0x1009580, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 46
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UF084G2M", 0xADDC, 0x9580, 2048, 128 * kKiB, 64, 3, 4016, 4096,  // 47
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UG084G2M", 0xADDC, 0x1500, 2048, 128 * kKiB, 64, 3, 4016, 4096,  // 48
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UG084GDM", 0xADDA, 0x1500, 2048, 128 * kKiB, 64, 3, 4016, 4096,  // 49
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UF082G2M", 0xADDA, 0xAD1580, 2048, 128 * kKiB, 64, 3, 2008, 2048,  // 50
     1, {15, 5, 15, 15, 100, 60}},
    {"HYNIX_HY27UAG8T2ATR", 0xADD5, 0x442594, 4096, 512 * kKiB, 218, 3, 3996, 4096,  // 51
     1, {10, 5, 10, 10, 100, 60}},
    {"HYNIX_HY27UAG8T2ATR", 0xADD7, 0x749A94, 4096, 512 * kKiB, 218, 3, 3996, 4096,  // 52
     1, {10, 5, 10, 10, 100, 60}},
    {"SAMSUNG_K9L8G08U0M", 0xECD3, 0x582555, 2048, 256 * kKiB, 64, 3, 3996, 4096,  // 53
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9LAG08U0A", 0xECD5, 0x682555, 2048, 256 * kKiB, 64, 3, 7992, 8192,  // 54
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9HBG08U1A", 0xECD5, 0x1682555, 2048, 256 * kKiB, 64, 3, 15984, 16384,  // 55
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9MCG08U5M", 0xECD5, 0x3682555, 2048, 256 * kKiB, 64, 3, 31968, 32768,  // 56
     0x800002, {25, 10, 25, 25, 100, 60}},
    {"SAMSUNG_K9HCG08U1M", 0xECD7, 0x178B655, 4096, 512 * kKiB, 128, 3, 15984, 16384,  // 57
     1, {10, 5, 10, 10, 100, 60}},
    {"SAMSUNG_K9LAG08U1M", 0xECD3, 0x1642514, 2048, 256 * kKiB, 64, 3, 7992, 8192,  // 58
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9K8G08U1M", 0xECD3, 0x1009510, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 59
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9WAG08U1M", 0xECD3, 0x1589551, 2048, 128 * kKiB, 64, 3, 16064, 16384,  // 60
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9W8G08U1M", 0xECDC, 0x1001500, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 61
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9F8G08U0M", 0xECD3, 0x64A610, 4096, 256 * kKiB, 128, 3, 4016, 4096,  // 62
     1, {10, 5, 10, 10, 100, 60}},
    {"SAMSUNG_K9NBG08U5M", 0xECD3, 0x3589551, 2048, 128 * kKiB, 64, 3, 32128, 32768,  // 63
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9HAG08U1M", 0xECD3, 0x1642514, 2048, 256 * kKiB, 64, 3, 7992, 8192,  // 64
     1, {15, 5, 15, 15, 100, 60}},
    {"SAMSUNG_K9GAG08U0D", 0xECD5, 0x342994, 4096, 512 * kKiB, 218, 3, 3996, 4096,  // 65
     0x7FF7F1, {15, 5, 15, 15, 100, 60}},
    {"MICRON_MT29F8G08FACWP", 0x2CDC, 0x1001500, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 66
     1, {15, 5, 15, 15, 100, 60}},
    {"MICRON_MT29F8G08FABWP", 0x2CDC, 0x1001500, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 67
     1, {15, 5, 15, 15, 100, 60}},
    {"MICRON_MT29F8G08BAA", 0x2CD3, 0x5895D1, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 68
     1, {15, 5, 15, 15, 100, 60}},
    {"MICRON_MT29F8G08DAA", 0x2CDC, 0x1549590, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 69
     1, {15, 5, 15, 15, 100, 60}},
    {"MICRON_MT29F16G08FAA", 0x2CD3, 0x15895D1, 2048, 128 * kKiB, 64, 3, 16064, 16384,  // 70
     1, {15, 5, 15, 15, 100, 60}},
    {"MICRON_MT29F8G08AAA", 0x2CD3, 0x642E90, 4096, 256 * kKiB, 128, 3, 4016, 4096,  // 71
     1, {10, 5, 10, 10, 100, 60}},
    {"MICRON_MT29F16G08DAA", 0x2CD3, 0x1642E90, 4096, 256 * kKiB, 128, 3, 8032, 8192,  // 72
     1, {10, 5, 10, 10, 100, 60}},
    {"MICRON_MT29F32G08FAA", 0x2CD5, 0x1682ED1, 4096, 256 * kKiB, 128, 3, 16064, 16384,  // 73
     1, {10, 5, 10, 10, 100, 60}},
    {"MICRON_MT29F8G08MAAWC", 0x2CD3, 0x64A594, 2048, 256 * kKiB, 64, 3, 4016, 4096,  // 74
     1, {15, 5, 15, 15, 100, 60}},
    {"MICRON_MT29F16G08QAAWC", 0x2CD3, 0x164A594, 2048, 256 * kKiB, 64, 3, 8032, 8192,  // 75
     1, {15, 5, 15, 15, 100, 60}},
    {"MICRON_MT29F32G08TAAWC", 0x2CD5, 0x168A5D5, 2048, 256 * kKiB, 64, 3, 16064, 16384,  // 76
     1, {15, 5, 15, 15, 100, 60}},
    {"MICRON_29F128G08CJAAA", 0x2CD9, 0x883ED5, 4096, 512 * kKiB, 218, 3, 31968, 32768,  // 77
     1, {10, 5, 10, 10, 100, 60}},
    {"INTEL_29F16G08FANB1", 0x89D3, 0x15895D1, 2048, 128 * kKiB, 64, 3, 16064, 16384,  // 78
     1, {15, 5, 15, 15, 100, 60}},
    {"INTEL_29F08G08AAMB1", 0x89D3, 0x64A594, 2048, 256 * kKiB, 64, 3, 3936, 4096,  // 79
     1, {15, 5, 15, 15, 100, 60}},
    {"INTEL_29F16G08CAMB1", 0x89D3, 0x164A594, 2048, 256 * kKiB, 64, 3, 7872, 8192,  // 80
     1, {15, 5, 15, 15, 100, 60}},
    {"INTEL_29F32G08FAMB1", 0x89D5, 0x168A5D5, 2048, 256 * kKiB, 64, 3, 15744, 16384,  // 81
     1, {15, 5, 15, 15, 100, 60}},
    {"INTEL_29F08G08AAMB2", 0x89D3, 0x64A594, 2048, 256 * kKiB, 64, 3, 3936, 4096,  // 82
     1, {15, 5, 15, 15, 100, 60}},
    {"INTEL_29F16G08CAMB2", 0x89D3, 0x164A594, 2048, 256 * kKiB, 64, 3, 7872, 8192,  // 83
     1, {15, 5, 15, 15, 100, 60}},
    {"INTEL_29F32G08FAMB2", 0x89D5, 0x168A5D5, 2048, 256 * kKiB, 64, 3, 15744, 16384,  // 84
     1, {15, 5, 15, 15, 100, 60}},
    {"STMicro_NAND08GW3B2AN6", 0x20D3, 0x9581, 2048, 128 * kKiB, 64, 3, 8032, 8192,  // 85
     1, {15, 5, 15, 15, 100, 60}},
    {"STMicro_NAND08GW3C2AN1", 0x20D3, 0x6CA514, 2048, 256 * kKiB, 64, 3, 4016, 4096,  // 86
     1, {15, 5, 15, 15, 100, 60}},
    {"Intel_29F32G08AAMD2", 0x89D7, 0x843E94, 4096, 512 * kKiB, 218, 3, 7992, 8192,  // 87
     1, {10, 5, 10, 10, 100, 60}},
    {"Intel_29F128G08FAMD2", 0x89D7, 0x883ED5, 4096, 512 * kKiB, 218, 3, 31968, 32768,  // 88
     1, {10, 5, 10, 10, 100, 60}},
    {"Spectek_FBNL63A513KPG", 0xB5D7, 0x843E94, 4096, 512 * kKiB, 218, 3, 7992, 8192,  // 89
     1, {10, 5, 10, 10, 100, 60}},
    {"HYNIX_H27UAG8T2MTR", 0xADD5, 0x44B614, 4096, 512 * kKiB, 128, 3, 3996, 4096,  // 90
     1, {10, 5, 10, 10, 100, 60}},
    {"TOSHIBA_TC58NVG4D1DTG00", 0x98D5, 0x74BA94, 4096, 512 * kKiB, 218, 2, 3996, 4096,  // 91
     1, {10, 6, 15, 15, 30, 100}},
};

static_assert(std::size(kBuiltInParts) == kDefaultNandPartCount);

constexpr std::size_t NameIndex(std::string_view name) {
  for (std::size_t i = 0; i < std::size(kPartNames); ++i) {
    if (kPartNames[i] == name) return i;
  }
  return std::size(kPartNames);
}

constexpr bool EveryRowNamed() {
  for (const BuiltInPart& part : kBuiltInParts) {
    if (NameIndex(part.name) == std::size(kPartNames)) return false;
  }
  return true;
}
static_assert(EveryRowNamed(), "a row names a part missing from kPartNames");
static_assert(std::size(kPartNames) <= ~kNameRefTagMask + 1);

constexpr std::array<NandPartRecord, kDefaultNandPartCount> BuildDefaultParts() {
  std::array<NandPartRecord, kDefaultNandPartCount> records{};
  for (std::size_t i = 0; i < kDefaultNandPartCount; ++i) {
    const BuiltInPart& part = kBuiltInParts[i];
    auto& w = records[i].words;
    w[kWordMainId] = part.mainId;
    w[kWordExtId] = part.extId;
    w[2] = part.word2;
    for (std::size_t k = 0; k < part.words3To8.size(); ++k) w[3 + k] = part.words3To8[k];
    w[kWordPageSize] = part.pageSize;
    w[kWordBlockSize] = part.blockSize;
    w[kWordSpareSize] = part.spareSize;
    w[kWordRowCycles] = part.rowCycles;
    w[kWordGoodBlocks] = part.goodBlocks;
    w[kWordTotalBlocks] = part.totalBlocks;
    w[kWordNameRef] = kNameRefTag | static_cast<std::uint32_t>(NameIndex(part.name));
  }
  return records;
}

}  // namespace

constinit const std::array<NandPartRecord, kDefaultNandPartCount> kDefaultNandParts =
    BuildDefaultParts();

std::vector<std::uint8_t> DefaultNandTableBytes() {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(kDefaultNandTableSize);
  for (const NandPartRecord& record : kDefaultNandParts) {
    const NandPartBytes one = SerializeNandPart(record);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  return bytes;
}

std::optional<std::string_view> NandPartName(std::uint32_t nameRef) {
  if ((nameRef & kNameRefTagMask) != kNameRefTag) return std::nullopt;
  const std::uint32_t index = nameRef & ~kNameRefTagMask;
  if (index >= std::size(kPartNames)) return std::nullopt;
  return kPartNames[index];
}

}  // namespace korvex
