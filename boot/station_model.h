#pragma once
// The model folders beside the program and the boot files each one holds. Which
// model a board is burned as travels in its session (DeviceSession::model).

#include <filesystem>
#include <optional>
#include <string_view>

#include "device/cpu_model.h"
#include "device/device_session.h"
#include "host/host.h"

namespace korvex {

// Files kept in each model folder.
inline constexpr std::string_view kStage1FileName = "fw.bin";
inline constexpr std::string_view kStage2FileName = "korvex.bin";
inline constexpr std::string_view kConfig2KFileName = "Korvex2K.cfg";  // 2048-byte pages
inline constexpr std::string_view kConfig4KFileName = "Korvex4K.cfg";  // 4096-byte pages

// "7120", "7130", "7135" or "7105B" (the folder names, as the command line takes
// them) to the model index; nullopt for anything else.
std::optional<int> ParseModelName(std::string_view name);

// Program folder / the session's model folder / fileName. Each call builds its own path.
std::filesystem::path ModelFilePath(const DeviceSession& session, std::string_view fileName);
// The same for a given model's folder.
std::filesystem::path ModelFilePath(Host& host, const CpuModelInfo& model,
                                    std::string_view fileName);

}  // namespace korvex
