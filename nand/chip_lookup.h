#pragma once
// Identifying the board's NAND chip: read its ID, then find its row in nand_cfg.bin.

#include "device/device_session.h"

namespace korvex {

enum class ChipLookup {
  kFound,     // the session holds the chip's keys and geometry
  kNotFound,  // not in the table (its message shown), or the model cannot read IDs
  kLinkLost,  // the ID read failed at the host: no message, the board is gone
};

// Reads the chip's ID from the board, then LookupNandPartWithId.
ChipLookup LookupNandPart(DeviceSession& session);

}  // namespace korvex
