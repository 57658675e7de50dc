#pragma once
// Ids of the main window: its controls and its timers. The dialog template and the
// portable model both take them from here, so each number is written once.

#include <array>
#include <cstdint>

#include "station/port_context.h"

namespace korvex {

enum ControlId : int {
  // Image choices: include check box, path edit, "Open..." button per image.
  kIdNandCheck = 1000,
  kIdNandPath = 1001,
  kIdNandOpen = 1002,
  kIdLoaderCheck = 1003,
  kIdLoaderPath = 1004,
  kIdLoaderOpen = 1005,
  kIdDefBootCheck = 1006,
  kIdDefBootPath = 1007,
  kIdDefBootOpen = 1008,
  kIdImgBootCheck = 1009,
  kIdImgBootPath = 1010,
  kIdImgBootOpen = 1011,
  kIdMiniosCheck = 1012,
  kIdMiniosPath = 1013,
  kIdMiniosOpen = 1014,
  kIdResCheck = 1015,
  kIdResPath = 1016,
  kIdResOpen = 1017,

  kIdModeSwitch = 1018,
  kIdFormatAfterBurn = 1019,
  kIdDemoCheck = 1020,
  kIdDemoPath = 1021,
  kIdDemoOpen = 1030,
  kIdBanner = 1031,
  kIdCounter = 1042,
  kIdClear = 1043,
  kIdTestButton = 1050,    // hidden, no action
  kIdUpdateButton = 1051,  // hidden, no action
  kIdNandTable = 1056,
  kIdCpuModel = 1058,
  kIdCpuModelLabel = 1060,
  kIdDebug = 1061,
  kIdRead = 1064,          // hidden
  kIdProgressList = 1065,
  kIdFromPage = 1066,      // hidden
  kIdToPage = 1067,        // hidden
  kIdFileSystemFormat = 1070,  // hidden
  kIdEraseWholeChip = 1078,
  kIdFlashInfo = 1079,     // hidden
};

// The three controls of one image, indexed by ImageId (burn order, which is also
// the order of the ids on the dialog).
struct ImageControls {
  ControlId check;
  ControlId path;
  ControlId open;
};
inline constexpr std::array<ImageControls, kImageCount> kImageControls{{
    {kIdNandCheck, kIdNandPath, kIdNandOpen},
    {kIdLoaderCheck, kIdLoaderPath, kIdLoaderOpen},
    {kIdDefBootCheck, kIdDefBootPath, kIdDefBootOpen},
    {kIdImgBootCheck, kIdImgBootPath, kIdImgBootOpen},
    {kIdMiniosCheck, kIdMiniosPath, kIdMiniosOpen},
    {kIdResCheck, kIdResPath, kIdResOpen},
}};

// Timers of the main window. Scan and control lock arrive as the window's own timer
// messages; the idle and demo timers run callbacks of their own.
enum TimerId : int {
  kTimerScan = 0,
  kTimerControlLock = 3,
  kTimerIdle = 4,  // its callback does nothing
  kTimerDemo = 5,
};
// Stopping covers every id up to this one, the unused 1 and 2 included.
inline constexpr int kLastTimerId = kTimerDemo;

struct TimerSetting {
  TimerId id;
  std::uint32_t periodMs;
};
// Started in this order at start-up and again after the debug dialog.
inline constexpr std::array<TimerSetting, 4> kStationTimers{{
    {kTimerScan, 2000},
    {kTimerControlLock, 50},
    {kTimerIdle, 5000},
    {kTimerDemo, 3000},
}};

}  // namespace korvex
