#pragma once
// The station's pre-flight: everything a burn will need, checked before the first
// scan claims a board, so a wrong home folder or image is one clear line each
// instead of the same failure on every board, and nothing is written meanwhile.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "host/host.h"
#include "station/port_context.h"

namespace korvex::cli {

struct PreflightInput {
  std::filesystem::path home;
  int model = 2;
  std::array<std::string, kImageCount> paths;  // by ImageId; UTF-8
  std::array<bool, kImageCount> included{};
  bool normalMode = true;  // the images other than nand.bin come from nand.bin's folder
  // The page size of the chip being simulated, and how to name that chip; without one
  // the zones are measured in the smallest page the station supports.
  std::optional<std::uint32_t> chipPageBytes;
  std::string chipName;
  std::optional<std::string> demoFile;  // --demo's file; UTF-8
};

struct PreflightReport {
  std::vector<std::string> problems;  // one line each; empty when all is well
  std::array<std::uint64_t, kImageCount> imageBytes{};
  std::filesystem::path logPath;  // this month's production log
  std::string pageNote;           // the page sizes the zones were measured in, and why
};

// host serves the check of the configuration files and the clock of the log's name.
PreflightReport RunPreflight(const PreflightInput& input, Host& host);

// Pages an image of `bytes` takes in its zone. A file that ends on a page boundary
// gets one more, zero-filled, page unless it is a whole number of blocks; this
// counts that page always, so the check never passes an image the burn refuses.
std::uint64_t ZonePagesNeeded(std::uint64_t bytes, std::uint32_t pageBytes);

}  // namespace korvex::cli
