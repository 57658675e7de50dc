#include "cli/console_texts.h"

#include <cstdio>
#include <cstdlib>

#include "app/station_settings_model.h"
#include "app/station_texts.h"
#include "boot/boot_texts.h"
#include "device/device_texts.h"
#include "nand/burn_texts.h"
#include "nandtable/nand_table_texts.h"
#include "tools/tools_texts.h"

namespace korvex::cli {

namespace {

struct Lead {
  std::string_view text;  // the station's text, or its start before a %
  std::string_view plain;
};

constexpr Lead kLeads[] = {
    {kTextOpenDeviceFailed, "the board's USB device could not be opened: plug the board in again"},
    {kTextDownloadFailed,
     "the board did not boot: check fw.bin and korvex.bin in the model folder and that the model "
     "(--model) is the board's, then plug the board in again"},
    {kTextChipUnknown, "the board's NAND chip is not in nand_cfg.bin: add it with `korvex nand-table add`"},
    {kTextNoImageIncluded, "no image is chosen: give --nand PATH or pick images with --advanced"},
    {kTextAllPathsEmpty, "no image is chosen: give --nand PATH or pick images with --advanced"},
    {kTextRealGeometryForEraseFailed,
     "the board refused the chip's geometry before the erase: plug the board in again"},
    {kTextImageConfigureFailed, "the board refused the geometry of nand.bin's view: plug the board in again"},
    {kTextPortBootFailed, "a board's USB device could not be opened when its port claimed it: plug it in again"},
    {kTextCantCreateWorker, "the station could not start a worker thread: close other programs and try again"},
    {kTextBadAddressRange, "the page range is empty: --to must be above --from"},
    {kTextNoLinkedDevice, "no board is linked on port 1: plug one in (or give --sim 1)"},
    {kTextChooseNandBin,
     "the file given to --nand must be named nand.bin (in normal mode the other images are found beside it by "
     "their names): rename the file or copy it as nand.bin"},
    {kTextCannotOpenConfig, "a configuration file of the model folder cannot be read: run `korvex check-config`"},
    {kTextConfigBad, "the model's configuration file is bad: `korvex check-config` shows why"},
    {kTextCpuIdVersionError, "the board's SoC is not the chosen model: choose the board's model with --model"},
    {kTextCheckCfgFailed, "the model's configuration file fails its checks: `korvex check-config` shows why"},
    {kTextInitCfgFailed, "the board refused the configuration: check the model folder with `korvex check-config`"},
    {kTextConfigure2KFailed, "the board refused the 2K configuration: plug the board in again"},
    {kTextConfigureRealFailed, "the board refused the chip's own configuration: plug the board in again"},
    {kTextReadCpuModelFailed, "the board's SoC model could not be read: plug the board in again"},
    {kTextBootFailed, "the board did not boot: plug it in again"},
    {kTextStage1CannotOpen, "fw.bin of the model folder cannot be read: put the vendor's fw.bin there"},
    {kTextStage1TooLarge, "fw.bin of the model folder is too large: put the vendor's fw.bin there"},
    {kTextStage1SetAddressFailed, "the board refused fw.bin's load address: plug the board in again"},
    {kTextStage1StartFailed, "the board did not start fw.bin: plug the board in again"},
    {kTextStage2CannotOpen, "korvex.bin of the model folder cannot be read: put the vendor's korvex.bin there"},
    {kTextStage2SetAddressFailed, "the board refused korvex.bin's load address: plug the board in again"},
    {kTextStage2StartFailed, "the board did not start korvex.bin: plug the board in again"},
    {kTextStage1SizeUnknown, "the size of fw.bin cannot be read: check the model folder"},
    {kTextStage2SizeUnknown, "the size of korvex.bin cannot be read: check the model folder"},
    {kTooManyDriversText, "the USB boot driver lists too many devices: remove stale device entries"},
    {kInvalidHandleText, "a board's device handle is no longer valid: plug the board in again"},
    {kTextTableCreateFailed, "nand_cfg.bin could not be created: make the home folder writable"},
    {kTextTableNotFound, "nand_cfg.bin is missing from the home folder"},
    {kTextTableReadFailed, "nand_cfg.bin cannot be read: it must be a readable file in the home folder"},
    {kTextTableMissing, "nand_cfg.bin is missing from the home folder"},
    {kTextTableListReadFailed, "nand_cfg.bin cannot be read: it must be a readable file in the home folder"},
    {kTextTableWriteFailed, "nand_cfg.bin could not be written: make it and the home folder writable"},
    {kTextOpenUidFailed, "the demo copy could not open the board's UID file on its drive"},
    {kTextReadUidFailed, "the demo copy could not read the board's UID file on its drive"},
    {kTextCantCreateCopyThread, "the demo copy could not start its thread"},
    {kTextCpuModelError, "the model is not one of 7120, 7130, 7135, 7105B"},
};

bool StartsLike(std::string_view text, std::string_view known) {
  const std::size_t cut = known.find('%');
  if (cut == std::string_view::npos) return text == known;
  return text.starts_with(known.substr(0, cut));
}

bool IsPlainAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// "Flash: ID=0x1234, ExtID=0x5. Use default para burning!": the keys, and the command
// that would add the chip.
std::string UnknownChipLead(std::string_view text) {
  unsigned mainId = 0, extId = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "Flash: ID=%x, ExtID=%x", &mainId, &extId) != 2) return {};
  char keys[96];
  std::snprintf(keys, sizeof keys, "%04X:%06X", mainId, extId);
  char command[160];
  std::snprintf(command, sizeof command, "korvex nand-table add --main %04X --ext %06X", mainId, extId);
  return std::string("the chip's IDs ") + keys + " are not in nand_cfg.bin, so no board with it is burned: add the chip "
         "with `" + command + " --page BYTES --block KIB --oob BYTES --blocks N` (its datasheet gives the sizes)";
}

}  // namespace

std::string PlainLead(std::string_view text) {
  if (StartsLike(text, kFormatUnknownChip)) return UnknownChipLead(text);
  for (const Lead& lead : kLeads) {
    if (StartsLike(text, lead.text)) return std::string(lead.plain);
  }
  return {};
}

std::string Explained(std::string_view text) {
  std::string lead = PlainLead(text);
  if (!lead.empty()) return lead + " (" + std::string(text) + ")";
  if (IsPlainAscii(text)) return std::string(text);
  return "the station reported a problem it has no plain words for (" + std::string(text) + ")";
}

}  // namespace korvex::cli
