#include "boot/station_model.h"

#include "host/paths.h"

namespace korvex {

std::optional<int> ParseModelName(std::string_view name) {
  for (const CpuModelInfo& info : kCpuModels) {
    if (info.folder == name) return info.index;
  }
  return std::nullopt;
}

std::filesystem::path ModelFilePath(const DeviceSession& session, std::string_view fileName) {
  return ModelFilePath(session.host(), session.model, fileName);
}

std::filesystem::path ModelFilePath(Host& host, const CpuModelInfo& model,
                                    std::string_view fileName) {
  return ProgramDir(host) / PathFromUtf8(model.folder) / PathFromUtf8(fileName);
}

}  // namespace korvex
