#include "records/record_keeper.h"

#include "host/paths.h"
#include "records/line_settings.h"
#include "records/record_json.h"

namespace korvex {
std::string RecordWriteNewsText(const RecordWriteNews& news) {
  if (!news.failing) {
    return "board records are written again to " + news.folder + "; none is waiting in memory";
  }
  return "the record of port " + std::to_string(news.port) + "'s board cannot be written to " + news.folder +
         " (disk full or folder not writable?): " + std::to_string(news.waiting) +
         (news.waiting == 1 ? " record waits in memory and is" : " records wait in memory and are") +
         " tried again at every scan; no new board is taken until they are written. "
         "Free space in that folder or make it writable.";
}

RecordKeeper::RecordKeeper(std::filesystem::path folder, std::string station, AppendFunction append)
    : station_(std::move(station)), store_(std::move(folder), append) {}

RecordKeeper::~RecordKeeper() { StopSync(); }

std::shared_ptr<RecordKeeper> RecordKeeper::None() {
  // One for the process: it holds no state a board could change.
  static const std::shared_ptr<RecordKeeper> none = [] {
    auto keeper = std::make_shared<RecordKeeper>(std::filesystem::path(), std::string(kDefaultStationName));
    keeper->keeping_ = false;
    return keeper;
  }();
  return none;
}

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
  for (std::size_t i = 0; i < record.imageCount; ++i) {
    if (!record.images[i].hashed) HashImage(record.images[i]);
  }
  FinishBoardRecord(record, host, reason, message);
  if (!keeping_) return true;
  std::function<void(const RecordWriteNews&)> handler;
  RecordWriteNews news;
  {
    std::lock_guard lock(unwrittenMutex_);
    const bool wasFailing = !unwritten_.empty();
    // Records kept earlier go first, so the file keeps the order the boards ended in.
    if (FlushLocked() && store_.Append(record)) {
      ++written_;
      news.waiting = 0;
      if (wasFailing) handler = onNews_;
    } else {
      unwritten_.push_back(record);
      news = {true, unwritten_.size(), PathToUtf8(store_.folder()), record.port};
      handler = onNews_;
    }
    news.folder = PathToUtf8(store_.folder());
  }
  if (sync_) sync_->Notify();
  if (handler) handler(news);
  return !news.failing;
}

bool RecordKeeper::FlushLocked() {
  while (!unwritten_.empty()) {
    if (!store_.Append(unwritten_.front())) return false;
    unwritten_.pop_front();
    ++written_;
  }
  return true;
}

bool RecordKeeper::RetryUnwritten() {
  std::function<void(const RecordWriteNews&)> handler;
  {
    std::lock_guard lock(unwrittenMutex_);
    if (unwritten_.empty()) return true;
    if (!FlushLocked()) return false;
    handler = onNews_;
  }
  if (sync_) sync_->Notify();
  if (handler) handler({false, 0, PathToUtf8(store_.folder()), 0});
  return true;
}

std::size_t RecordKeeper::UnwrittenCount() const {
  std::lock_guard lock(unwrittenMutex_);
  return unwritten_.size();
}

std::string RecordKeeper::UnwrittenLines() const {
  std::lock_guard lock(unwrittenMutex_);
  std::string lines;
  for (const BoardRecord& record : unwritten_) AppendRecordJson(lines, record);
  return lines;
}

void RecordKeeper::OnWriteNews(std::function<void(const RecordWriteNews&)> handler) {
  std::lock_guard lock(unwrittenMutex_);
  onNews_ = std::move(handler);
}

}  // namespace korvex
