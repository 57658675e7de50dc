#pragma once
// Opening and closing a board's device path for one port's session.

#include <cstdint>

#include "device/device_session.h"

namespace korvex {

inline constexpr int kOpenOk = 1;
inline constexpr int kOpenFailed = -1;
inline constexpr int kCloseOk = 1;
inline constexpr int kCloseFailed = -1;

// Attempts before an open gives up; each failure shows its own message box.
inline constexpr int kOpenAttempts = 6;

// Opens session.devicePath on session.device.host into session.device.handle.
// Each failed attempt shows kInvalidHandleText for session.port and keeps the
// platform error in session.lastError. Returns kOpenOk or kOpenFailed.
int OpenDevice(DeviceSession& session);

// Closes an open handle and marks the session as having none. A failing close
// returns kCloseFailed and leaves the handle; no handle at all is kCloseOk.
int CloseDevice(DeviceSession& session);

}  // namespace korvex
