#include "cli/station_line.h"

#include <iostream>

namespace korvex::cli {

namespace {

class SimStationLine : public StationLine {
 public:
  explicit SimStationLine(std::unique_ptr<sim::SimHost> host) : host_(std::move(host)) {}

  Host& GetHost() override { return *host_; }
  sim::SimHost* Simulated() override { return host_.get(); }
  void SetMessageBoxHandler(MessageBoxHandler handler) override { host_->SetMessageBoxHandler(std::move(handler)); }
  void SetWindowProcedure(WindowProcedure procedure) override { host_->SetWindowProcedure(std::move(procedure)); }
  void SetDeviceChangeHandler(DeviceChangeHandler handler) override {
    host_->SetDeviceChangeHandler(std::move(handler));
  }
  void EndWorkers(bool workersEnded) override {
    if (!workersEnded) {
      // Unplugging wakes every worker still waiting on a (hung) board, so all of them end.
      for (int port = 0; port < host_->UsbPortCount(); ++port) host_->Unplug(port);
    }
    host_->JoinThreads();
  }

 private:
  std::unique_ptr<sim::SimHost> host_;
};

}  // namespace

std::unique_ptr<StationLine> OpenSimulatedLine(const LineSetup& setup, const std::filesystem::path& home,
                                               bool plugNow) {
  auto host = MakeLineHost(setup, home, plugNow);
  if (!host) return nullptr;
  return std::make_unique<SimStationLine>(std::move(host));
}

std::unique_ptr<StationLine> OpenStationLine(const LineSetup& setup, const std::filesystem::path& home,
                                             bool simulated, bool plugNow) {
  if (simulated || !HasDeviceDriver()) return OpenSimulatedLine(setup, home, plugNow);
  std::string error;
  auto line = OpenDriverLine(home, true, error);
  if (!line) std::cerr << "korvex: " << error << "\n";
  return line;
}

}  // namespace korvex::cli
