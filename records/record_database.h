#pragma once
// The line's database as the record sync and the report see it. The station's
// implementation speaks ODBC (records/odbc/); the core only needs this much.

#include <functional>
#include <string>
#include <string_view>

#include "records/board_record.h"

namespace korvex {

enum class InsertOutcome {
  kInserted,
  kAlreadyStored,  // a record with this ID is there: sent before
  kDuplicateUid,   // stored, but a burned board with this UID was there first
  kFailed,         // nothing stored; the connection is closed
};

struct InsertResult {
  InsertOutcome outcome = InsertOutcome::kFailed;
  std::string firstId;  // kDuplicateUid: the record that burned the UID first
  std::string error;    // kFailed: the driver's diagnostics
};

// A record read back, with the database's own verdict on its UID.
using DatabaseRecordVisitor = std::function<void(const BoardRecord& record, bool duplicateUid)>;

class RecordDatabase {
 public:
  virtual ~RecordDatabase() = default;

  // Connects unless connected, and creates the tables when they are absent. False
  // with the driver's diagnostics when the server cannot be reached or refuses.
  virtual bool Open(std::string& error) = 0;
  virtual void Close() = 0;

  // Stores the record once: the record's ID makes a second insert a no-op. A burned
  // board whose UID a burned board already has is stored marked as a duplicate.
  virtual InsertResult Insert(const BoardRecord& record) = 0;

  // Records that started on the days fromDay..toDay ("YYYY-MM-DD"; empty: open end),
  // oldest first.
  virtual bool ForEach(std::string_view fromDay, std::string_view toDay,
                       const DatabaseRecordVisitor& visit, std::string& error) = 0;
};

}  // namespace korvex
