#pragma once
// The station's model selection: which SoC model the operator picked, and the model
// folder beside the program that its boot files come from.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "host/host.h"

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

// Files kept in each model folder.
inline constexpr std::string_view kStage1FileName = "fw.bin";
inline constexpr std::string_view kStage2FileName = "korvex.bin";
inline constexpr std::string_view kConfig2KFileName = "Korvex2K.cfg";  // 2048-byte pages
inline constexpr std::string_view kConfig4KFileName = "Korvex4K.cfg";  // 4096-byte pages

// The current selection. g_cpuModel holds the combo's index as reported, even one
// outside 0..3; g_modelFolder names the folder and g_stage1Address the stage-1 load
// address of the last valid selection, so a bad index never sends file reads to a
// folder that does not exist. All are read by workers without a lock; the window only
// changes them while no port is busy.
extern std::atomic<int> g_cpuModel;
extern std::atomic<const CpuModelInfo*> g_modelFolder;
extern std::atomic<std::uint32_t> g_stage1Address;

// The row of a model, or nullptr outside 0..3.
const CpuModelInfo* FindCpuModel(int model);

// The combo box's selection change: g_cpuModel := index; for 0..3 the folder and the
// stage-1 address follow.
// Returns false for an index outside 0..3 (the caller shows its message).
bool SelectCpuModel(int index);

// "7120", "7130", "7135" or "7105B" (the folder names, as the command line takes
// them) to the model index; nullopt for anything else.
std::optional<int> ParseModelName(std::string_view name);

// Program folder / current model folder / fileName. Each call builds its own path.
std::filesystem::path ModelFilePath(Host& host, std::string_view fileName);
// The same for a given model's folder, whatever the current selection.
std::filesystem::path ModelFilePath(Host& host, const CpuModelInfo& model,
                                    std::string_view fileName);

}  // namespace korvex
