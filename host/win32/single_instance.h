#pragma once
// One station per PC: the first start holds a named mutex for its lifetime, and a
// second start finds the name taken and ends after telling the operator.

#include <string_view>

namespace korvex {

// The mutex name every station release uses, so that old and new builds exclude
// each other too.
inline constexpr std::string_view kStationMutexName = "qx USB download tool";
// What a second station is told, the window's words.
inline constexpr std::string_view kTextAlreadyRunning = "已经有烧录工具正在运行";

class SingleInstance {
 public:
  // Creates the mutex, owned by the calling thread. When the name already exists the
  // handle is released and closed at once, and IsFirst() is false.
  explicit SingleInstance(std::string_view name = kStationMutexName);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this is the only running station (the mutex was created here). Also
  // true if the mutex could not be created at all: the check must never keep the
  // only station from starting.
  bool IsFirst() const { return first_; }

 private:
  void* mutex_ = nullptr;  // HANDLE, kept out of this header
  bool first_ = true;
};

}  // namespace korvex
