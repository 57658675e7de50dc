#pragma once
// Paths in the core are UTF-8 texts; these turn them into filesystem paths and back
// without going through the platform's narrow code page.

#include <filesystem>
#include <string>
#include <string_view>

#include "host/host.h"

namespace korvex {

inline std::filesystem::path PathFromUtf8(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string PathToUtf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The folder of the running program: the table file, the model folders and the
// monthly logs live there.
inline std::filesystem::path ProgramDir(Host& host) {
  return PathFromUtf8(host.ModuleFileName()).parent_path();
}

}  // namespace korvex
