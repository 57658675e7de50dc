// The boot ROM and stage 1 of a virtual board: the two firmware states in front of
// stage 2. Each takes exactly one download, checked the way silicon would refuse a bad
// one: at its own address, of a size that fits, and only a simulator placeholder image
// (a real one could not run here) for the right stage and model.

#include <algorithm>
#include <span>

#include "sim/boot_rom.h"
#include "sim/placeholder_firmware.h"
#include "sim/virtual_board.h"

namespace korvex::sim {

bool VirtualBoard::BootRomRequest(std::uint32_t n, std::uint32_t argument, RequestBuffer& out) {
  switch (n) {
    case kGetCpuInfo: return GetRomIdentification(out);
    case kSetDataAddress:
      loadArmed_ = argument == BootModelOf(model_).stage1Address;
      loadAddress_ = argument;
      return loadArmed_;
    case kFlushCaches: return true;
    case kProgStart1: return StartStage1(argument);
    case kSystemReset: return Reset(argument);
    default: return false;
  }
}

bool VirtualBoard::Stage1Request(std::uint32_t n, std::uint32_t argument, RequestBuffer& out) {
  switch (n) {
    case kGetCpuInfo: return GetRomIdentification(out);
    case kSetDataAddress: return SetStage2Address(argument);
    case kFlushCaches: cachesFlushed_ = imageLoaded_; return true;
    case kProgStart2: return StartStage2(argument);
    case kSystemReset: return Reset(argument);
    default: return false;
  }
}

// Stage 1 runs inside the ROM's USB handler and answers with the ROM's text.
bool VirtualBoard::GetRomIdentification(RequestBuffer& out) {
  const std::string_view text = BootModelOf(model_).romText;
  out.fill(0);
  std::copy(text.begin(), text.end(), out.begin());
  return true;
}

// A download lands only where request 1 pointed and only when it fits: on-chip memory
// in the ROM, the SDRAM that stage 1 brought up in stage 1. A refused write leaves
// nothing loaded.
bool VirtualBoard::DownloadWrite(const std::uint8_t* data, std::uint32_t count) {
  imageLoaded_ = false;
  cachesFlushed_ = false;
  if (!loadArmed_) return false;
  if (stage_ == BoardStage::BootRom) {
    if (count > kBootRomMaxImage) return false;
    stage1Image_.assign(data, data + count);
  } else {
    if (loadAddress_ + std::uint64_t{count} > kSdramBase + sdramBytes_) return false;
    stage2Image_.assign(data, data + count);
  }
  imageLoaded_ = true;
  return true;
}

bool VirtualBoard::StartStage1(std::uint32_t address) {
  const BootModel& boot = BootModelOf(model_);
  if (!imageLoaded_ || address != boot.stage1Address ||
      !IsPlaceholderFirmware(stage1Image_, FirmwareStage::Stage1, model_)) {
    return false;
  }
  // The placeholder check guarantees the image holds the whole FirmwareArgs slot.
  sdramBytes_ = boot.stage1ReadsFirmwareArgs
                    ? SdramBytesFromFirmwareArgs(std::span<const std::uint8_t, kFirmwareArgsBytes>(
                          stage1Image_.data() + kPlaceholderArgsOffset, kFirmwareArgsBytes))
                    : kModel0SdramBytes;
  stage_ = BoardStage::Stage1;
  loadArmed_ = imageLoaded_ = cachesFlushed_ = false;
  return true;
}

// Stage 1 takes stage 2 only at the model's address, and only inside SDRAM it could
// bring up: with implausible FirmwareArgs there is no SDRAM and every address fails.
bool VirtualBoard::SetStage2Address(std::uint32_t address) {
  loadArmed_ = sdramBytes_ > 0 && address == BootModelOf(model_).stage2Address &&
               address < kSdramBase + sdramBytes_;
  loadAddress_ = address;
  return loadArmed_;
}

// The CPU sees the downloaded stage 2 only after the caches were flushed.
bool VirtualBoard::StartStage2(std::uint32_t address) {
  if (!imageLoaded_ || !cachesFlushed_ || address != loadAddress_ ||
      !IsPlaceholderFirmware(stage2Image_, FirmwareStage::Stage2, model_)) {
    return false;
  }
  stage_ = BoardStage::Stage2;
  loadArmed_ = imageLoaded_ = cachesFlushed_ = false;
  address_ = length_ = 0;
  pending_.clear();
  outgoing_.clear();
  outPos_ = 0;
  return true;
}

}  // namespace korvex::sim
