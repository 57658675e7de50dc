#pragma once
// The line's database over ODBC: unixODBC on Linux, the system's odbc32 on Windows.
// Any driver that takes plain SQL with CREATE ... IF NOT EXISTS and partial indexes
// serves; PostgreSQL is the one the tests run against.
//
// Tables (made by `korvex records init-db`; a station only reads and inserts):
//   korvex_schema  (version)                      the layout's version, kSchemaVersion
//   board_records  one row per record; duplicate_uid = 1 marks a burned board whose
//                  UID a burned board already had (the unique index on the UID of
//                  burned boards skips those rows, so they are kept, and reported)
//   board_images   one row per image of a record
// Layout 2 added the job, lot, work order and operator columns; opening a layout-1
// database adds them (empty for the rows already there).

#include <memory>
#include <string>

#include "records/record_database.h"

namespace korvex {

// 2: ports are numbered 1..8 (version 1 stored 0..7; init-db upgrades).
// 3: records carry their job, lot, work order and operator (init-db adds the columns).
inline constexpr int kSchemaVersion = 3;

// Nothing is connected until Open. The connection string is handed to the driver
// manager as it is, e.g. "Driver={PostgreSQL Unicode};Server=db;Port=5432;
// Database=korvex;Uid=station;Pwd=...".
std::unique_ptr<RecordDatabase> MakeOdbcRecordDatabase(std::string connection);

}  // namespace korvex
