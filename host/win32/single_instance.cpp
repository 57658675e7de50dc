#include "host/win32/single_instance.h"

#include <windows.h>

#include <string>

namespace korvex {

SingleInstance::SingleInstance(std::string_view name) {
  const HANDLE mutex = ::CreateMutexA(nullptr, TRUE, std::string(name).c_str());
  if (mutex != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    // Another station holds it. The initial ownership asked for is not granted on
    // an existing mutex, so the release is refused by the system; it is kept so this
    // start leaves nothing of its own behind, and the close drops our reference.
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    first_ = false;
    return;
  }
  mutex_ = mutex;
}

SingleInstance::~SingleInstance() {
  if (mutex_ == nullptr) return;
  ::ReleaseMutex(static_cast<HANDLE>(mutex_));
  ::CloseHandle(static_cast<HANDLE>(mutex_));
}

}  // namespace korvex
