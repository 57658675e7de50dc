#pragma once
// A simulated production line as the command line describes it: how many boards are
// plugged at the start, what they are, the faults of every board and of single
// ports, and the plug events scripted for chosen moments.

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/board_setup.h"

namespace korvex::sim {

enum class PlugAction {
  kUnplug,   // the board is pulled out
  kPlug,     // the board last on the port goes back in; a first board when there was none
  kPlugNew,  // a board fresh from the factory replaces whatever is there
};

struct PlugEvent {
  std::chrono::milliseconds at{0};  // since the line started
  PlugAction action = PlugAction::kPlug;
  int usbPort = 0;                  // counted from 0; the operator's port 1 is 0
};

// "TIME:ACTION:PORT", e.g. "5s:unplug:3" or "500ms:plug-new:1"; TIME is a whole
// number of ms or s, PORT counts from 1 up to maxPort. nullopt and a reason on error.
std::optional<PlugEvent> ParsePlugEvent(std::string_view text, int maxPort, std::string& error);

struct SimulatedLine {
  int boards = 0;       // plugged at start, one per USB port from the first
  BoardSpec board;      // what every board is, its model, chip and faults included
  // The whole plan of the board first on a USB port (from 0), for ports given faults
  // of their own: every board's plan with the port's items over it.
  std::map<int, FaultPlan> portFaults;
  std::vector<PlugEvent> events;  // in time order; events of one time in the order given
  bool timing = false;  // the timing model
  // --sim-seed: the host's random bytes (unique IDs, record IDs) come from this seed,
  // so a run can be repeated; without it they come from the operating system.
  std::optional<std::uint64_t> randomSeed;

  // USB ports the line needs: one per board, and up to the last port an event or a
  // port's faults name.
  int UsbPorts() const;
  // The board that is the first to be plugged into usbPort.
  BoardSpec FirstBoardOn(int usbPort) const;
};

}  // namespace korvex::sim
