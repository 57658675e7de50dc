#include "boot/station_model.h"

#include <algorithm>

#include "host/paths.h"

namespace korvex {

std::optional<int> ParseModelName(std::string_view name) {
  // "7105b" names the same model as "7105B": an operator types what the box says.
  const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  for (const CpuModelInfo& info : kCpuModels) {
    if (std::ranges::equal(info.folder, name, {}, upper, upper)) return info.index;
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
