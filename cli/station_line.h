#pragma once
// The boards a console command works on: simulated ones (--sim) or, where this build
// has it, the USB boot driver. The commands see one host either way; what only a
// simulated line has (its scripted events, traces, NAND dumps) comes through
// Simulated().

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/sim_options.h"
#include "host/device_change.h"
#include "host/host.h"
#include "sim/sim_host.h"

namespace korvex::cli {

class StationLine {
 public:
  using MessageBoxHandler = std::function<MessageAnswer(const MessageBoxRequest&)>;
  using WindowProcedure = sim::SimHost::WindowProcedure;

  virtual ~StationLine() = default;

  virtual Host& GetHost() = 0;
  // The simulated line behind the host; nullptr on the USB boot driver.
  virtual sim::SimHost* Simulated() = 0;
  // The console answers message boxes itself and is the workers' main window.
  virtual void SetMessageBoxHandler(MessageBoxHandler handler) = 0;
  virtual void SetWindowProcedure(WindowProcedure procedure) = 0;
  // Interface arrivals and removals, from now on.
  virtual void SetDeviceChangeHandler(DeviceChangeHandler handler) = 0;
  // The last step of a run: workers that did not end when asked (workersEnded false)
  // are woken where the line can (simulated boards are pulled), and every worker
  // thread that can be waited for is.
  virtual void EndWorkers(bool workersEnded) = 0;
};

// The simulated line of the setup; nullptr after a usage message for boards the
// simulator cannot build. With plugNow false the ports start empty.
std::unique_ptr<StationLine> OpenSimulatedLine(const LineSetup& setup, const std::filesystem::path& home,
                                               bool plugNow = true);

// --- The device backend of this build (cli/posix/, cli/win32/) ---

// What --version says reaches the boards.
std::string_view DeviceBackendText();
bool HasDeviceDriver();
// The USB boot driver, with home as the station's folder. exclusive: the one station
// on this PC, window or console, that drives the driver; nullptr with error set when
// another holds it, or when this build has no driver.
std::unique_ptr<StationLine> OpenDriverLine(const std::filesystem::path& home, bool exclusive,
                                            std::string& error);

// --simulated boards, or the driver where there is one, or no board at all (an empty
// simulated line). nullptr after a message on stderr.
std::unique_ptr<StationLine> OpenStationLine(const LineSetup& setup, const std::filesystem::path& home,
                                             bool simulated, bool plugNow = true);

}  // namespace korvex::cli
