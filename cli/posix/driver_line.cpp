// This build has no USB boot driver: it runs on Windows only. Boards here are simulated.

#include "cli/station_line.h"

namespace korvex::cli {

std::string_view DeviceBackendText() {
  return "none on this platform: boards are simulated (--sim N); the USB boot driver is "
         "korvex.exe's and korvex-cli.exe's";
}

bool HasDeviceDriver() { return false; }

std::unique_ptr<StationLine> OpenDriverLine(const std::filesystem::path&, bool, std::string& error) {
  error = "this build has no USB boot driver; give --sim N for simulated boards";
  return nullptr;
}

}  // namespace korvex::cli
