#include "boot/boot_config.h"

#include "device/byte_order.h"

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

}  // namespace korvex
