#pragma once
// What a board's job reports about its progress; the window turns each report into
// its row's bar and text.

#include <cstdint>

namespace korvex {

enum ProgressType : std::uint32_t {
  kProgressRead = 1,    // read-back percentage
  kProgressReset = 2,   // back to 0, text "0%"
  kProgressBoot = 3,    // boot percentage (0, 50, 100)
  kProgressLabel = 4,   // value: image index 0..5; sets the label only
  kProgressImage = 5,   // image percentage with the current label
  kProgressFormat = 6,  // full bar, "格式化中..."
};

// Where a job sends its progress reports, and asks between blocks whether the
// station is closing.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  virtual void Progress(ProgressType type, std::intptr_t value) = 0;
  virtual bool Cancelled() { return false; }
};

}  // namespace korvex
