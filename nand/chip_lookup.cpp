#include "nand/chip_lookup.h"

#include "nand/nand_ops.h"
#include "nandtable/nand_cfg.h"

namespace korvex {

bool LookupNandPart(DeviceSession& session) {
  std::uint16_t mainId = 0;
  std::uint32_t extId = 0;
  // A read that delivers no ID leaves both keys at 0; the lookup then names them.
  if (ReadNandId(session, mainId, extId) != kNandOpOk) return false;
  session.chipMainId = mainId;
  session.chipExtId = extId;
  return LookupNandPartWithId(session, mainId, extId);
}

}  // namespace korvex
