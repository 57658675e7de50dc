#pragma once
// What each board is doing, in words, worked out from what the console already sees:
// the workers' progress messages, their message boxes and log lines, and the end code
// a job leaves in its PortRun. One BoardJob per board, in the order they started, so
// a port that burns board after board keeps a record of each.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "station/burn_end.h"
#include "station/port_context.h"
#include "station/progress_type.h"

namespace korvex::cli {

using Clock = std::chrono::steady_clock;

enum class BoardState {
  kBooting,
  kIdentifying,    // stage 2 runs and reads the chip's ID
  kErasingChip,    // --erase-chip, before the images
  kErasingZone,    // the image's zone, before its first block
  kWriting,
  kVerifying,      // writing with every block read back and compared (--verify)
  kIdentityPages,  // nand.bin's information and unique-ID pages
  kFormatting,
  kResetting,      // the last step of a whole burn
  kReading,        // a read-back
  kDone,
  kFailed,
  kUnplugged,
  kInterrupted,
  kNotStarted,     // claimed, but its device could not be opened
};

// What the console knows of the job before a board arrives.
struct JobPlan {
  std::array<bool, kImageCount> included{};
  std::array<std::uint64_t, kImageCount> imageBytes{};
  bool eraseChip = false;
  bool formatAfter = false;
  bool fsFormat = false;  // the file-system format, which only model 3 runs
  bool verify = false;    // each block read back and compared as it is written
  int model = 2;
  // The chip's geometry when the console knows it (simulated boards), else 0: bad
  // blocks skipped cannot be told without it.
  std::uint32_t chipPageBytes = 0;
  std::uint32_t chipBlockBytes = 0;
};

// An image's pages as its "Page from A to B." log line gives them.
struct PageSpan {
  ImageId image;
  std::uint32_t first;
  std::uint32_t end;  // the page after the last one written
};

// The demo copy onto a burned board's volume, when --demo gives a file.
enum class DemoCopy { kNone, kCopied, kFailed };

struct BoardJob {
  int number = 0;  // 1, 2, ... in start order
  int port = 0;    // 0-based
  BoardState state = BoardState::kBooting;
  int image = -1;  // the ImageId of the current step, -1 before the first
  int percent = 0;
  Clock::time_point started{};
  Clock::time_point ended{};
  bool finished = false;
  bool cutByClose = false;  // still running when the station began to close
  BurnEnd end = BurnEnd::kNone;
  std::string reason;  // the first message box, or log line, that explains an end
  DemoCopy demo = DemoCopy::kNone;
  std::string unplugLine;  // the log's line of a board gone, which explains a lost link best
  std::string uid;     // "nandUID: ...", empty until made
  std::uint64_t bytesDone = 0;     // images written whole
  std::uint64_t bytesCurrent = 0;  // the part of the current image written so far
  std::vector<PageSpan> spans;
  // The bad blocks the burn counted itself, told with its end: they take in the image
  // it ended in, which leaves no page line.
  std::optional<std::uint32_t> blocksSkipped;

  std::uint64_t BytesWritten() const { return bytesDone + bytesCurrent; }
  double Seconds(Clock::time_point now) const;
  // The reason code of its end as the records have it ("burned", "zone-full",
  // "link-lost", ...), "not-started" for a port whose job never started.
  std::string_view Result() const;
};

// The state in words: "writing img_boot.bin 63%", "failed: Please check ...".
std::string StateText(const BoardJob& job);
// ", about 42 s left" while the board writes or verifies, at its own rate so far (its
// time since the claim over the bytes of the planned images it has written); empty
// before the first byte and once it is past writing.
std::string TimeLeftText(const BoardJob& job, std::uint64_t planned, Clock::time_point now);
// One word per state for JSON: "writing", "done", ...
std::string_view StateName(BoardState state);

// Bad blocks the board stepped over: the burn's own count once it ended, else worked
// out from each image's page span, its size and the chip's geometry; nullopt when the
// plan does not know the geometry.
std::optional<int> BadBlocksSkipped(const BoardJob& job, const JobPlan& plan);

// A production-log line split into the board's unique-ID text and what follows it
// (without the ": " between): "nandUID: 0a1b ...: Update nand.bin succeeded!" gives
// {"nandUID: 0a1b ...", "Update nand.bin succeeded!"}. The time prefix must be gone.
struct BoardLine {
  std::string_view uid;
  std::string_view text;
};
BoardLine SplitBoardLine(std::string_view message);
// What follows the log's time prefix.
std::string_view LogMessage(std::string_view line);
// True for the lines a burn writes when the board is gone.
bool IsUnplugLine(std::string_view text);
// True for the lines a burn writes when it goes wrong.
bool IsFailureLine(std::string_view text);

class BoardTracker {
 public:
  explicit BoardTracker(JobPlan plan) : plan_(plan) {}

  // One progress message of a port; `endNow` is the port's PortRun::end as the
  // message arrives: the worker's last message comes after its end is set. Returns
  // true when the change deserves a line of its own (a new state, or the image's
  // percentage entering a new tenth).
  bool OnProgress(int port, ProgressType type, std::intptr_t value, BurnEnd endNow,
                  std::string_view uid, Clock::time_point now);
  void OnMessage(int port, std::string_view text);
  // The bad blocks the port's burn counted, as its end arrives (PortRun::blocksSkipped).
  void OnBlocksSkipped(int port, std::uint32_t blocks);
  // A board's log line (the time prefix gone); true when it moved the state on.
  bool OnLogLine(int port, std::string_view message);
  // A demo copy's log line: the job whose UID it names, or nullptr for another line.
  const BoardJob* OnDemoLine(std::string_view message);
  // A port that was claimed but whose job never started.
  void OnNotStarted(int port, std::string reason, Clock::time_point now);
  // The station begins to close: jobs still running end as interrupted.
  void MarkClosing();

  // The port whose running job made this ID, or -1.
  int PortOfUid(std::string_view uid) const;
  // The port's latest job; nullptr before its first.
  const BoardJob* Latest(int port) const;
  const std::vector<BoardJob>& Jobs() const { return jobs_; }
  const JobPlan& Plan() const { return plan_; }
  // The job that ended with the last OnProgress, if it did.
  const BoardJob* JustEnded() const { return justEnded_; }

 private:
  BoardJob* Running(int port);
  BoardJob& StartJob(int port, Clock::time_point now);
  // An image's progress in percent; true once the image is whole (AfterImage has run).
  bool ImageProgress(BoardJob& job, std::intptr_t value);
  void AfterImage(BoardJob& job, ImageId image);
  // Formatting when the job formats, else resetting.
  BoardState AfterImages() const;
  void End(BoardJob& job, BurnEnd end, std::string_view uid, Clock::time_point now);

  JobPlan plan_;
  std::vector<BoardJob> jobs_;
  std::array<int, kPortCount> latest_{-1, -1, -1, -1, -1, -1, -1, -1};
  const BoardJob* justEnded_ = nullptr;
};

}  // namespace korvex::cli
