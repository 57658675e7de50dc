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

double RequestSeconds(const TimingModel& model, const NandWork& work) {
  return std::max(0.0, model.requestRoundTripSeconds) +
         static_cast<double>(work.pagesProgrammed) * std::max(0.0, model.pageProgramSeconds) +
         static_cast<double>(work.pagesRead) * std::max(0.0, model.pageReadSeconds) +
         static_cast<double>(work.blocksErased) * std::max(0.0, model.blockEraseSeconds);
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
  std::this_thread::sleep_until(since + Seconds(RequestSeconds(Model(), work)));
}

void SimTiming::Wait(std::uint32_t milliseconds, TimePoint since) {
  if (!enabled_) return;
  std::this_thread::sleep_until(since + std::chrono::milliseconds(milliseconds));
}

void SimTiming::Charge(const TimedCharge& charge, TimePoint since) {
  if (charge.bulk) {
    Transfer(charge.bytes, since);
  } else if (charge.waitMs > 0) {
    Wait(charge.waitMs, since);
  } else {
    Request(charge.work, since);
  }
}

double ZeroCostSeconds(const TimingModel& model, const std::vector<std::vector<TimedCharge>>& boards,
                       double staggerSeconds) {
  std::vector<double> at(boards.size());
  std::vector<std::size_t> next(boards.size(), 0);
  for (std::size_t board = 0; board < boards.size(); ++board) {
    at[board] = staggerSeconds * static_cast<double>(board);
  }
  double linkFree = 0;
  while (true) {
    // The board whose next charge comes first goes first: the link's order of arrival.
    std::size_t board = boards.size();
    for (std::size_t k = 0; k < boards.size(); ++k) {
      if (next[k] < boards[k].size() && (board == boards.size() || at[k] < at[board])) board = k;
    }
    if (board == boards.size()) break;
    const TimedCharge& charge = boards[board][next[board]++];
    if (charge.bulk) {
      const double start = std::max(at[board], linkFree);
      const double rate = model.usbBytesPerSecond;
      linkFree = rate > 0 ? start + static_cast<double>(charge.bytes) / rate : start;
      at[board] = linkFree;
    } else if (charge.waitMs > 0) {
      at[board] += charge.waitMs / 1000.0;
    } else {
      at[board] += RequestSeconds(model, charge.work);
    }
  }
  return boards.empty() ? 0 : *std::max_element(at.begin(), at.end());
}

}  // namespace korvex::sim
