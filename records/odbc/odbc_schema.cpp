#include "records/odbc/odbc_record_database.h"

namespace korvex::odbc {
namespace {

constexpr const char* kCreateTables[] = {
    "CREATE TABLE IF NOT EXISTS korvex_schema (version INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS board_records ("
    " id VARCHAR(96) PRIMARY KEY, station VARCHAR(32) NOT NULL, port INTEGER NOT NULL,"
    " model VARCHAR(24) NOT NULL, started_at TIMESTAMP(3) NOT NULL, ended_at TIMESTAMP(3) NOT NULL,"
    " duration_ms BIGINT NOT NULL, result VARCHAR(8) NOT NULL, reason VARCHAR(24) NOT NULL,"
    " message VARCHAR(255) NOT NULL, chip_main_id INTEGER, chip_ext_id INTEGER,"
    " chip_part VARCHAR(63), page_size INTEGER, block_size INTEGER, spare_size INTEGER,"
    " blocks INTEGER, uid VARCHAR(32), uid_text VARCHAR(63), format_after SMALLINT NOT NULL,"
    " erase_chip SMALLINT NOT NULL, fs_format SMALLINT NOT NULL, verify SMALLINT NOT NULL,"
    " duplicate_uid SMALLINT NOT NULL, job VARCHAR(63) NOT NULL DEFAULT '', lot VARCHAR(63) NOT NULL DEFAULT '',"
    " work_order VARCHAR(63) NOT NULL DEFAULT '', operator_name VARCHAR(63) NOT NULL DEFAULT '')",
    "CREATE UNIQUE INDEX IF NOT EXISTS board_records_burned_uid ON board_records (uid)"
    " WHERE result = 'passed' AND duplicate_uid = 0",
    "CREATE INDEX IF NOT EXISTS board_records_started ON board_records (started_at)",
    "CREATE TABLE IF NOT EXISTS board_images ("
    " record_id VARCHAR(96) NOT NULL REFERENCES board_records (id), position INTEGER NOT NULL,"
    " file VARCHAR(1023) NOT NULL, size BIGINT NOT NULL, sha256 VARCHAR(64),"
    " first_page BIGINT NOT NULL, end_page BIGINT NOT NULL, blocks_skipped BIGINT NOT NULL,"
    " written SMALLINT NOT NULL, verify VARCHAR(8) NOT NULL, PRIMARY KEY (record_id, position))",
};

// Layouts 1 and 2 had no job columns: init-db adds them, and the rows already there
// get empty ones, as the local files read them.
constexpr const char* kAddJobColumns[] = {
    "ALTER TABLE board_records ADD COLUMN IF NOT EXISTS job VARCHAR(63) NOT NULL DEFAULT ''",
    "ALTER TABLE board_records ADD COLUMN IF NOT EXISTS lot VARCHAR(63) NOT NULL DEFAULT ''",
    "ALTER TABLE board_records ADD COLUMN IF NOT EXISTS work_order VARCHAR(63) NOT NULL DEFAULT ''",
    "ALTER TABLE board_records ADD COLUMN IF NOT EXISTS operator_name VARCHAR(63) NOT NULL DEFAULT ''",
    "CREATE INDEX IF NOT EXISTS board_records_job ON board_records (job, lot)",
};

}  // namespace

bool OdbcRecordDatabase::InitSchema(int& before, std::string& error) {
  Close();
  checkSchema_ = false;
  if (!Connect(error)) return false;
  const bool done = CreateOrUpgrade(before, error);
  Close();
  return done;
}

bool OdbcRecordDatabase::Run(const char* sql, std::string& error) {
  Statement statement(dbc_, sql);
  if (statement.Execute()) return true;
  error = statement.error();
  return false;
}

std::optional<std::int64_t> OdbcRecordDatabase::SchemaVersion(std::string& error) {
  Statement version(dbc_, "SELECT MAX(version) FROM korvex_schema");
  if (!version.Execute() || !version.Fetch()) {
    // No such table (PostgreSQL's 42P01, ODBC's 42S02); anything else, such as no
    // privilege (42501), is told as the server says it.
    if (version.state() == "42P01" || version.state() == "42S02") return 0;
    error = version.error();
    return std::nullopt;
  }
  return version.GetNumber(1).value_or(0);
}

bool OdbcRecordDatabase::CheckSchema(std::string& error) {
  const std::optional<std::int64_t> found = SchemaVersion(error);
  SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
  if (!found) return false;
  if (*found == kSchemaVersion) return true;
  const std::string fix = "; the database's owner runs 'korvex records init-db --records-db CONN' once";
  if (*found == 0) {
    error = "the database has no Korvex tables yet" + fix;
  } else if (*found < kSchemaVersion) {
    error = "the database's tables are of version " + std::to_string(*found) + ", older than this station's " +
            std::to_string(kSchemaVersion) + fix;
  } else {
    error = "the database's tables are of version " + std::to_string(*found) + ", newer than this station's " +
            std::to_string(kSchemaVersion) + ": this station needs an update";
  }
  return false;
}

bool OdbcRecordDatabase::CreateOrUpgrade(int& before, std::string& error) {
  const auto fail = [&](std::string text) {
    error = std::move(text);
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    return false;
  };
  const std::optional<std::int64_t> found = SchemaVersion(error);
  if (!found) return fail(error);
  SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);  // a failed look ends its transaction
  before = static_cast<int>(*found);
  if (*found > kSchemaVersion) {
    return fail("the database's tables are of version " + std::to_string(*found) + ", newer than this program's " +
                std::to_string(kSchemaVersion));
  }
  for (const char* sql : kCreateTables) {
    if (!Run(sql, error)) return fail(error);
  }
  // Version 1 numbered ports 0..7; the line's screens and records say 1..8.
  if (*found == 1 && !Run("UPDATE board_records SET port = port + 1", error)) return fail(error);
  // Versions 1 and 2 had no job columns; they start empty.
  if (*found >= 1 && *found < 3) {
    for (const char* sql : kAddJobColumns) {
      if (!Run(sql, error)) return fail(error);
    }
  }
  if (*found != kSchemaVersion) {
    if (!Run("DELETE FROM korvex_schema", error)) return fail(error);
    Statement insert(dbc_, "INSERT INTO korvex_schema (version) VALUES (?)");
    insert.Number(kSchemaVersion);
    if (!insert.Execute()) return fail(insert.error());
  }
  if (Ok(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT))) return true;
  error = Diagnostics(SQL_HANDLE_DBC, dbc_);
  return false;
}

}  // namespace korvex::odbc
