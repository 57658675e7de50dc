#pragma once
// Bringing a board from its boot ROM up to the station's stage-2 firmware: stage 1
// (fw.bin) into on-chip memory, then stage 2 (korvex.bin) into SDRAM.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "device/device_session.h"

namespace korvex {

inline constexpr int kBootOk = 1;
inline constexpr int kBootFailed = 0;
inline constexpr int kDownloadOk = 1;
inline constexpr int kDownloadFailed = -1;

// The boot ROM loads at most this much of stage 1 into on-chip memory.
inline constexpr std::uintmax_t kStage1MaxBytes = 16384;
// Stage 2 of model 0 always goes here; models 1..3 put it 7 MiB below the end of the
// SDRAM, which starts at 0x80000000: sdramBytes + kStage2BelowSdramEnd.
inline constexpr std::uint32_t kModel0Stage2Address = 0x81D00000;
inline constexpr std::uint32_t kStage2BelowSdramEnd = 0x7F900000;
// Models 1..3: where FirmwareArgs (record bytes 60..87) go in both images.
inline constexpr std::size_t kImageFirmwareArgsOffset = 8;

// Model 0: DownloadStages only (no identification of its own, no pause, no record).
// Models 1..3: parse Korvex2K.cfg, identify the board, download both stages unless it
// already runs stage 2, wait 500 ms and send the record (Init_CFG).
// 1 when the board runs stage 2 and (models 1..3) holds its configuration record;
// 0 after any message otherwise.
int Boot(DeviceSession& session);

// Downloads and starts both stages from the current model folder; 1 or -1 after a
// message. Images are measured before they are read: a stage 2 larger than the data
// buffer, or a file whose size cannot be learnt, is refused without reading it.
int DownloadStages(std::string_view stage1FileName, std::string_view stage2FileName,
                   DeviceSession& session);

}  // namespace korvex
