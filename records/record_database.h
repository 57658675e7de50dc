#pragma once
// The line's database as the record sync and the report see it. The station's
// implementation speaks ODBC (records/odbc/); the core only needs this much.

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "records/board_record.h"

namespace korvex {

enum class InsertOutcome {
  kInserted,
  kAlreadyStored,  // a record with this ID is there: sent before
  kDuplicateUid,   // stored, but a burned board with this UID was there first
  kRejected,       // the database refuses this record's data (error says why); others go on
  kFailed,         // nothing stored; the connection is closed
};

struct InsertResult {
  InsertOutcome outcome = InsertOutcome::kFailed;
  std::string firstId;      // kDuplicateUid: the record that burned the UID first
  std::string duplicateId;  // kDuplicateUid: the record now marked (this one, or an
                            // earlier-sent one that burned later)
  std::string error;    // kFailed, kRejected: the driver's diagnostics
};

// Record ID -> the ID of the record that had the UID first.
using DuplicateIds = std::map<std::string, std::string, std::less<>>;

// A record read back, with the database's own verdict on its UID.
using DatabaseRecordVisitor = std::function<void(const BoardRecord& record, bool duplicateUid)>;

class RecordDatabase {
 public:
  virtual ~RecordDatabase() = default;

  // Connects unless connected and checks that the tables are of this station's
  // version. False with the reason when the server cannot be reached, refuses, or
  // has no tables of this version (a station never creates or alters them).
  virtual bool Open(std::string& error) = 0;
  // `korvex records init-db`, run by the database's owner: creates the tables or
  // brings older ones to this version. `before` is the version found, 0 for none.
  virtual bool InitSchema(int& before, std::string& error) = 0;
  virtual void Close() = 0;

  // Stores the record once: the record's ID makes a second insert a no-op. A burned
  // board whose UID a burned board already has is stored marked as a duplicate.
  virtual InsertResult Insert(const BoardRecord& record) = 0;

  // Every record the database marks as a duplicate UID, with its first.
  virtual bool Duplicates(DuplicateIds& out, std::string& error) = 0;

  // Records that started on the days fromDay..toDay ("YYYY-MM-DD"; empty: open end),
  // oldest first.
  virtual bool ForEach(std::string_view fromDay, std::string_view toDay,
                       const DatabaseRecordVisitor& visit, std::string& error) = 0;
};

}  // namespace korvex
