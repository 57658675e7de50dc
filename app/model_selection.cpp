#include "app/model_selection.h"

namespace korvex {

std::atomic<int> g_cpuModel{kDefaultCpuModel};
std::atomic<const CpuModelInfo*> g_modelFolder{&kCpuModels[kDefaultCpuModel]};
std::atomic<std::uint32_t> g_stage1Address{kCpuModels[kDefaultCpuModel].stage1Address};

bool SelectCpuModel(int index) {
  g_cpuModel.store(index);
  const CpuModelInfo* info = FindCpuModel(index);
  if (info == nullptr) return false;
  g_modelFolder.store(info);
  g_stage1Address.store(info->stage1Address);
  return true;
}

void ClaimModel(DeviceSession& session) {
  session.cpuModel = g_cpuModel.load();
  session.model = *g_modelFolder.load();
  session.model.stage1Address = g_stage1Address.load();
}

}  // namespace korvex
