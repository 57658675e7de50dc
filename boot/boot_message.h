#pragma once
// The boot sequence reports errors where it finds them: a modal message box on behalf
// of the session's port, which waits until the operator closes it.

#include <string_view>

#include "device/device_session.h"
#include "device/device_texts.h"

namespace korvex {

inline void ShowBootMessage(const DeviceSession& session, std::string_view text) {
  session.host().ShowMessageBox({text, kMessageCaption, MessageButtons::Ok, session.port});
}

}  // namespace korvex
