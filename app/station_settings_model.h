#pragma once
// The window's decisions that the console shares: which images a nand.bin choice
// brings along, and which settings controls lock while boards are attached.

#include <array>
#include <string_view>

#include "app/control_ids.h"
#include "app/port_scheduler.h"

namespace korvex {

struct ControlLockDecision {
  std::array<int, 9> enable{};
  std::size_t enableCount = 0;
  std::array<int, 9> disable{};
  std::size_t disableCount = 0;
};

// Timer 3: while any port is in use the mode switch, the counter, Clear, the CPU model
// and the table button are disabled (in normal mode also the format option and the
// nand.bin chooser); when idle they come back. Other image controls stay as the mode
// switch left them.
ControlLockDecision DecideControlLock(bool anyPortInUse, bool advancedMode);

// The nand.bin chooser. The path must end in exactly "nand.bin" (case-sensitive);
// otherwise every image path is cleared and false is returned (the caller shows
// kTextChooseNandBin). In normal mode the other five paths come from the same folder
// and every image but def_boot.bin is included; in advanced mode only nand.bin is.
bool ChooseNandBin(StationSettings& settings, std::string_view path, bool advancedMode);

inline constexpr std::string_view kTextChooseNandBin = "请选择文件nand.bin!";

}  // namespace korvex
