#include "cli/board_tracker.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "cli/console_texts.h"
#include "device/cpu_model.h"
#include "nand/burn_texts.h"
#include "tools/tools_texts.h"

namespace korvex::cli {

namespace {

// Ports and image indexes are ints here, -1 for none; checked before they index.
std::size_t Slot(int index) { return static_cast<std::size_t>(index); }

constexpr std::uint32_t kNarrowPageBytes = 2048;
constexpr std::string_view kUidPrefix = "nandUID: ";
constexpr std::string_view kLogPrefixEnd = " : ";

// A log text against one of the burn's texts, whose %d stand for page numbers.
bool MatchesLogText(std::string_view text, std::string_view format) {
  if (format.starts_with(": ")) format.remove_prefix(2);
  const std::size_t first = format.find("%d");
  if (first == std::string_view::npos) return text == format;
  const std::string_view head = format.substr(0, first);
  const std::string_view tail = format.substr(format.rfind("%d") + 2);
  return text.size() >= head.size() + tail.size() && text.starts_with(head) && text.ends_with(tail);
}

// "nand.bin Page from 0 to 778." gives the image's span.
std::optional<PageSpan> ParsePageSpan(std::string_view text) {
  for (std::size_t image = 0; image < kImageCount; ++image) {
    std::string_view format = kImageLogTexts[image].pageRange;
    if (!MatchesLogText(text, format)) continue;
    format.remove_prefix(2);
    std::string_view numbers = text.substr(format.find("%d"));
    std::uint32_t first = 0, end = 0;
    auto [next, ec] = std::from_chars(numbers.data(), numbers.data() + numbers.size(), first);
    const std::string_view between = " to ";
    if (ec != std::errc() || std::string_view(next, between.size()) != between) return std::nullopt;
    next += between.size();
    ec = std::from_chars(next, numbers.data() + numbers.size(), end).ec;
    if (ec != std::errc()) return std::nullopt;
    return PageSpan{static_cast<ImageId>(image), first, end};
  }
  return std::nullopt;
}

bool IsLastIncluded(const JobPlan& plan, ImageId image) {
  for (std::size_t later = image + 1; later < kImageCount; ++later) {
    if (plan.included[later]) return false;
  }
  return true;
}

// The page an image is written in: nand.bin always in 2048 bytes, and model 0 keeps
// that view for loader.bin too; the rest go in the chip's own pages.
std::uint32_t ViewPageBytes(const JobPlan& plan, ImageId image) {
  if (image == kNandBin || (image == kLoaderBin && plan.model == kModelQx7120)) {
    return kNarrowPageBytes;
  }
  return plan.chipPageBytes;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", seconds);
  return text;
}

}  // namespace

double BoardJob::Seconds(Clock::time_point now) const {
  return std::chrono::duration<double>((finished ? ended : now) - started).count();
}

std::string TimeLeftText(const BoardJob& job, std::uint64_t planned, Clock::time_point now) {
  const bool writing = job.state == BoardState::kWriting || job.state == BoardState::kVerifying;
  const std::uint64_t written = job.BytesWritten();
  const double seconds = job.Seconds(now);
  if (!writing || written == 0 || planned <= written || seconds <= 0) return {};
  const double left = static_cast<double>(planned - written) * seconds / static_cast<double>(written);
  char text[40];
  std::snprintf(text, sizeof text, ", about %.0f s left", left);
  return text;
}

std::string_view BoardJob::Result() const {
  // The records' reason codes, so `korvex records --result X` finds every board the
  // console called X.
  if (state == BoardState::kNotStarted) return "not-started";
  if (!finished || end == BurnEnd::kNone) return "failed";
  return BurnEndCode(end);
}

std::string_view StateName(BoardState state) {
  switch (state) {
    case BoardState::kBooting: return "booting";
    case BoardState::kIdentifying: return "identifying";
    case BoardState::kErasingChip: return "erasing-chip";
    case BoardState::kErasingZone: return "erasing";
    case BoardState::kWriting: return "writing";
    case BoardState::kVerifying: return "verifying";
    case BoardState::kIdentityPages: return "identity-pages";
    case BoardState::kFormatting: return "formatting";
    case BoardState::kResetting: return "resetting";
    case BoardState::kReading: return "reading";
    case BoardState::kDone: return "done";
    case BoardState::kFailed: return "failed";
    case BoardState::kUnplugged: return "unplugged";
    case BoardState::kInterrupted: return "interrupted";
    case BoardState::kNotStarted: return "not-started";
  }
  return "unknown";
}

std::string StateText(const BoardJob& job) {
  const std::string image = job.image >= 0 ? std::string(kImageFileNames[Slot(job.image)]) : "";
  const auto withReason = [&](std::string word) {
    return job.reason.empty() ? word : word + ": " + Explained(job.reason);
  };
  switch (job.state) {
    case BoardState::kBooting: return "booting";
    case BoardState::kIdentifying: return "identifying the chip";
    case BoardState::kErasingChip: return "erasing the whole chip";
    case BoardState::kErasingZone: return "erasing the " + image + " zone";
    case BoardState::kWriting: return "writing " + image + " " + std::to_string(job.percent) + "%";
    case BoardState::kVerifying: return "verifying " + image + " " + std::to_string(job.percent) + "%";
    case BoardState::kIdentityPages: return "writing the identity pages";
    case BoardState::kFormatting: return "formatting";
    case BoardState::kResetting: return "resetting the board";
    case BoardState::kReading: return "reading back " + std::to_string(job.percent) + "%";
    case BoardState::kDone: {
      std::string text = "done in " + Seconds(job.Seconds(job.ended));
      if (job.uid.starts_with(kUidPrefix)) text += ", UID " + job.uid.substr(kUidPrefix.size());
      return text;
    }
    case BoardState::kFailed: return withReason("failed");
    case BoardState::kUnplugged: return withReason("unplugged");
    case BoardState::kInterrupted: return withReason("interrupted");
    case BoardState::kNotStarted: return withReason("not started");
  }
  return {};
}

std::optional<int> BadBlocksSkipped(const BoardJob& job, const JobPlan& plan) {
  if (plan.chipPageBytes == 0 || plan.chipBlockBytes == 0) return std::nullopt;
  if (job.blocksSkipped) return static_cast<int>(*job.blocksSkipped);
  // A span holds the image rounded up to pages (at most two more pages) and one
  // whole chip block more for each bad block stepped over.
  std::uint64_t blocks = 0;
  for (const PageSpan& span : job.spans) {
    const std::uint64_t spanBytes =
        std::uint64_t{span.end > span.first ? span.end - span.first : 0} * ViewPageBytes(plan, span.image);
    const std::uint64_t imageBytes = plan.imageBytes[span.image];
    if (spanBytes > imageBytes) blocks += (spanBytes - imageBytes) / plan.chipBlockBytes;
  }
  return static_cast<int>(blocks);
}

std::string_view LogMessage(std::string_view line) {
  const std::size_t at = line.find(kLogPrefixEnd);
  return at == std::string_view::npos ? line : line.substr(at + kLogPrefixEnd.size());
}

BoardLine SplitBoardLine(std::string_view message) {
  BoardLine line{{}, message};
  if (message.starts_with(kUidPrefix)) {
    const std::size_t end = message.find(": ", kUidPrefix.size());
    if (end == std::string_view::npos) return line;
    line.uid = message.substr(0, end);
    line.text = message.substr(end);
  }
  if (line.text.starts_with(": ")) line.text.remove_prefix(2);
  return line;
}

bool IsUnplugLine(std::string_view text) {
  for (const ImageLogTexts& image : kImageLogTexts) {
    if (MatchesLogText(text, image.unplugged)) return true;
  }
  return MatchesLogText(text, kLogBoardDisconnected);
}

bool IsFailureLine(std::string_view text) {
  for (const ImageLogTexts& image : kImageLogTexts) {
    for (const std::string_view failure : {image.unplugged, image.openFailed, image.writeError}) {
      if (MatchesLogText(text, failure)) return true;
    }
  }
  for (const std::string_view failure :
       {kLogBoardDisconnected, kLogIdentityPageFailed, kLogLoaderErrorRange}) {
    if (MatchesLogText(text, failure)) return true;
  }
  return false;
}

BoardJob* BoardTracker::Running(int port) {
  if (port < 0 || port >= static_cast<int>(kPortCount) || latest_[Slot(port)] < 0) return nullptr;
  BoardJob& job = jobs_[static_cast<std::size_t>(latest_[Slot(port)])];
  return job.finished ? nullptr : &job;
}

const BoardJob* BoardTracker::Latest(int port) const {
  if (port < 0 || port >= static_cast<int>(kPortCount) || latest_[Slot(port)] < 0) return nullptr;
  return &jobs_[static_cast<std::size_t>(latest_[Slot(port)])];
}

int BoardTracker::PortOfUid(std::string_view uid) const {
  for (int port = 0; port < static_cast<int>(kPortCount); ++port) {
    const BoardJob* job = Latest(port);
    if (job != nullptr && !uid.empty() && job->uid == uid) return port;
  }
  return -1;
}

BoardState BoardTracker::AfterImages() const {
  return plan_.formatAfter || plan_.fsFormat ? BoardState::kFormatting : BoardState::kResetting;
}

void BoardTracker::AfterImage(BoardJob& job, ImageId image) {
  if (image == kNandBin) {
    job.state = BoardState::kIdentityPages;
  } else if (IsLastIncluded(plan_, image)) {
    job.state = AfterImages();
  }
}

void BoardTracker::End(BoardJob& job, BurnEnd end, std::string_view uid, Clock::time_point now) {
  job.finished = true;
  job.ended = now;
  job.end = end;
  job.uid = uid;
  job.bytesCurrent = 0;
  if (end == BurnEnd::kBurned) {
    job.state = BoardState::kDone;
    job.reason.clear();
  } else if (end == BurnEnd::kInterrupted || job.cutByClose) {
    job.state = BoardState::kInterrupted;
    if (job.reason.empty()) job.reason = "station closed mid-burn";
  } else if (end == BurnEnd::kUnplugged || end == BurnEnd::kLinkLost) {
    job.state = BoardState::kUnplugged;
    // Boxes a failing boot showed on its way blame files; the board was simply gone.
    if (!job.unplugLine.empty()) job.reason = job.unplugLine;
  } else {
    job.state = BoardState::kFailed;
    if (job.reason.empty()) job.reason = BurnEndCode(end);
  }
  justEnded_ = &job;
}

BoardJob& BoardTracker::StartJob(int port, Clock::time_point now) {
  BoardJob& job = jobs_.emplace_back();
  job.number = static_cast<int>(jobs_.size());
  job.port = port;
  job.started = now;
  latest_[Slot(port)] = job.number - 1;
  return job;
}

bool BoardTracker::ImageProgress(BoardJob& job, std::intptr_t value) {
  job.state = plan_.verify ? BoardState::kVerifying : BoardState::kWriting;
  job.percent = static_cast<int>(std::clamp<std::intptr_t>(value, 0, 100));
  job.bytesCurrent = plan_.imageBytes[Slot(job.image)] * static_cast<std::uint64_t>(job.percent) / 100;
  if (job.percent != 100) return false;
  job.bytesDone += plan_.imageBytes[Slot(job.image)];
  job.bytesCurrent = 0;
  AfterImage(job, static_cast<ImageId>(job.image));
  return true;
}

bool BoardTracker::OnProgress(int port, ProgressType type, std::intptr_t value, BurnEnd endNow,
                              std::string_view uid, Clock::time_point now) {
  justEnded_ = nullptr;
  if (port < 0 || port >= static_cast<int>(kPortCount)) return false;
  BoardJob* job = Running(port);
  const bool starts = (type == kProgressBoot && value == 0) || type == kProgressRead;
  if (job == nullptr && starts) {
    job = &StartJob(port, now);
    if (type == kProgressBoot) return true;
  }
  if (job == nullptr) return false;
  const BoardState before = job->state;
  const int tenthBefore = job->percent / 10;
  switch (type) {
    case kProgressBoot:
      if (value == 50) job->state = BoardState::kIdentifying;
      if (value == 100 && plan_.eraseChip) job->state = BoardState::kErasingChip;
      break;
    case kProgressLabel:
      if (value >= 0 && value < static_cast<std::intptr_t>(kImageCount) && plan_.included[static_cast<std::size_t>(value)]) {
        job->image = static_cast<int>(value);
        job->percent = 0;
        job->state = BoardState::kErasingZone;
      }
      break;
    case kProgressImage:
      if (job->image >= 0 && ImageProgress(*job, value)) return true;
      break;
    case kProgressFormat:
      job->state = BoardState::kFormatting;
      break;
    case kProgressRead:
      job->state = BoardState::kReading;
      job->percent = static_cast<int>(std::clamp<std::intptr_t>(value, 0, 100));
      break;
    case kProgressReset:
      // The worker's last message: its end is already in its PortRun.
      if (endNow != BurnEnd::kNone) {
        End(*job, endNow, uid, now);
        return true;
      }
      break;
  }
  return job->state != before ||
         ((job->state == BoardState::kWriting || job->state == BoardState::kVerifying ||
           job->state == BoardState::kReading) &&
          job->percent / 10 != tenthBefore);
}

void BoardTracker::OnMessage(int port, std::string_view text) {
  BoardJob* job = Running(port);
  if (job != nullptr && job->reason.empty()) job->reason = text;
}

void BoardTracker::OnBlocksSkipped(int port, std::uint32_t blocks) {
  if (port < 0 || port >= static_cast<int>(kPortCount) || latest_[Slot(port)] < 0) return;
  BoardJob& job = jobs_[static_cast<std::size_t>(latest_[Slot(port)])];
  if (job.finished) job.blocksSkipped = blocks;
}

bool BoardTracker::OnLogLine(int port, std::string_view message) {
  BoardJob* job = Running(port);
  if (job == nullptr) return false;
  const BoardLine line = SplitBoardLine(message);
  if (IsFailureLine(line.text)) {
    if (job->reason.empty()) job->reason = line.text;
    if (IsUnplugLine(line.text)) job->unplugLine = line.text;
    return false;
  }
  if (const auto span = ParsePageSpan(line.text)) {
    job->spans.push_back(*span);
    return false;
  }
  // The unique-ID page is the last identity page; after it comes the next image or,
  // when nand.bin was the only one, the end of the burn.
  if (MatchesLogText(line.text, kLogUidWritten) && job->state == BoardState::kIdentityPages &&
      IsLastIncluded(plan_, kNandBin)) {
    job->state = AfterImages();
    return true;
  }
  // The board formats, then resets: the reset's line comes when it went through.
  if (MatchesLogText(line.text, kLogEraseNand) && job->state == BoardState::kFormatting && !plan_.fsFormat) {
    job->state = BoardState::kResetting;
    return true;
  }
  if (MatchesLogText(line.text, kLogSystemReset) && job->state != BoardState::kResetting) {
    job->state = BoardState::kResetting;
    return true;
  }
  return false;
}

const BoardJob* BoardTracker::OnDemoLine(std::string_view message) {
  const BoardLine line = SplitBoardLine(message);
  const bool failed = MatchesLogText(line.text, kLogDemoFailed);
  if (line.uid.empty() || (!failed && !MatchesLogText(line.text, kLogDemoSucceeded))) return nullptr;
  for (auto job = jobs_.rbegin(); job != jobs_.rend(); ++job) {
    if (job->uid != line.uid) continue;
    job->demo = failed ? DemoCopy::kFailed : DemoCopy::kCopied;
    return &*job;
  }
  return nullptr;
}

void BoardTracker::OnNotStarted(int port, std::string reason, Clock::time_point now) {
  BoardJob& job = jobs_.emplace_back();
  job.number = static_cast<int>(jobs_.size());
  job.port = port;
  job.state = BoardState::kNotStarted;
  job.started = job.ended = now;
  job.finished = true;
  job.reason = std::move(reason);
  latest_[Slot(port)] = job.number - 1;
}

void BoardTracker::MarkClosing() {
  for (BoardJob& job : jobs_) job.cutByClose = !job.finished;
}

}  // namespace korvex::cli
