#pragma once
// The boot sequence reports errors where it finds them: a modal message box on behalf
// of the session's port, which waits until the operator closes it.

#include <string_view>

#include "device/device_session.h"
#include "device/device_texts.h"

namespace korvex {

// The session keeps the first, so the board's record says which step failed.
inline void ShowBootMessage(DeviceSession& session, std::string_view text) { session.ShowBox(text); }

}  // namespace korvex
