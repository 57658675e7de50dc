#pragma once
// Sending the local record files to the line's database. A burn never waits for the
// database: records are written locally first, and a background thread sends what
// the database does not have yet, retrying while the server is away. Which records
// were sent is kept per file as a byte offset in records-sync.state beside them; as
// every insert is idempotent, a lost or stale state file costs a re-send, never a
// double row.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "records/record_database.h"

namespace korvex {

inline constexpr std::string_view kSyncStateFileName = "records-sync.state";

using DuplicateMap = DuplicateIds;

struct SyncState {
  std::map<std::string, std::uint64_t> sentBytes;  // record file name -> bytes sent
  DuplicateMap duplicates;
  // Records set aside: the record's ID (or "FILE@OFFSET" for a line that is no
  // record) -> why. They are told once and listed by `korvex records sync`.
  std::map<std::string, std::string> setAside;

  bool operator==(const SyncState&) const = default;
};

SyncState LoadSyncState(const std::filesystem::path& folder);
// Written to a temporary file and renamed over the old one.
bool SaveSyncState(const std::filesystem::path& folder, const SyncState& state);

struct DuplicateUid {
  std::string id;
  std::string uidText;
  std::string firstId;
};

// "DUPLICATE UID <text>: record <id> (first burned: <id>)": one line for every place
// that tells the line about it.
std::string DuplicateUidLine(const DuplicateUid& duplicate);

struct SetAsideRecord {
  std::string key;     // the record's ID, or FILE@OFFSET
  std::string reason;
};

// "record <key> set aside: <reason>".
std::string SetAsideLine(const SetAsideRecord& record);

struct SyncReport {
  bool connected = false;
  std::size_t sent = 0;
  std::size_t alreadyStored = 0;  // found in the database already (sent by an earlier run)
  std::size_t tornLines = 0;      // skipped: not a whole record
  std::size_t pending = 0;        // whole lines still to send after this pass
  std::vector<DuplicateUid> duplicates;  // found in this pass
  std::vector<SetAsideRecord> setAside;  // newly set aside in this pass
  std::string error;              // why the pass stopped early
};

// The sync's state changes, for the operator: the database became unreachable or
// refused the station, or is back; a record was set aside; a burned UID was burned
// before.
struct SyncNews {
  enum class Kind { kFailing, kRecovered, kSetAside, kDuplicateUid };
  Kind kind = Kind::kFailing;
  std::string text;          // one line, never the password
  std::size_t waiting = 0;   // records waiting for the database
};

// Whole record lines of the folder's files that the database does not have yet,
// by the sync state (no database needed).
std::size_t PendingRecords(const std::filesystem::path& folder);

class RecordSync {
 public:
  RecordSync(std::filesystem::path folder, std::unique_ptr<RecordDatabase> database);
  ~RecordSync();  // stops the thread
  RecordSync(const RecordSync&) = delete;
  RecordSync& operator=(const RecordSync&) = delete;

  // One pass by hand (`korvex records sync`): connects, sends every pending record,
  // saves the state. Safe beside the background thread; passes take turns.
  SyncReport SyncOnce();

  // The background thread. It sends at once, then whenever Notify is called; after
  // a failure it waits `retry` before it tries again. The thread is the sync's own
  // rather than a station thread through Host: it touches no board, device or
  // window, and unlike a worker it must be joined when the station closes.
  void Start(std::chrono::milliseconds retry = std::chrono::seconds(5));
  // A record was written: send it soon.
  void Notify();
  // Ends the thread after the record in flight; records not yet sent stay pending
  // in the local files.
  void Stop();

  SyncReport LastReport() const;
  // Records sent by this sync's passes since it was made.
  std::size_t SentSinceStart() const;
  // Called from the pass's thread on each change; set while the database is failing,
  // it hears that at once.
  void OnNews(std::function<void(const SyncNews&)> handler);
  // Called from the sync's thread for each duplicate UID the database reports.
  void OnDuplicate(std::function<void(const DuplicateUid&)> handler);

 private:
  void Loop();
  // Keeps the pass's report and tells the handlers what it found.
  void Publish(const SyncReport& report);

  std::filesystem::path folder_;
  std::unique_ptr<RecordDatabase> database_;
  std::mutex passMutex_;  // one pass at a time, and it owns the database connection
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
  bool stopping_ = false;
  bool notified_ = false;
  std::chrono::milliseconds retry_{5000};
  SyncReport last_;
  bool failing_ = false;
  std::size_t sentSinceStart_ = 0;
  std::function<void(const DuplicateUid&)> onDuplicate_;
  std::function<void(const SyncNews&)> onNews_;
};

}  // namespace korvex
