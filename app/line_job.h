#pragma once
// The job a station runs by (records/job_file.h), while it runs: the images' pinned
// fingerprints, checked at the pre-flight and again before every board, and the
// hooks before and after each board. One per station; the workers reach it through
// ActiveLineJob() as they reach the record keeper.

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/device_session.h"
#include "host/host.h"
#include "records/image_fingerprint.h"
#include "records/job_file.h"

namespace korvex {

class LineJob {
 public:
  LineJob(JobFile file, const JobIdentity& identity, std::string station);

  // Hashes every image of the job: one problem line per image that is missing or
  // differs, naming it with both hashes. Pins what it found for the shift.
  std::vector<std::string> PinImages();
  // The image's fingerprint as PinImages took it; call before the workers start.
  const ImageFingerprint& Pinned(std::size_t image) const { return pinned_[image]; }

  // Before each board: the first image whose bytes are no longer the job's (size and
  // time, then the hash), as the operator's text; nullopt when all are the job's.
  std::optional<std::string> ChangedImage();

  bool HasHookBefore() const { return !file_.hookBefore.empty(); }
  bool HasHookAfter() const { return !file_.hookAfter.empty(); }

  // What hook_before reads on its standard input.
  std::string BoardJson(int port, const DeviceSession& session, bool uidMade) const;
  // Runs hook_before for a board: nullopt when it said yes (exit 0), else the
  // record's message: its first line on stderr, "no answer within N s", or why not.
  std::optional<std::string> RunHookBefore(Host& host, std::string_view boardJson) const;
  // Runs hook_after with the board's record line; nullopt when it went well, else
  // what went wrong, for the operator and the log.
  std::optional<std::string> RunHookAfter(Host& host, std::string_view recordJson) const;

  const JobFile& file() const { return file_; }
  const JobIdentity& identity() const { return identity_; }

 private:
  std::optional<std::string> RunHook(Host& host, const std::string& command, std::string_view input,
                                     std::string_view which) const;

  JobFile file_;
  JobIdentity identity_;
  std::string station_;
  std::mutex mutex_;  // guards the fingerprints: every worker checks them
  std::array<ImageFingerprint, kImageCount> pinned_{};
};

// The running station's job, or nullptr when it runs without one.
LineJob* ActiveLineJob();
void SetActiveLineJob(LineJob* job);

// Who hears that a hook_after failed (the console's view); the log gets a line anyway.
using HookFailureObserver = void (*)(void* target, int port, std::string_view text);
void SetHookFailureObserver(HookFailureObserver observer, void* target);
void TellHookFailure(int port, std::string_view text);

}  // namespace korvex
