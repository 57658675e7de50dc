#include "boot/station_model.h"

#include "host/paths.h"

namespace korvex {

std::atomic<int> g_cpuModel{kDefaultCpuModel};
std::atomic<const CpuModelInfo*> g_modelFolder{&kCpuModels[kDefaultCpuModel]};
std::atomic<std::uint32_t> g_stage1Address{kCpuModels[kDefaultCpuModel].stage1Address};

const CpuModelInfo* FindCpuModel(int model) {
  if (model < 0 || model >= kCpuModelCount) return nullptr;
  return &kCpuModels[static_cast<std::size_t>(model)];
}

bool SelectCpuModel(int index) {
  g_cpuModel.store(index);
  const CpuModelInfo* info = FindCpuModel(index);
  if (info == nullptr) return false;
  g_modelFolder.store(info);
  g_stage1Address.store(info->stage1Address);
  return true;
}

std::optional<int> ParseModelName(std::string_view name) {
  for (const CpuModelInfo& info : kCpuModels) {
    if (info.folder == name) return info.index;
  }
  return std::nullopt;
}

std::filesystem::path ModelFilePath(Host& host, std::string_view fileName) {
  return ModelFilePath(host, *g_modelFolder.load(), fileName);
}

std::filesystem::path ModelFilePath(Host& host, const CpuModelInfo& model,
                                    std::string_view fileName) {
  return ProgramDir(host) / PathFromUtf8(model.folder) / PathFromUtf8(fileName);
}

}  // namespace korvex
