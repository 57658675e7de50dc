#include "sim/timing.h"

#include <algorithm>
#include <thread>

namespace korvex::sim {
namespace {

using Clock = std::chrono::steady_clock;

Clock::duration Seconds(double seconds) {
  if (!(seconds > 0)) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

void SimTiming::SetModel(const TimingModel& model) {
  std::lock_guard lock(mutex_);
  model_ = model;
}

TimingModel SimTiming::Model() const {
  std::lock_guard lock(mutex_);
  return model_;
}

void SimTiming::Transfer(std::uint64_t bytes, TimePoint since) {
  if (!enabled_ || bytes == 0) return;
  std::this_thread::sleep_until(BookTransfer(bytes, since));
}

SimTiming::TimePoint SimTiming::BookTransfer(std::uint64_t bytes, TimePoint since) {
  std::lock_guard lock(mutex_);
  if (!(model_.usbBytesPerSecond > 0)) return since;
  const Clock::time_point start = std::max(since, busFreeAt_);
  busFreeAt_ = start + Seconds(static_cast<double>(bytes) / model_.usbBytesPerSecond);
  return busFreeAt_;
}

void SimTiming::Request(const NandWork& work, TimePoint since) {
  if (!enabled_) return;
  const TimingModel model = Model();
  const double seconds =
      std::max(0.0, model.requestRoundTripSeconds) +
      static_cast<double>(work.pagesProgrammed) * std::max(0.0, model.pageProgramSeconds) +
      static_cast<double>(work.pagesRead) * std::max(0.0, model.pageReadSeconds) +
      static_cast<double>(work.blocksErased) * std::max(0.0, model.blockEraseSeconds);
  std::this_thread::sleep_until(since + Seconds(seconds));
}

}  // namespace korvex::sim
