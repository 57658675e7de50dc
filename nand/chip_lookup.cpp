#include "nand/chip_lookup.h"

#include "nand/nand_ops.h"
#include "nandtable/nand_cfg.h"

namespace korvex {

ChipLookup LookupNandPart(DeviceSession& session) {
  std::uint16_t mainId = 0;
  std::uint32_t extId = 0;
  switch (ReadNandId(session, mainId, extId).status) {
    case NandStatus::kOk: break;
    case NandStatus::kLinkLost: return ChipLookup::kLinkLost;
    case NandStatus::kBoardFailed:
    case NandStatus::kRefused: return ChipLookup::kNotFound;
  }
  session.chipMainId = mainId;
  session.chipExtId = extId;
  return LookupNandPartWithId(session, mainId, extId) ? ChipLookup::kFound : ChipLookup::kNotFound;
}

}  // namespace korvex
