#pragma once
// The SoC models the station can burn: the combo box's index, the folder beside the
// program that holds the model's boot files, and where its boot ROM starts stage 1.

#include <array>
#include <cstdint>
#include <string_view>

namespace korvex {

// cpuModel values, as the CPU model combo box numbers its items.
enum CpuModel : int {
  kModelQx7120 = 0,  // Qx7105\Qx7120: fixed clock/SDRAM defaults, NAND-only config file
  kModelQx7130 = 1,
  kModelQx7135 = 2,
  kModelQx7105B = 3,
};
inline constexpr int kCpuModelCount = 4;

struct CpuModelInfo {
  int index;
  std::string_view comboText;  // item of the CPU model combo box
  std::string_view folder;     // subfolder of the program folder holding its boot files
  std::uint32_t stage1Address; // where the boot ROM loads and starts fw.bin
};

inline constexpr std::array<CpuModelInfo, kCpuModelCount> kCpuModels{{
    {kModelQx7120, "Qx7105\\Qx7120", "7120", 0x80000000},
    {kModelQx7130, "Qx7130", "7130", 0x80002000},
    {kModelQx7135, "Qx7135", "7135", 0x80002000},
    {kModelQx7105B, "Qx7105B", "7105B", 0x80002000},
}};

inline constexpr int kDefaultCpuModel = kModelQx7135;

// The row of a model, or nullptr outside 0..3.
constexpr const CpuModelInfo* FindCpuModel(int model) {
  if (model < 0 || model >= kCpuModelCount) return nullptr;
  return &kCpuModels[static_cast<std::size_t>(model)];
}

// The row of a model index that was checked when it was parsed (0..3); anything else
// gives the default model's row rather than nothing.
constexpr const CpuModelInfo& ParsedModel(int model) {
  const CpuModelInfo* info = FindCpuModel(model);
  return info != nullptr ? *info : kCpuModels[kDefaultCpuModel];
}

}  // namespace korvex
