#include "app/station_burn_events.h"

#include "app/burn_counter.h"
#include "app/line_job.h"
#include "app/port_progress.h"
#include "app/station_close.h"
#include "records/record_json.h"
#include "records/record_keeper.h"
#include "station/production_log.h"

namespace korvex {

namespace {

std::size_t Index(std::int32_t port) { return static_cast<std::size_t>(port); }

// One record per port, as every other per-port record: nothing is allocated per board.
std::array<BoardRecord, kPortCount> g_boardRecords;

// The line that says why a board ended: the first message box of its job; without
// one, the unplug line a lost board leaves in the log; else the end's own label.
std::string_view Explanation(BurnEnd end, const DeviceSession& session, std::string_view lastLine) {
  if (end == BurnEnd::kBurned) return {};
  if (!session.firstBox.Empty()) return session.firstBox.View();
  if ((end == BurnEnd::kLinkLost || end == BurnEnd::kUnplugged) && !lastLine.empty()) {
    // The record keeps the UID apart; the line without it reads on its own.
    lastLine.remove_prefix(std::min(lastLine.size(), session.uidText.Size()));
    if (lastLine.starts_with(": ")) lastLine.remove_prefix(2);
    return lastLine;
  }
  return BurnEndLabel(end);
}

}  // namespace

StationBurnEvents::StationBurnEvents(Host& host, WindowHandle window, std::int32_t port,
                                     std::shared_ptr<RecordKeeper> records)
    : host_(host),
      window_(window),
      port_(port),
      record_(g_boardRecords[Index(port)]),
      keeper_(std::move(records)) {}

void StationBurnEvents::BeginRecord(const PortContext& context) {
  settings_ = &context.settings;
  for (std::size_t slot = 0; slot < kImageCount; ++slot) {
    if (context.settings.includeFlags[slot] != 0) keeper_->RequestDigest(context.settings.imagePaths[slot].View());
  }
  const DeviceSession& session = context.session;
  keeper_->Begin(record_, host_, port_, session.model.comboText,
                {session.formatAfterBurn != 0, session.eraseWholeChip != 0,
                 session.fileSystemFormat != 0, session.verifyWrites});
}

void StationBurnEvents::ChipIdentified(const DeviceSession& session) {
  SetChip(record_, session.chipMainId, session.chipExtId, session.chipPart.View(), session.pageSize,
          session.blockSize, session.spareSize, session.totalBlocks);
}

void StationBurnEvents::ChipNotInTable(const DeviceSession& session) {
  // The IDs the chip answered, with no row to name or measure it.
  SetChip(record_, session.chipMainId, session.chipExtId, {}, 0, 0, 0, 0);
}

void StationBurnEvents::Progress(ProgressType type, std::intptr_t value) {
  SendPortProgress(host_, window_, type, port_, value);
}

void StationBurnEvents::Log(std::string_view line) {
  WriteBoardLogLine(host_, line);
  lastLine_.assign(line);
}

bool StationBurnEvents::Cancelled() { return WorkersStopRequested(); }

void StationBurnEvents::Counted() {
  g_burnCounter.fetch_add(1);
  g_portRuns[Index(port_)].burning = kBurningStarted;
}

void StationBurnEvents::UidMade(const std::array<std::uint8_t, kUidSize>& uid,
                                std::string_view text) {
  uidMade_ = true;
  g_portRuns[Index(port_)].SetUid(uid, text);
  SetUid(record_, uid, text);
}

void StationBurnEvents::ImageDone(const ImageWritten& written) {
  g_portRuns[Index(port_)].blocksSkipped += written.blocksSkipped;
  if (settings_ == nullptr) return;  // the read-back names no image
  ImageRecord* image = AddImage(record_, settings_->PathOf(written.image).View());
  if (image == nullptr) return;
  image->firstPage = written.firstPage;
  image->endPage = written.endPage;
  image->blocksSkipped = written.blocksSkipped;
  image->written = written.whole;
  image->verify = written.mismatch ? VerifyOutcome::kMismatch
                  : written.verified && written.whole ? VerifyOutcome::kPassed
                                                      : VerifyOutcome::kNotRun;
  keeper_->HashImage(*image);
}

void StationBurnEvents::Ended(BurnEnd end, const DeviceSession& session) {
  PortRun& run = g_portRuns[Index(port_)];
  run.end = end;
  if (end == BurnEnd::kBurned) run.burning = kBurningDone;
  if (settings_ == nullptr) return;  // the read-back keeps no record
  // hook_after hears of records safe on disk only; one the disk refused is kept and told.
  if (keeper_->Finish(record_, host_, end, Explanation(end, session, lastLine_)) && keeper_->keeping()) {
    RunHookAfter(record_);
  }
}

std::optional<BurnEvents::Refusal> StationBurnEvents::BeforeWriting(const DeviceSession& session) {
  LineJob* job = ActiveLineJob();
  if (job == nullptr) return std::nullopt;
  if (auto changed = job->ChangedImage()) return Refusal{BurnEnd::kImageChanged, std::move(*changed)};
  if (!job->HasHookBefore()) return std::nullopt;
  if (auto refused = job->RunHookBefore(host_, job->BoardJson(port_, session, uidMade_))) {
    return Refusal{BurnEnd::kHookRefused, std::move(*refused)};
  }
  return std::nullopt;
}

bool StationBurnEvents::UidFirst() {
  const LineJob* job = ActiveLineJob();
  return job != nullptr && job->HasHookBefore();
}

// After the record is safe on disk; what the hook says never changes the board's result.
void StationBurnEvents::RunHookAfter(const BoardRecord& record) {
  const LineJob* job = ActiveLineJob();
  if (job == nullptr || !job->HasHookAfter()) return;
  std::string line;
  AppendRecordJson(line, record);
  if (const auto failed = job->RunHookAfter(host_, line)) {
    const std::string text = "hook_after failed for port " + std::to_string(port_ + 1) + ": " + *failed;
    WriteBoardLogLine(host_, text);
    TellHookFailure(port_, text);
  }
}

bool StationBurnEvents::Unplugged() { return g_portSlots[Index(port_)].state == kPortFree; }

}  // namespace korvex
