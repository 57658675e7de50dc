#pragma once
// The operator's model selection in the window (or on the command line). Workers never
// read it: a port copies it into its session when the board is claimed.

#include <memory>

#include "device/cpu_model.h"
#include "device/device_session.h"

namespace korvex {

// One selection, never changed once made: a new selection is a new object swapped in
// whole, so a claim copies a selection that is all of one choice.
struct ModelSelection {
  // The combo's index as reported, even one outside 0..3.
  int cpuModel = kDefaultCpuModel;
  // The folder and stage-1 address of the last valid selection, so a bad index never
  // sends file reads to a folder that does not exist.
  CpuModelInfo model = kCpuModels[kDefaultCpuModel];
};

// The selection now in force.
std::shared_ptr<const ModelSelection> CurrentModelSelection();

// The combo box's selection change: the index is taken; for 0..3 the folder and the
// stage-1 address follow. Returns false for an index outside 0..3 (the caller shows
// its message).
bool SelectCpuModel(int index);

// Copies the current selection into a port's session: the model a board is claimed
// with is the one it is burned as.
void ClaimModel(DeviceSession& session);

}  // namespace korvex
