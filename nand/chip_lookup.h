#pragma once
// Identifying the board's NAND chip: read its ID, then find its row in nand_cfg.bin.

#include "device/device_session.h"

namespace korvex {

// Reads the chip's ID from the board, then LookupNandPartWithId. A failed ID read
// fails without a message of its own.
bool LookupNandPart(DeviceSession& session);

}  // namespace korvex
