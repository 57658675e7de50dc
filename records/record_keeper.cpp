#include "records/record_keeper.h"

namespace korvex {
namespace {

std::atomic<RecordKeeper*> g_stationKeeper{nullptr};

}  // namespace

RecordKeeper::RecordKeeper(std::filesystem::path folder, std::string station)
    : station_(std::move(station)), store_(std::move(folder)) {}

RecordKeeper::~RecordKeeper() { StopSync(); }

void RecordKeeper::StartSync(std::unique_ptr<RecordDatabase> database,
                             std::chrono::milliseconds retry,
                             std::function<void(const DuplicateUid&)> onDuplicate) {
  StopSync();
  sync_ = std::make_unique<RecordSync>(store_.folder(), std::move(database));
  sync_->OnDuplicate(std::move(onDuplicate));
  sync_->Start(retry);
}

void RecordKeeper::StopSync() {
  if (sync_) sync_->Stop();
}

void RecordKeeper::Begin(BoardRecord& record, Host& host, std::int32_t port,
                         std::string_view model, const BurnOptions& options) {
  BeginBoardRecord(record, host, station_, port, model, options);
  record.identity = identity_;
}

bool RecordKeeper::Finish(BoardRecord& record, Host& host, BurnEnd reason,
                          std::string_view message) {
  FinishBoardRecord(record, host, reason, message);
  const bool written = store_.Append(record);
  if (sync_) sync_->Notify();
  return written;
}

RecordKeeper* StationRecordKeeper() { return g_stationKeeper.load(); }
void SetStationRecordKeeper(RecordKeeper* keeper) { g_stationKeeper.store(keeper); }

}  // namespace korvex
