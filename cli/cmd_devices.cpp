// korvex devices [--sim N]: the driver's interface instances and the port each linked
// device holds, as the station's first scan sees them.

#include <iostream>
#include <memory>

#include "cli/cli_args.h"
#include "cli/command_help.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/station_line.h"
#include "device/device_discovery.h"
#include "sim/sim_host.h"
#include "sim/sim_options.h"

namespace korvex::cli {

namespace {

constexpr int kMaxSimBoards = 128;

// The driver's instances fill the entries from the first; an index of 0 ends them.
std::size_t CountInstances(const DeviceTables& tables) {
  std::size_t count = 0;
  while (count < tables.entries.size() && tables.entries[count].index != 0) ++count;
  return count;
}

void PrintText(const DeviceTables& tables, std::size_t instanceCount, bool simulated) {
  std::cout << "driver instances: " << instanceCount
            << (simulated ? " (simulated driver)" : "") << "\n";
  for (std::size_t i = 0; i < instanceCount; ++i) {
    const DeviceKeyEntry& entry = tables.entries[i];
    std::cout << "  #" << entry.index << (entry.linked ? "  linked    " : "  unlinked  ")
              << (entry.symbolicLink.Empty() ? "(no symbolic link)" : entry.symbolicLink.View())
              << "\n";
  }
  std::cout << "ports:\n";
  for (std::size_t port = 0; port < tables.linkedDevices.size(); ++port) {
    const LinkedDevice& device = tables.linkedDevices[port];
    std::cout << "  port " << port + 1 << "  ";
    if (device.linked) {
      std::cout << "instance #" << device.regIndex << "  " << device.symbolicLink.View() << "\n";
    } else {
      std::cout << "free\n";
    }
  }
}

void PrintJson(const DeviceTables& tables, std::size_t instanceCount, bool simulated) {
  for (std::size_t i = 0; i < instanceCount; ++i) {
    const DeviceKeyEntry& entry = tables.entries[i];
    std::cout << JsonObject()
                     .Add("type", "instance")
                     .Add("instance", static_cast<std::int64_t>(entry.index))
                     .Add("linked", entry.linked != 0)
                     .Add("symbolicLink", entry.symbolicLink.View())
                     .Add("simulated", simulated)
                     .Str()
              << "\n";
  }
  for (std::size_t port = 0; port < tables.linkedDevices.size(); ++port) {
    const LinkedDevice& device = tables.linkedDevices[port];
    JsonObject row;
    row.Add("type", "port").Add("port", static_cast<std::int64_t>(port + 1)).Add("linked", device.linked != 0);
    if (device.linked) {
      row.Add("instance", static_cast<std::int64_t>(device.regIndex))
          .Add("symbolicLink", device.symbolicLink.View());
    }
    std::cout << row.Str() << "\n";
  }
}

}  // namespace

int RunDevices(const CommandContext& context) {
  std::string error;
  const auto args = ParseArgs(context.args, SpecsOf(FindCommandHelp("devices")->options), error);
  if (!args) return UsageError(error);
  if (!args->positional.empty()) return UsageError("unexpected argument '" + args->positional[0] + "'");

  int boards = 0;
  if (args->Has("--sim")) {
    const auto count = sim::ParseBoardCount("--sim", args->Get("--sim"), kMaxSimBoards, error);
    if (!count) return UsageError(error);
    boards = *count;
  }
  // Without --sim, the driver's registry where this build has the driver; elsewhere
  // the list is empty, as on a machine where the driver was never installed. Listing
  // drives no device, so a running station does not stand in the way.
  std::unique_ptr<StationLine> driver;
  if (!args->Has("--sim") && HasDeviceDriver()) {
    driver = OpenDriverLine(context.home, false, error);
    if (!driver) return UsageError(error);
  }
  sim::SimHost simulated(boards, context.home);
  for (int port = 0; port < boards; ++port) simulated.Plug(port, {});
  Host& host = driver ? driver->GetHost() : simulated;

  auto tables = std::make_unique<DeviceTables>();
  BuildDeviceTables(host, *tables);
  CollectLinkedDevices(host, *tables);
  const std::size_t instanceCount = CountInstances(*tables);
  if (context.json) {
    PrintJson(*tables, instanceCount, args->Has("--sim"));
  } else {
    PrintText(*tables, instanceCount, args->Has("--sim"));
  }
  return kExitOk;
}

}  // namespace korvex::cli
