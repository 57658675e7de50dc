#include "records/record_sync.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "records/record_store.h"

namespace korvex {
namespace {

// Whole lines in the file after byte `from`.
std::size_t LinesAfter(const std::filesystem::path& file, std::uint64_t from) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  std::size_t lines = 0;
  std::array<char, 16384> chunk;
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    lines += static_cast<std::size_t>(std::count(chunk.data(), chunk.data() + in.gcount(), '\n'));
  }
  return lines;
}

// The line that tells a failing or recovered database.
SyncNews StatusNews(const SyncReport& report) {
  // One line, whatever the driver's message holds.
  std::string reason = report.error;
  std::replace_if(reason.begin(), reason.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
  const std::string waiting = std::to_string(report.pending) + (report.pending == 1 ? " record waits" : " records wait");
  if (!report.error.empty()) {
    return {SyncNews::Kind::kFailing,
            "line database: records cannot be sent (" + reason + "); " + waiting +
                " safely in the local files and go as soon as it answers",
            report.pending};
  }
  return {SyncNews::Kind::kRecovered, "line database: reachable again; " + waiting, report.pending};
}

// One record to the database; false when the database failed and the pass stops.
bool SendRecord(RecordDatabase& database, const BoardRecord& record, SyncState& state, SyncReport& report) {
  InsertResult result = database.Insert(record);
  switch (result.outcome) {
    case InsertOutcome::kInserted: ++report.sent; break;
    case InsertOutcome::kAlreadyStored: ++report.alreadyStored; break;
    case InsertOutcome::kDuplicateUid:
      ++report.sent;
      state.duplicates.erase(result.firstId);
      state.duplicates[result.duplicateId] = result.firstId;
      report.duplicates.push_back(
          {result.duplicateId, std::string(record.uidText.View()), std::move(result.firstId)});
      break;
    case InsertOutcome::kRejected: {
      // Set aside with its reason; the records after it still go.
      const std::string id(record.id.View());
      if (state.setAside.emplace(id, "the database refused it: " + result.error).second) {
        report.setAside.push_back({id, state.setAside[id]});
      }
      break;
    }
    case InsertOutcome::kFailed:
      report.error = std::move(result.error);
      report.connected = false;
      return false;
  }
  return true;
}

// Sends the records of one file from byte `sent` on, and moves `sent` past them.
void SendFile(RecordDatabase& database, const std::filesystem::path& file, const std::string& name,
              std::uint64_t& sent, SyncState& state, SyncReport& report) {
  RecordReadStats stats;
  sent = ReadRecordFile(file, sent, [&](const BoardRecord& record, std::uint64_t) {
    return SendRecord(database, record, state, report);
  }, stats, [&](std::uint64_t offset) {
    const std::string key = name + "@" + std::to_string(offset);
    const std::string reason =
        "not a whole record of a known version: cut short, or a field is wrong (a day that does not exist, say)";
    if (state.setAside.emplace(key, reason).second) report.setAside.push_back({key, reason});
  });
  report.tornLines += stats.tornLines;
}

}  // namespace

std::string SetAsideLine(const SetAsideRecord& record) {
  return "record " + record.key + " set aside: " + record.reason;
}

std::string DuplicateUidLine(const DuplicateUid& duplicate) {
  return "DUPLICATE UID " + duplicate.uidText + ": record " + duplicate.id + " (first burned: " +
         duplicate.firstId + ")";
}

SyncState LoadSyncState(const std::filesystem::path& folder) {
  SyncState state;
  std::ifstream in(folder / kSyncStateFileName);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string kind, first, second;
    fields >> kind >> first >> second;
    if (kind == "sent" && !second.empty()) {
      state.sentBytes[first] = std::strtoull(second.c_str(), nullptr, 10);
    } else if (kind == "duplicate" && !second.empty()) {
      state.duplicates[first] = second;
    } else if (kind == "setaside" && !first.empty()) {
      std::string reason;
      std::getline(fields >> std::ws, reason);
      state.setAside[first] = second + (reason.empty() ? "" : " " + reason);
    }
  }
  return state;
}

bool SaveSyncState(const std::filesystem::path& folder, const SyncState& state) {
  const std::filesystem::path file = folder / kSyncStateFileName;
  std::filesystem::path temporary = file;
  temporary += ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << "# korvex: how much of each record file the line's database has\n";
    for (const auto& [name, bytes] : state.sentBytes) out << "sent " << name << ' ' << bytes << '\n';
    for (const auto& [id, first] : state.duplicates) out << "duplicate " << id << ' ' << first << '\n';
    for (const auto& [key, reason] : state.setAside) {
      std::string line = reason;
      std::replace(line.begin(), line.end(), '\n', ' ');
      out << "setaside " << key << ' ' << line << '\n';
    }
    out.flush();
    if (!out) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, file, error);
  return !error;
}

RecordSync::RecordSync(std::filesystem::path folder, std::unique_ptr<RecordDatabase> database)
    : folder_(std::move(folder)), database_(std::move(database)) {}

RecordSync::~RecordSync() { Stop(); }

SyncReport RecordSync::SyncOnce() {
  std::lock_guard pass(passMutex_);
  SyncReport report;
  SyncState state = LoadSyncState(folder_);
  const SyncState before = state;
  report.connected = database_->Open(report.error);
  for (const auto& file : RecordFiles(folder_)) {
    const std::string name = file.filename().string();
    std::uint64_t& sent = state.sentBytes[name];
    std::error_code error;
    // A file shorter than what was sent of it was replaced: send it from the start.
    if (sent > std::filesystem::file_size(file, error)) sent = 0;
    if (report.connected) SendFile(*database_, file, name, sent, state, report);
    report.pending += LinesAfter(file, sent);
  }
  // The database's marks are the line's verdict: they replace what this folder had
  // (a lost state file gets them back; a first that turned out later is unmarked).
  if (report.connected) {
    DuplicateIds marks;
    std::string error;
    if (database_->Duplicates(marks, error)) state.duplicates = std::move(marks);
  }
  if (!report.connected) database_->Close();
  if (!(state == before)) SaveSyncState(folder_, state);
  Publish(report);
  return report;
}

void RecordSync::Publish(const SyncReport& report) {
  std::function<void(const DuplicateUid&)> handler;
  std::function<void(const SyncNews&)> newsHandler;
  std::vector<SyncNews> news;
  {
    std::lock_guard lock(mutex_);
    last_ = report;
    sentSinceStart_ += report.sent;
    handler = onDuplicate_;
    newsHandler = onNews_;
    const bool failing = !report.error.empty();
    if (failing != failing_) news.push_back(StatusNews(report));
    failing_ = failing;
    for (const SetAsideRecord& record : report.setAside) {
      news.push_back({SyncNews::Kind::kSetAside, "line database: " + SetAsideLine(record), report.pending});
    }
    for (const DuplicateUid& duplicate : report.duplicates) {
      news.push_back({SyncNews::Kind::kDuplicateUid, DuplicateUidLine(duplicate), report.pending});
    }
  }
  if (handler) {
    for (const DuplicateUid& duplicate : report.duplicates) handler(duplicate);
  }
  if (newsHandler) {
    for (const SyncNews& item : news) newsHandler(item);
  }
}

void RecordSync::Start(std::chrono::milliseconds retry) {
  Stop();
  std::lock_guard lock(mutex_);
  stopping_ = false;
  notified_ = false;
  retry_ = retry;
  thread_ = std::thread(&RecordSync::Loop, this);
}

void RecordSync::Notify() {
  std::lock_guard lock(mutex_);
  notified_ = true;
  wake_.notify_all();
}

void RecordSync::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

std::size_t RecordSync::SentSinceStart() const {
  std::lock_guard lock(mutex_);
  return sentSinceStart_;
}

void RecordSync::OnNews(std::function<void(const SyncNews&)> handler) {
  SyncReport now;
  {
    std::lock_guard lock(mutex_);
    onNews_ = handler;
    if (!failing_) return;
    now = last_;
  }
  if (handler) handler(StatusNews(now));
}

SyncReport RecordSync::LastReport() const {
  std::lock_guard lock(mutex_);
  return last_;
}

void RecordSync::OnDuplicate(std::function<void(const DuplicateUid&)> handler) {
  std::lock_guard lock(mutex_);
  onDuplicate_ = std::move(handler);
}

void RecordSync::Loop() {
  // Without news the thread still looks now and then: another program (the
  // command line) may have written records, and a state file may have been reset.
  constexpr auto kIdleLook = std::chrono::seconds(60);
  std::unique_lock lock(mutex_);
  bool ok = true;
  // A record written just before the stop still goes while the server answers.
  while (!stopping_ || (ok && notified_)) {
    notified_ = false;
    lock.unlock();
    ok = SyncOnce().error.empty();
    lock.lock();
    if (stopping_) continue;
    // After a failure, news of a record does not cut the wait short: the server is
    // given its retry period rather than one attempt per burned board.
    wake_.wait_for(lock, ok ? std::chrono::duration_cast<std::chrono::milliseconds>(kIdleLook) : retry_,
                   [&] { return stopping_ || (ok && notified_); });
  }
}

std::size_t PendingRecords(const std::filesystem::path& folder) {
  const SyncState state = LoadSyncState(folder);
  std::size_t pending = 0;
  for (const auto& file : RecordFiles(folder)) {
    const auto sent = state.sentBytes.find(file.filename().string());
    pending += LinesAfter(file, sent == state.sentBytes.end() ? 0 : sent->second);
  }
  return pending;
}

}  // namespace korvex
