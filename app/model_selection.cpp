#include "app/model_selection.h"

#include <atomic>

namespace korvex {
namespace {

std::atomic<std::shared_ptr<const ModelSelection>> g_selection{std::make_shared<const ModelSelection>()};

}  // namespace

std::shared_ptr<const ModelSelection> CurrentModelSelection() { return g_selection.load(); }

bool SelectCpuModel(int index) {
  const CpuModelInfo* info = FindCpuModel(index);
  const std::shared_ptr<const ModelSelection> current = g_selection.load();
  g_selection.store(std::make_shared<const ModelSelection>(
      ModelSelection{index, info != nullptr ? *info : current->model}));
  return info != nullptr;
}

void ClaimModel(DeviceSession& session) {
  const std::shared_ptr<const ModelSelection> selection = g_selection.load();
  session.cpuModel = selection->cpuModel;
  session.model = selection->model;
}

}  // namespace korvex
