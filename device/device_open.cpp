#include "device/device_open.h"

#include "device/device_texts.h"

namespace korvex {

int OpenDevice(DeviceSession& session) {
  Host& host = session.host();
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    std::uint32_t lastError = 0;
    session.device.handle = host.OpenDevice(session.devicePath.View(), lastError);
    if (session.device.IsOpen()) return kOpenOk;
    // Kept in its own field: the port byte and flags of the head stay as the
    // scheduler wrote them, since later requests read them.
    session.lastError = lastError;
    host.ShowMessageBox({kInvalidHandleText, kMessageCaption, MessageButtons::Ok, session.port});
  }
  return kOpenFailed;
}

int CloseDevice(DeviceSession& session) {
  if (session.device.IsOpen()) {
    if (!session.host().CloseDevice(session.device.handle)) return kCloseFailed;
  }
  session.device.handle = kInvalidHandle;
  return kCloseOk;
}

}  // namespace korvex
