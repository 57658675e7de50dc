#pragma once
// The station's records in one object: the local files, the image digests and,
// when the line has a database, the background sync. One per station, made at
// start-up from the line's settings; the workers share it.
//
//   RecordKeeper keeper(ProgramDir(host), settings.station);
//   if (!settings.recordsDb.empty())
//     keeper.StartSync(MakeOdbcRecordDatabase(settings.recordsDb));   // records/odbc/
//   SetStationRecordKeeper(&keeper);
//   ... per board, on its worker with the session's host:
//       keeper.Begin(record, host, ...), keeper.HashImage(image), keeper.Finish(record, host, ...)
//   SetStationRecordKeeper(nullptr);
//   keeper.StopSync();                       // or let the keeper go out of scope

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "host/host.h"
#include "records/board_record.h"
#include "records/record_store.h"
#include "records/record_sync.h"
#include "records/sha256.h"

namespace korvex {

class RecordKeeper {
 public:
  RecordKeeper(std::filesystem::path folder, std::string station);
  ~RecordKeeper();

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
  void SetIdentity(const JobIdentity& identity) { identity_ = identity; }
  const JobIdentity& identity() const { return identity_; }
  // At the claim: BeginBoardRecord with this station's name and the run's identity.
  void Begin(BoardRecord& record, Host& host, std::int32_t port, std::string_view model,
             const BurnOptions& options);
  // The image's size and SHA-256, from its file (each file hashed once while unchanged).
  void HashImage(ImageRecord& image) { digests_.Fill(image); }
  // At the end: stamps the record, writes it to the local file and wakes the sync.
  // Never waits for the database. False when the local file could not be written.
  bool Finish(BoardRecord& record, Host& host, BurnEnd reason, std::string_view message);

  const std::string& station() const { return station_; }
  const RecordStore& store() const { return store_; }

 private:
  std::string station_;
  JobIdentity identity_;
  RecordStore store_;
  ImageDigestCache digests_;
  std::unique_ptr<RecordSync> sync_;
};

// The keeper of the running station, for the workers to reach; nullptr when the
// station keeps no records (a dry run, most tests).
RecordKeeper* StationRecordKeeper();
void SetStationRecordKeeper(RecordKeeper* keeper);

}  // namespace korvex
