#include "app/station_settings_model.h"

namespace korvex {

namespace {

void Add(std::array<int, 9>& ids, std::size_t& count, std::initializer_list<int> more) {
  for (const int id : more) ids[count++] = id;
}

}  // namespace

ControlLockDecision DecideControlLock(bool anyPortInUse, bool advancedMode) {
  ControlLockDecision d;
  if (anyPortInUse) {
    Add(d.disable, d.disableCount, {kIdModeSwitch, kIdCounter, kIdClear, kIdCpuModel, kIdNandTable});
    if (!advancedMode) Add(d.disable, d.disableCount, {kIdFormatAfterBurn, kIdNandOpen});
  } else {
    Add(d.enable, d.enableCount,
        {kIdModeSwitch, kIdFormatAfterBurn, kIdCounter, kIdClear, kIdCpuModel, kIdNandTable});
    if (!advancedMode) Add(d.enable, d.enableCount, {kIdNandOpen, kIdNandCheck, kIdNandPath});
  }
  return d;
}

bool ChooseNandBin(StationSettings& settings, std::string_view path, bool advancedMode) {
  constexpr std::string_view kName = "nand.bin";
  if (path.size() < kName.size() || path.substr(path.size() - kName.size()) != kName) {
    for (ImagePath& p : settings.imagePaths) p.Clear();
    return false;
  }
  settings.SetImage(kNandBin, path, true);
  if (advancedMode) return true;
  // Everything before the last eight characters, so "mynand.bin" gives the folder
  // plus "my" as the prefix of the other names.
  const std::string folder(path.substr(0, path.size() - kName.size()));
  for (const ImageId image : {kLoaderBin, kDefBootBin, kImgBootBin, kMiniosBin, kResBin}) {
    settings.SetImage(image, folder + std::string(kImageFileNames[image]), image != kDefBootBin);
  }
  return true;
}

}  // namespace korvex
