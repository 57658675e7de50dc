#pragma once
// The SoC models a simulated board can be, and the folder each one's boot files live
// in beside the program. The simulator's own copy of the names: it checks the station's
// model folders instead of reading the station's table of them.

#include <array>
#include <optional>
#include <string_view>

namespace korvex::sim {

// The model numbers the station's CPU model combo box uses.
inline constexpr int kSimModelQx7120 = 0;  // Qx7105\Qx7120
inline constexpr int kSimModelCount = 4;

// The folder of model 0..3: "7120", "7130", "7135", "7105B".
inline constexpr std::array<std::string_view, kSimModelCount> kSimModelFolders{"7120", "7130", "7135", "7105B"};

// The files each model folder holds.
inline constexpr std::string_view kSimStage1File = "fw.bin";
inline constexpr std::string_view kSimStage2File = "korvex.bin";
inline constexpr std::string_view kSimConfig2KFile = "Korvex2K.cfg";
inline constexpr std::string_view kSimConfig4KFile = "Korvex4K.cfg";

// The model whose folder is `name`; nullopt for any other text.
constexpr std::optional<int> SimModelOfFolder(std::string_view name) {
  for (int model = 0; model < kSimModelCount; ++model) {
    if (kSimModelFolders[static_cast<std::size_t>(model)] == name) return model;
  }
  return std::nullopt;
}

// The folder of a model, or empty outside 0..3.
constexpr std::string_view SimModelFolder(int model) {
  return model >= 0 && model < kSimModelCount ? kSimModelFolders[static_cast<std::size_t>(model)]
                                              : std::string_view();
}

}  // namespace korvex::sim
