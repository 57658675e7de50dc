#pragma once
// The optional timing model of the simulated line: how long USB transfers, request
// round trips and NAND work take in wall-clock time. Off by default, so tests run at
// memory speed; a rehearsal or benchmark turns it on to see realistic job times.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

namespace korvex::sim {

struct TimingModel {
  // Bulk data of every board shares one host controller: transfers queue for it.
  double usbBytesPerSecond = 35e6;
  // Each request costs this much on its own board's path, not on the shared bus.
  double requestRoundTripSeconds = 0.0005;
  // NAND work, on the board's own clock, per page or block the operation touched.
  double pageProgramSeconds = 650e-6;
  double pageReadSeconds = 50e-6;
  double blockEraseSeconds = 2e-3;
};

// What one request 7 kept the chip busy with.
struct NandWork {
  std::uint64_t pagesProgrammed = 0;
  std::uint64_t pagesRead = 0;
  std::uint64_t blocksErased = 0;
};

// One charge to the model: a bulk transfer on the shared bus, a request with its
// NAND work, or a settle wait the station slept between exchanges. Boards keep theirs,
// so a benchmark can replay a line's exchanges with nothing but the model's time.
struct TimedCharge {
  bool bulk = false;
  std::uint64_t bytes = 0;  // bulk only
  NandWork work;            // request only
  std::uint32_t waitMs = 0; // a settle wait: neither bulk nor a request
};

// The time the charges take when nothing but the model costs anything: each board
// runs its charges one after another from its plug time (board k at k * stagger), and
// the shared link serves transfers first come, first served. Worked out, not slept.
double ZeroCostSeconds(const TimingModel& model, const std::vector<std::vector<TimedCharge>>& boards,
                       double staggerSeconds = 0);

// One per simulated host, shared by all its boards. While disabled every call returns
// at once. A non-positive bandwidth or a negative time counts as free.
class SimTiming {
 public:
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool Enabled() const { return enabled_; }
  void SetModel(const TimingModel& model);
  TimingModel Model() const;

  // Each counts from `since`, when the exchange reached the board: the simulator's own
  // work on it then passes inside the modelled time, as a real board's would, instead
  // of adding to it.
  using TimePoint = std::chrono::steady_clock::time_point;
  // A bulk transfer of `bytes`: reserves the next free slot on the shared bus (a
  // virtual clock, so boards transferring at once take turns) and sleeps until it ends.
  void Transfer(std::uint64_t bytes, TimePoint since = std::chrono::steady_clock::now());
  // The booking alone, enabled or not: the transfer starts when both it and the link are
  // ready, and the link is then busy until the returned end (`since` on a free link).
  TimePoint BookTransfer(std::uint64_t bytes, TimePoint since);
  // A request's round trip plus the NAND work it did, slept on the caller's thread.
  void Request(const NandWork& work, TimePoint since = std::chrono::steady_clock::now());
  // A settle wait, slept as the station sleeps it.
  void Wait(std::uint32_t milliseconds, TimePoint since = std::chrono::steady_clock::now());
  void Charge(const TimedCharge& charge, TimePoint since = std::chrono::steady_clock::now());

 private:
  std::atomic<bool> enabled_{false};
  mutable std::mutex mutex_;  // guards model_ and busFreeAt_
  TimingModel model_;
  std::chrono::steady_clock::time_point busFreeAt_{};
};

}  // namespace korvex::sim
