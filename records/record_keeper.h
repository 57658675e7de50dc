#pragma once
// The station's records in one object: the local files, the image digests and,
// when the line has a database, the background sync. One per station, made at
// start-up from the line's settings and handed to the station, whose scan gives each
// claimed board's worker its own share: the keeper lives until the last worker that
// took it has ended, however the station closes.
//
//   auto keeper = std::make_shared<RecordKeeper>(ProgramDir(host), settings.station);
//   if (!settings.recordsDb.empty())
//     keeper->StartSync(MakeOdbcRecordDatabase(settings.recordsDb));   // records/odbc/
//   keeper->digests().HashNow(image) for each image, at the pre-flight
//   ... per board, on its worker with the session's host:
//       keeper->Begin(record, host, ...), keeper->HashImage(image), keeper->Finish(record, host, ...)
//   keeper->StopSync();                       // or let the last share go
//
// A station that keeps no records (a dry run, most tests) holds RecordKeeper::None():
// the workers fill their records as always, and nothing is written or hashed.

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "host/host.h"
#include "records/board_record.h"
#include "records/record_store.h"
#include "records/record_sync.h"
#include "records/image_digests.h"

namespace korvex {

// What the operator is told when board records cannot be written, and when they
// can again.
struct RecordWriteNews {
  bool failing = false;       // true: a record could not be written; false: all written again
  std::size_t waiting = 0;    // records kept in memory, not yet in the file
  std::string folder;         // where the records go, UTF-8
  std::int32_t port = 0;      // 1..8: the board whose record failed (failing only)
};

// "board records cannot be written to FOLDER (disk full or folder not writable?): N
// waiting in memory ..." or the recovery line: one text for every place that tells it.
std::string RecordWriteNewsText(const RecordWriteNews& news);

class RecordKeeper {
 public:
  RecordKeeper(std::filesystem::path folder, std::string station, AppendFunction append = nullptr);
  ~RecordKeeper();
  RecordKeeper(const RecordKeeper&) = delete;
  RecordKeeper& operator=(const RecordKeeper&) = delete;

  // A keeper that writes no record and hashes no image.
  static std::shared_ptr<RecordKeeper> None();
  // False for None(): nothing this keeper is given reaches a file.
  bool keeping() const { return keeping_; }

  // Starts the background sync to the line's database (one at a time; a second
  // call replaces the first; call it before the workers start). Records written while the database is away stay
  // pending in the local files until it is back. onDuplicate hears of each burned
  // board whose UID the database already had, on the sync's thread.
  void StartSync(std::unique_ptr<RecordDatabase> database,
                 std::chrono::milliseconds retry = std::chrono::seconds(5),
                 std::function<void(const DuplicateUid&)> onDuplicate = {});
  // Waits for the record in flight; the rest stays pending for the next start or
  // `korvex records sync`.
  void StopSync();
  // The running sync, or nullptr: for its last report and its duplicate handler.
  RecordSync* sync() { return sync_.get(); }

  // The job, lot, work order and operator every record of the run carries; set
  // before the workers start.
  void SetIdentity(const JobIdentity& identity) {
    if (keeping_) identity_ = identity;
  }
  const JobIdentity& identity() const { return identity_; }
  // At the claim: BeginBoardRecord with this station's name and the run's identity.
  void Begin(BoardRecord& record, Host& host, std::int32_t port, std::string_view model,
             const BurnOptions& options);
  // The image's size and SHA-256 when its file's digest is known; never hashes (see
  // ImageDigests). Finish tries again for an image whose digest was still coming.
  void HashImage(ImageRecord& image) {
    if (keeping_) digests_.Fill(image);
  }
  // At the claim: a digest the pre-flight did not take (the window has none) is
  // hashed behind the burn, long before its first image is done.
  void RequestDigest(std::string_view file) {
    if (keeping_) digests_.Request(file);
  }
  // The station's images: hashed at the pre-flight, re-hashed behind when they change.
  ImageDigests& digests() { return digests_; }
  // At the end: stamps the record, writes it to the local file and wakes the sync.
  // Never waits for the database. False when the local file could not be written:
  // the record is then kept in memory, the news handler hears of it, and it is
  // written by a later RetryUnwritten (records kept earlier go first, in order).
  bool Finish(BoardRecord& record, Host& host, BurnEnd reason, std::string_view message);
  // Writes the records kept in memory, oldest first; true when none is left. The
  // scan calls it each time and claims no board while it is false.
  bool RetryUnwritten();
  std::size_t UnwrittenCount() const;
  // Records this keeper wrote to the local files.
  std::size_t WrittenCount() const { return written_.load(); }
  // The records still kept, as JSON lines: at exit they go to stderr.
  std::string UnwrittenLines() const;
  // Hears when writing starts failing and when it works again; on the thread that
  // wrote. Set before the workers start.
  void OnWriteNews(std::function<void(const RecordWriteNews&)> handler);

  const std::string& station() const { return station_; }
  const RecordStore& store() const { return store_; }

 private:
  // Writes kept records until one fails; under unwrittenMutex_.
  bool FlushLocked();

  bool keeping_ = true;
  std::string station_;
  JobIdentity identity_;
  RecordStore store_;
  mutable std::mutex unwrittenMutex_;
  std::deque<BoardRecord> unwritten_;  // allocated only while the disk refuses
  std::atomic<std::size_t> written_{0};
  std::function<void(const RecordWriteNews&)> onNews_;
  ImageDigests digests_;
  std::unique_ptr<RecordSync> sync_;
};

}  // namespace korvex
