#include "protocol/boot_config.h"

#include "protocol/byte_order.h"

namespace korvex {

BootConfigBytes SerializeBootConfig(const BootConfig& c) {
  BootConfigBytes b{};
  PutLe32(b, 0, c.reserved0);
  PutLe32(b, 4, c.nandBusWidth);
  PutLe32(b, 8, c.nandRowCycles);
  PutLe32(b, 12, c.nandPageSize);
  PutLe32(b, 16, c.nandPagesPerBlock);
  PutLe32(b, 20, c.nandForceErase);
  PutLe32(b, 24, c.nandPageNumber);
  PutLe32(b, 28, c.nandOobSize);
  PutLe32(b, 32, c.nandEccPos);
  PutLe32(b, 36, c.nandBadBlockPage);
  PutLe32(b, 40, c.nandBadBlockPos);
  PutLe32(b, 44, c.reserved44);
  PutLe32(b, 48, c.nandBchBits);
  PutLe32(b, 52, c.nandWpPin);
  PutLe32(b, 56, c.nandBlocksPerChip);
  PutLe32(b, 60, c.cpuId);
  b[64] = c.extClk;
  b[65] = c.cpuMult;
  b[66] = c.phmDiv;
  b[67] = c.useUart;
  PutLe32(b, 68, c.baudRate);
  b[72] = c.sdramWidth;
  b[73] = c.sdramBanks;
  b[74] = c.sdramRowAddr;
  b[75] = c.sdramColAddr;
  b[76] = c.sdramIsMobile;
  b[77] = c.sdramIsBusShare;
  b[78] = c.bootFlag;
  b[79] = c.reserved79;
  PutLe32(b, 80, c.reserved80);
  PutLe32(b, 84, c.reserved84);
  return b;
}

std::vector<BootConfigFieldValue> ListBootConfigFields(const BootConfig& c) {
  return {
      {"reserved0", 0, 4, c.reserved0},
      {"nandBusWidth", 4, 4, c.nandBusWidth},
      {"nandRowCycles", 8, 4, c.nandRowCycles},
      {"nandPageSize", 12, 4, c.nandPageSize},
      {"nandPagesPerBlock", 16, 4, c.nandPagesPerBlock},
      {"nandForceErase", 20, 4, c.nandForceErase},
      {"nandPageNumber", 24, 4, c.nandPageNumber},
      {"nandOobSize", 28, 4, c.nandOobSize},
      {"nandEccPos", 32, 4, c.nandEccPos},
      {"nandBadBlockPage", 36, 4, c.nandBadBlockPage},
      {"nandBadBlockPos", 40, 4, c.nandBadBlockPos},
      {"reserved44", 44, 4, c.reserved44},
      {"nandBchBits", 48, 4, c.nandBchBits},
      {"nandWpPin", 52, 4, c.nandWpPin},
      {"nandBlocksPerChip", 56, 4, c.nandBlocksPerChip},
      {"cpuId", 60, 4, c.cpuId},
      {"extClk", 64, 1, c.extClk},
      {"cpuMult", 65, 1, c.cpuMult},
      {"phmDiv", 66, 1, c.phmDiv},
      {"useUart", 67, 1, c.useUart},
      {"baudRate", 68, 4, c.baudRate},
      {"sdramWidth", 72, 1, c.sdramWidth},
      {"sdramBanks", 73, 1, c.sdramBanks},
      {"sdramRowAddr", 74, 1, c.sdramRowAddr},
      {"sdramColAddr", 75, 1, c.sdramColAddr},
      {"sdramIsMobile", 76, 1, c.sdramIsMobile},
      {"sdramIsBusShare", 77, 1, c.sdramIsBusShare},
      {"bootFlag", 78, 1, c.bootFlag},
      {"reserved79", 79, 1, c.reserved79},
      {"reserved80", 80, 4, c.reserved80},
      {"reserved84", 84, 4, c.reserved84},
  };
}

}  // namespace korvex
