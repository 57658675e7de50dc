#pragma once
// The operator's model selection in the window (or on the command line). Workers never
// read it: a port copies it into its session when the board is claimed.

#include <atomic>
#include <cstdint>

#include "device/cpu_model.h"
#include "device/device_session.h"

namespace korvex {

// g_cpuModel holds the combo's index as reported, even one outside 0..3;
// g_modelFolder names the folder and g_stage1Address the stage-1 load address of the
// last valid selection, so a bad index never sends file reads to a folder that does
// not exist. The window only changes them while no port is busy.
extern std::atomic<int> g_cpuModel;
extern std::atomic<const CpuModelInfo*> g_modelFolder;
extern std::atomic<std::uint32_t> g_stage1Address;

// The combo box's selection change: g_cpuModel := index; for 0..3 the folder and the
// stage-1 address follow.
// Returns false for an index outside 0..3 (the caller shows its message).
bool SelectCpuModel(int index);

// Copies the current selection into a port's session: the model a board is claimed
// with is the one it is burned as.
void ClaimModel(DeviceSession& session);

}  // namespace korvex
