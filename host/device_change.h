#pragma once
// Arrival and removal of the driver's device interfaces, as the platform announces
// them (WM_DEVICECHANGE on Windows, the simulator's plugs and pulls): the scan learns
// of a board swapped between two of its passes.

#include <functional>
#include <string_view>

namespace korvex {

enum class DeviceChange { kArrival, kRemoval };

// Called on whichever thread saw the change, with the interface's symbolic link.
using DeviceChangeHandler = std::function<void(DeviceChange change, std::string_view symbolicLink)>;

}  // namespace korvex
