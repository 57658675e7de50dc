#pragma once
// Bringing a board from its boot ROM up to the station's stage-2 firmware: stage 1
// (fw.bin) into on-chip memory, then stage 2 (korvex.bin) into SDRAM.

#include <cstdint>
#include <string_view>

#include "device/device_session.h"

namespace korvex {

inline constexpr int kBootOk = 1;
inline constexpr int kBootFailed = 0;
inline constexpr int kDownloadOk = 1;
inline constexpr int kDownloadFailed = -1;

// 1 when the board runs stage 2 and (models 1..3) holds its configuration record;
// 0 after any message otherwise.
int Boot(DeviceSession& session);

// Downloads and starts both stages from the current model folder; 1 or -1.
int DownloadStages(std::string_view stage1FileName, std::string_view stage2FileName,
                   DeviceSession& session);

}  // namespace korvex
