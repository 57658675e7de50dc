#include "app/station_burn_events.h"

#include "app/burn_counter.h"
#include "app/port_progress.h"
#include "app/station_close.h"
#include "records/record_keeper.h"
#include "station/production_log.h"

namespace korvex {

namespace {

std::size_t Index(std::int32_t port) { return static_cast<std::size_t>(port); }

// One record per port, as every other per-port record: nothing is allocated per board.
std::array<BoardRecord, kPortCount> g_boardRecords;

// The records' reason for each way a job ends.
BurnReason ReasonOf(BurnEnd end) {
  switch (end) {
    case BurnEnd::kBurned: return BurnReason::kBurned;
    case BurnEnd::kChipUnknown:
    case BurnEnd::kGeometryRefused: return BurnReason::kChipUnknown;
    case BurnEnd::kNoImage:
    case BurnEnd::kOpenFailed: return BurnReason::kOpenFailed;
    case BurnEnd::kZoneFull:
    case BurnEnd::kWriteError: return BurnReason::kZoneFull;
    case BurnEnd::kLinkLost: return BurnReason::kLinkLost;
    case BurnEnd::kUnplugged: return BurnReason::kUnplugged;
    case BurnEnd::kInterrupted: return BurnReason::kInterrupted;
    case BurnEnd::kVerifyMismatch: return BurnReason::kVerifyMismatch;
    case BurnEnd::kConfigFailed: return BurnReason::kConfigFailed;
    case BurnEnd::kNone:
    case BurnEnd::kBootFailed:
    case BurnEnd::kCpuMismatch: break;
  }
  return BurnReason::kBootFailed;
}

}  // namespace

void StationBurnEvents::BeginRecord(const PortContext& context) {
  RecordKeeper* keeper = StationRecordKeeper();
  if (keeper == nullptr) return;
  settings_ = &context.settings;
  record_ = &g_boardRecords[Index(port_)];
  const DeviceSession& session = context.session;
  keeper->Begin(*record_, host_, port_, session.model.comboText,
                {session.formatAfterBurn != 0, session.eraseWholeChip != 0,
                 session.fileSystemFormat != 0, session.verifyWrites});
}

void StationBurnEvents::ChipIdentified(const DeviceSession& session) {
  if (record_ == nullptr) return;
  SetChip(*record_, session.chipMainId, session.chipExtId, {}, session.pageSize,
          session.blockSize, session.spareSize, session.totalBlocks);
}

void StationBurnEvents::Progress(ProgressType type, std::intptr_t value) {
  SendPortProgress(host_, window_, type, port_, value);
}

void StationBurnEvents::Log(std::string_view line) { WriteBoardLogLine(host_, line); }

bool StationBurnEvents::Cancelled() { return WorkersStopRequested(); }

void StationBurnEvents::Counted() {
  g_burnCounter.fetch_add(1);
  g_portRuns[Index(port_)].burning = kBurningStarted;
}

void StationBurnEvents::UidMade(const std::array<std::uint8_t, kUidSize>& uid,
                                std::string_view text) {
  g_portRuns[Index(port_)].SetUid(uid, text);
  if (record_ != nullptr) SetUid(*record_, uid, text);
}

void StationBurnEvents::ImageDone(const ImageWritten& written) {
  g_portRuns[Index(port_)].blocksSkipped += written.blocksSkipped;
  if (record_ == nullptr) return;
  ImageRecord* image = AddImage(*record_, settings_->PathOf(written.image).View());
  if (image == nullptr) return;
  image->firstPage = written.firstPage;
  image->endPage = written.endPage;
  image->blocksSkipped = written.blocksSkipped;
  image->written = true;
  image->verify = written.verified ? VerifyOutcome::kPassed : VerifyOutcome::kNotRun;
  StationRecordKeeper()->HashImage(*image);
}

void StationBurnEvents::Ended(BurnEnd end) {
  PortRun& run = g_portRuns[Index(port_)];
  run.end = end;
  if (end == BurnEnd::kBurned) run.burning = kBurningDone;
  if (RecordKeeper* keeper = StationRecordKeeper(); record_ != nullptr && keeper != nullptr) {
    keeper->Finish(*record_, host_, ReasonOf(end), BurnEndCode(end));
  }
}

bool StationBurnEvents::Unplugged() { return g_portSlots[Index(port_)].state == kPortFree; }

}  // namespace korvex
