#include "records/odbc/odbc_database.h"

#include "records/connection_string.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvex {
namespace {

static_assert(sizeof(SQLWCHAR) == 2, "texts travel as UTF-16");

// Texts travel as UTF-16 (SQL_C_WCHAR) so paths and messages in any script arrive
// intact, whatever code page the driver manager would apply to 8-bit text.
std::u16string Utf16(std::string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const int length = byte < 0x80 ? 1 : byte >> 5 == 6 ? 2 : byte >> 4 == 14 ? 3 : byte >> 3 == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) {  // not UTF-8: keep the byte's value
      out += static_cast<char16_t>(byte);
      ++i;
      continue;
    }
    char32_t code = length == 1 ? byte : byte & (0x7F >> length);
    for (int k = 1; k < length; ++k) code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    i += static_cast<std::size_t>(length);
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size()) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | code >> 6), out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | code >> 12), out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | code >> 18), out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F)), out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

bool Ok(SQLRETURN r) { return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO; }

// Integer attribute values travel in the pointer argument.
SQLPOINTER AttributeValue(std::uintptr_t value) { return reinterpret_cast<SQLPOINTER>(value); }

// "SQLSTATE message" of every diagnostic record of a handle, and the first state.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle, std::string* firstState = nullptr) {
  std::string text;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {};
    SQLCHAR message[1024] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!Ok(SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length))) break;
    if (firstState != nullptr && i == 1) *firstState = reinterpret_cast<char*>(state);
    if (!text.empty()) text += "; ";
    text += reinterpret_cast<char*>(state);
    text += ' ';
    text += reinterpret_cast<char*>(message);
  }
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.empty() ? "no diagnostics from the driver" : text;
}

SQL_TIMESTAMP_STRUCT ToTimestamp(const LocalTime& t) {
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(t.year), ts.month = t.month, ts.day = t.day;
  ts.hour = t.hour, ts.minute = t.minute, ts.second = t.second;
  ts.fraction = static_cast<SQLUINTEGER>(t.millisecond) * 1'000'000u;
  return ts;
}

LocalTime FromTimestamp(const SQL_TIMESTAMP_STRUCT& ts) {
  LocalTime t;
  t.year = static_cast<std::uint16_t>(ts.year), t.month = ts.month, t.day = ts.day;
  t.hour = ts.hour, t.minute = ts.minute, t.second = ts.second;
  t.millisecond = static_cast<std::uint16_t>(ts.fraction / 1'000'000u);
  return t;
}

// A statement with its parameters. Parameter buffers live in the statement until it
// is executed, so the bound pointers stay valid.
class Statement {
 public:
  Statement(SQLHDBC connection, const char* sql) {
    ok_ = Ok(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle_));
    if (!ok_) {
      error_ = Diagnostics(SQL_HANDLE_DBC, connection, &state_);
      return;
    }
    Check(SQLPrepare(handle_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS));
  }
  ~Statement() {
    if (handle_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Text(std::string_view text, bool null = false) {
    texts_.push_back(Utf16(text));
    indicators_.push_back(null ? SQL_NULL_DATA : static_cast<SQLLEN>(texts_.back().size() * 2));
    const SQLULEN size = std::max<SQLULEN>(texts_.back().size(), 1);
    return Bind(SQL_C_WCHAR, SQL_WVARCHAR, size, 0, texts_.back().data());
  }
  Statement& Number(std::int64_t value, bool null = false) {
    numbers_.push_back(value);
    indicators_.push_back(null ? SQL_NULL_DATA : 0);
    return Bind(SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &numbers_.back());
  }
  Statement& Time(const LocalTime& time) {
    times_.push_back(ToTimestamp(time));
    indicators_.push_back(0);
    return Bind(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3, &times_.back());
  }

  // An UPDATE or DELETE that touched no row answers SQL_NO_DATA: done all the same.
  bool Execute() {
    if (!ok_) return false;
    const SQLRETURN r = SQLExecute(handle_);
    return r == SQL_NO_DATA || Check(r);
  }
  // False at the end of the rows (or on an error: see ok()).
  bool Fetch() {
    if (!ok_) return false;
    const SQLRETURN r = SQLFetch(handle_);
    return r != SQL_NO_DATA && Check(r);
  }

  std::optional<std::string> GetText(SQLUSMALLINT column) {
    std::u16string text;
    std::array<char16_t, 512> chunk;
    for (;;) {
      SQLLEN length = 0;
      const SQLRETURN r = SQLGetData(handle_, column, SQL_C_WCHAR, chunk.data(), sizeof chunk, &length);
      if (r == SQL_NO_DATA) break;
      if (!Check(r) || length == SQL_NULL_DATA) return std::nullopt;
      // A part of the value fills the chunk but its last unit, which is the terminator.
      const std::size_t units = length == SQL_NO_TOTAL || length >= static_cast<SQLLEN>(sizeof chunk)
                                    ? chunk.size() - 1
                                    : static_cast<std::size_t>(length) / 2;
      text.append(chunk.data(), units);
      if (r == SQL_SUCCESS) break;
    }
    return Utf8(text);
  }
  std::optional<std::int64_t> GetNumber(SQLUSMALLINT column) {
    std::int64_t value = 0;
    SQLLEN length = 0;
    if (!Check(SQLGetData(handle_, column, SQL_C_SBIGINT, &value, sizeof value, &length)) ||
        length == SQL_NULL_DATA) {
      return std::nullopt;
    }
    return value;
  }
  LocalTime GetTime(SQLUSMALLINT column) {
    SQL_TIMESTAMP_STRUCT ts{};
    SQLLEN length = 0;
    Check(SQLGetData(handle_, column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &length));
    return FromTimestamp(ts);
  }

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  const std::string& state() const { return state_; }

 private:
  Statement& Bind(SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, void* data) {
    if (!ok_) return *this;
    const auto number = static_cast<SQLUSMALLINT>(indicators_.size());
    const SQLLEN bytes = cType == SQL_C_WCHAR ? static_cast<SQLLEN>(texts_.back().size() * 2) : 0;
    Check(SQLBindParameter(handle_, number, SQL_PARAM_INPUT, cType, sqlType, size, digits, data,
                           bytes, &indicators_.back()));
    return *this;
  }
  bool Check(SQLRETURN r) {
    if (Ok(r) || !ok_) return ok_ && Ok(r);
    ok_ = false;
    error_ = Diagnostics(SQL_HANDLE_STMT, handle_, &state_);
    return false;
  }

  SQLHSTMT handle_ = SQL_NULL_HSTMT;
  bool ok_ = false;
  std::string error_, state_;
  // Deques would do too; reserved vectors keep the bound addresses fixed.
  std::vector<std::u16string> texts_ = Reserved<std::u16string>();
  std::vector<std::int64_t> numbers_ = Reserved<std::int64_t>();
  std::vector<SQL_TIMESTAMP_STRUCT> times_ = Reserved<SQL_TIMESTAMP_STRUCT>();
  std::vector<SQLLEN> indicators_ = Reserved<SQLLEN>();

  template <typename T>
  static std::vector<T> Reserved() {
    std::vector<T> v;
    v.reserve(kMaxParameters);
    return v;
  }
  static constexpr std::size_t kMaxParameters = 32;
};

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

constexpr const char* kInsertRecord =
    "INSERT INTO board_records (id, station, port, model, started_at, ended_at, duration_ms,"
    " result, reason, message, chip_main_id, chip_ext_id, chip_part, page_size, block_size,"
    " spare_size, blocks, uid, uid_text, format_after, erase_chip, fs_format, verify,"
    " duplicate_uid, job, lot, work_order, operator_name)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

constexpr const char* kInsertImage =
    "INSERT INTO board_images (record_id, position, file, size, sha256, first_page, end_page,"
    " blocks_skipped, written, verify) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// One chunk of records with their images, one row per image (or one row without),
// in the order the records started: those after the last one of the previous chunk
// (its start, its ID). A driver holds a whole result in memory, so a line's months
// are read a chunk at a time.
constexpr std::size_t kRecordsPerChunk = 500;  // the LIMIT below
constexpr const char* kSelectRecords =
    "SELECT r.id, r.station, r.port, r.model, r.started_at, r.ended_at, r.duration_ms, r.reason,"
    " r.message, r.chip_main_id, r.chip_ext_id, r.chip_part, r.page_size, r.block_size,"
    " r.spare_size, r.blocks, r.uid, r.uid_text, r.format_after, r.erase_chip, r.fs_format,"
    " r.verify, r.duplicate_uid, r.job, r.lot, r.work_order, r.operator_name, i.file, i.size, i.sha256, i.first_page, i.end_page,"
    " i.blocks_skipped, i.written, i.verify FROM (SELECT * FROM board_records"
    " WHERE started_at <= ? AND (started_at > ? OR (started_at = ? AND id > ?))"
    " ORDER BY started_at, id LIMIT 500) r"  // kRecordsPerChunk
    " LEFT JOIN board_images i ON i.record_id = r.id ORDER BY r.started_at, r.id, i.position";

class OdbcRecordDatabase final : public RecordDatabase {
 public:
  explicit OdbcRecordDatabase(std::string connection) : connection_(std::move(connection)) {}
  ~OdbcRecordDatabase() override {
    Close();
    if (environment_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment_);
  }

  bool Open(std::string& error) override {
    if (dbc_ != SQL_NULL_HDBC) return true;
    checkSchema_ = true;
    return Connect(error);
  }

  // Connects; with checkSchema_ also checks the tables' version.
  // The driver manager's environment, made once.
  bool StartEnvironment(std::string& error) {
    if (environment_ != SQL_NULL_HENV) return true;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_))) {
      error = "the ODBC driver manager could not be started";
      return false;
    }
    SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, AttributeValue(SQL_OV_ODBC3), 0);
    return true;
  }

  bool Connect(std::string& error) {
    if (dbc_ != SQL_NULL_HDBC) return true;
    if (!StartEnvironment(error)) return false;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, environment_, &dbc_))) {
      error = Diagnostics(SQL_HANDLE_ENV, environment_);
      dbc_ = SQL_NULL_HDBC;
      return false;
    }
    // A server that is away must not hold the sync for long; it tries again later.
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, AttributeValue(5), 0);
    ResolvedConnection resolved = ResolveConnection(connection_);
    if (!resolved.error.empty()) {
      error = resolved.error;
      SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
      dbc_ = SQL_NULL_HDBC;
      return false;
    }
    secrets_ = resolved.secrets;
    std::array<SQLCHAR, 1024> completed{};
    SQLSMALLINT length = 0;
    const SQLRETURN r = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(resolved.text.data()),
                                         SQL_NTS, completed.data(), completed.size(), &length,
                                         SQL_DRIVER_NOPROMPT);
    // The completed string may hold the password: it is not kept.
    completed.fill(0);
    std::fill(resolved.text.begin(), resolved.text.end(), '\0');
    if (!Ok(r)) {
      error = Hidden(Diagnostics(SQL_HANDLE_DBC, dbc_));
      SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
      dbc_ = SQL_NULL_HDBC;
      return false;
    }
    connected_ = true;
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, AttributeValue(SQL_AUTOCOMMIT_OFF), 0);
    if (checkSchema_ && !CheckSchema(error)) {
      Close();
      return false;
    }
    checkSchema_ = false;
    return true;
  }

  bool InitSchema(int& before, std::string& error) override {
    Close();
    checkSchema_ = false;
    if (!Connect(error)) return false;
    const bool done = CreateOrUpgrade(before, error);
    Close();
    return done;
  }

  void Close() override {
    if (dbc_ == SQL_NULL_HDBC) return;
    if (connected_) {
      SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
      SQLDisconnect(dbc_);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    dbc_ = SQL_NULL_HDBC;
    connected_ = false;
  }

  InsertResult Insert(const BoardRecord& record) override {
    InsertResult result;
    if (!Open(result.error)) return result;
    // A second try covers a race with another station or a second sync: the
    // integrity error it gets means the row it is about to add is there now.
    std::string state;
    for (int attempt = 0; attempt < 2; ++attempt) {
      state.clear();
      result = TryInsert(record, state);
      if (result.outcome == InsertOutcome::kFailed) {
        SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
      } else if (!Ok(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT))) {
        // Only a commit the server confirmed counts as sent: a server that went away
        // in between gets the record again, and its ID tells if it arrived after all.
        result = {InsertOutcome::kFailed, {}, {}, Diagnostics(SQL_HANDLE_DBC, dbc_, &state)};
      }
      if (result.outcome != InsertOutcome::kFailed || !state.starts_with("23")) break;
    }
    // Class 22 is the record's own data (a day that does not exist, a value out of
    // range): the connection is fine, and the records after it go on.
    if (result.outcome == InsertOutcome::kFailed && state.starts_with("22")) {
      result.outcome = InsertOutcome::kRejected;
      return result;
    }
    if (result.outcome == InsertOutcome::kFailed) Close();
    return result;
  }

  bool Duplicates(DuplicateIds& out, std::string& error) override {
    if (!Open(error)) return false;
    Statement select(dbc_, "SELECT d.id, f.id FROM board_records d JOIN board_records f ON f.uid = d.uid"
                           " AND f.result = 'passed' AND f.duplicate_uid = 0 WHERE d.duplicate_uid = 1");
    if (select.Execute()) {
      while (select.Fetch()) out[select.GetText(1).value_or("")] = select.GetText(2).value_or("");
    }
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT);
    if (select.ok()) return true;
    error = select.error();
    Close();
    return false;
  }

  bool ForEach(std::string_view fromDay, std::string_view toDay, const DatabaseRecordVisitor& visit,
               std::string& error) override {
    if (!Open(error)) return false;
    const auto day = [](std::string_view text, std::string_view fallback, std::string_view clock) {
      return ParseRecordTime(std::string(text.empty() ? fallback : text) + std::string(clock));
    };
    const auto from = day(fromDay, "0001-01-01", "T00:00:00.000");
    const auto to = day(toDay, "9999-12-31", "T23:59:59.999");
    if (!from || !to) {
      error = "days are given as YYYY-MM-DD";
      return false;
    }
    LocalTime after = *from;
    std::string afterId;  // "" sorts before every ID: the first chunk starts at `from`
    BoardRecord record;
    for (;;) {
      Statement select(dbc_, kSelectRecords);
      // The first chunk takes records that start exactly at `from` too.
      select.Time(*to).Time(after).Time(after).Text(afterId);
      bool duplicate = false, pending = false;
      std::size_t records = 0;
      if (select.Execute()) {
        while (select.Fetch()) {
          const std::string id = select.GetText(1).value_or("");
          if (!pending || id != record.id.View()) {
            if (pending) visit(record, duplicate);
            duplicate = ReadRecordColumns(select, id, record);
            pending = true;
            ++records;
          }
          ReadImageColumns(select, record);
        }
      }
      SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT);
      if (!select.ok()) {
        error = select.error();
        Close();
        return false;
      }
      if (pending) visit(record, duplicate);
      if (records < kRecordsPerChunk) return true;
      after = record.start;
      afterId = std::string(record.id.View());
    }
  }

 private:
  bool Run(const char* sql, std::string& error) {
    Statement statement(dbc_, sql);
    if (statement.Execute()) return true;
    error = statement.error();
    return false;
  }

  // The tables' version, 0 when there are none yet; nullopt after an error.
  std::optional<std::int64_t> SchemaVersion(std::string& error) {
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

  // A station only reads and inserts: the tables are made by init-db.
  bool CheckSchema(std::string& error) {
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

  // Creates the tables, or brings older ones to this version, in one transaction.
  bool CreateOrUpgrade(int& before, std::string& error) {
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

  std::string Hidden(std::string text) const { return HideSecrets(std::move(text), secrets_); }

  InsertResult TryInsert(const BoardRecord& r, std::string& state) {
    InsertResult result;
    const std::string id(r.id.View());
    Statement known(dbc_, "SELECT COUNT(*) FROM board_records WHERE id = ?");
    known.Text(id);
    if (!known.Execute() || !known.Fetch()) {
      Fail(known, result, state);
      return result;
    }
    if (known.GetNumber(1).value_or(0) > 0) return {InsertOutcome::kAlreadyStored, {}, {}, {}};

    std::string uid;
    if (r.hasUid) AppendHex(uid, r.uid);
    bool duplicate = false;
    if (r.Passed() && r.hasUid && !FindFirstBurn(r, id, uid, duplicate, result, state)) return result;
    if (!InsertRecordRow(r, id, uid, duplicate, result, state)) return result;
    if (!InsertImageRows(r, id, result, state)) return result;
    result.outcome = result.duplicateId.empty() ? InsertOutcome::kInserted : InsertOutcome::kDuplicateUid;
    return result;
  }

  // Tells the statement's failure in `result` and `state`; false, for the step to return.
  static bool Fail(const Statement& s, InsertResult& result, std::string& state) {
    result.outcome = InsertOutcome::kFailed;
    result.error = s.error();
    state = s.state();
    return false;
  }

  // Looks for an earlier passed burn of the same UID and decides which of the two is
  // the duplicate; false when a statement failed (told in `result`).
  bool FindFirstBurn(const BoardRecord& r, const std::string& id, const std::string& uid, bool& duplicate,
                     InsertResult& result, std::string& state) {
    Statement first(dbc_, "SELECT id, started_at FROM board_records WHERE uid = ? AND result = 'passed'"
                          " AND duplicate_uid = 0");
    first.Text(uid);
    if (!first.Execute()) return Fail(first, result, state);
    if (!first.Fetch()) {
      if (first.ok()) return true;  // no earlier burn
      return Fail(first, result, state);
    }
    std::string firstId = first.GetText(1).value_or("");
    const LocalTime firstStart = first.GetTime(2);
    // The earlier burn is the first, whichever station sent its record first.
    const std::string mine = FormatRecordTime(r.start).CStr(), theirs = FormatRecordTime(firstStart).CStr();
    if (std::pair(theirs, firstId) <= std::pair(mine, id)) {
      duplicate = true;
      result.firstId = std::move(firstId);
      result.duplicateId = id;
      return true;
    }
    Statement mark(dbc_, "UPDATE board_records SET duplicate_uid = 1 WHERE id = ?");
    mark.Text(firstId);
    if (!mark.Execute()) return Fail(mark, result, state);
    result.firstId = id;
    result.duplicateId = std::move(firstId);
    return true;
  }

  bool InsertRecordRow(const BoardRecord& r, const std::string& id, const std::string& uid, bool duplicate,
                       InsertResult& result, std::string& state) {
    const ChipRecord& c = r.chip;
    Statement insert(dbc_, kInsertRecord);
    insert.Text(id).Text(r.station.View()).Number(r.port).Text(r.model.View());
    insert.Time(r.start).Time(r.end).Number(static_cast<std::int64_t>(r.durationMs));
    insert.Text(r.Passed() ? "passed" : "failed").Text(BurnEndCode(r.reason)).Text(r.message.View());
    insert.Number(c.mainId, !c.known).Number(c.extId, !c.known).Text(c.part.View(), !c.known);
    insert.Number(c.pageSize, !c.known).Number(c.blockSize, !c.known);
    insert.Number(c.spareSize, !c.known).Number(c.blocks, !c.known);
    insert.Text(uid, !r.hasUid).Text(r.uidText.View(), !r.hasUid);
    insert.Number(r.options.formatAfter).Number(r.options.eraseChip);
    insert.Number(r.options.fsFormat).Number(r.options.verify).Number(duplicate);
    const JobIdentity& job = r.identity;
    insert.Text(job.job.View()).Text(job.lot.View()).Text(job.workOrder.View()).Text(job.operatorName.View());
    return insert.Execute() || Fail(insert, result, state);
  }

  bool InsertImageRows(const BoardRecord& r, const std::string& id, InsertResult& result, std::string& state) {
    for (std::size_t i = 0; i < r.imageCount; ++i) {
      const ImageRecord& m = r.images[i];
      std::string sha;
      AppendHex(sha, m.sha256);
      Statement image(dbc_, kInsertImage);
      image.Text(id).Number(static_cast<std::int64_t>(i)).Text(m.file.View());
      image.Number(static_cast<std::int64_t>(m.size)).Text(sha, !m.hashed);
      image.Number(m.firstPage).Number(m.endPage).Number(m.blocksSkipped).Number(m.written);
      image.Text(kVerifyCodes[static_cast<std::size_t>(m.verify)]);
      if (!image.Execute()) return Fail(image, result, state);
    }
    return true;
  }

  // The record's own columns (1..27); returns its duplicate_uid mark.
  static bool ReadRecordColumns(Statement& s, const std::string& id, BoardRecord& r) {
    r = BoardRecord{};
    r.id.Assign(id);
    r.station.Assign(s.GetText(2).value_or(""));
    r.port = static_cast<std::int32_t>(s.GetNumber(3).value_or(0));
    r.model.Assign(s.GetText(4).value_or(""));
    r.start = s.GetTime(5);
    r.end = s.GetTime(6);
    r.durationMs = static_cast<std::uint64_t>(s.GetNumber(7).value_or(0));
    r.reason = BurnEndFromCode(s.GetText(8).value_or("")).value_or(BurnEnd::kNone);
    r.message.Assign(s.GetText(9).value_or(""));
    if (const auto mainId = s.GetNumber(10)) {
      r.chip.known = true;
      r.chip.mainId = static_cast<std::uint16_t>(*mainId);
      r.chip.extId = static_cast<std::uint32_t>(s.GetNumber(11).value_or(0));
      r.chip.part.Assign(s.GetText(12).value_or(""));
      r.chip.pageSize = static_cast<std::uint32_t>(s.GetNumber(13).value_or(0));
      r.chip.blockSize = static_cast<std::uint32_t>(s.GetNumber(14).value_or(0));
      r.chip.spareSize = static_cast<std::uint32_t>(s.GetNumber(15).value_or(0));
      r.chip.blocks = static_cast<std::uint32_t>(s.GetNumber(16).value_or(0));
    }
    if (const auto uid = s.GetText(17)) r.hasUid = ParseHex(*uid, r.uid);
    r.uidText.Assign(s.GetText(18).value_or(""));
    r.options.formatAfter = s.GetNumber(19).value_or(0) != 0;
    r.options.eraseChip = s.GetNumber(20).value_or(0) != 0;
    r.options.fsFormat = s.GetNumber(21).value_or(0) != 0;
    r.options.verify = s.GetNumber(22).value_or(0) != 0;
    const bool duplicate = s.GetNumber(23).value_or(0) != 0;
    r.identity.job.Assign(s.GetText(24).value_or(""));
    r.identity.lot.Assign(s.GetText(25).value_or(""));
    r.identity.workOrder.Assign(s.GetText(26).value_or(""));
    r.identity.operatorName.Assign(s.GetText(27).value_or(""));
    return duplicate;
  }

  // The joined image columns (28..35), absent for a record without images.
  static void ReadImageColumns(Statement& s, BoardRecord& r) {
    const auto file = s.GetText(28);
    if (!file || r.imageCount >= r.images.size()) return;
    ImageRecord& m = r.images[r.imageCount++];
    m.file.Assign(*file);
    m.size = static_cast<std::uint64_t>(s.GetNumber(29).value_or(0));
    if (const auto sha = s.GetText(30)) m.hashed = ParseHex(*sha, m.sha256);
    m.firstPage = static_cast<std::uint32_t>(s.GetNumber(31).value_or(0));
    m.endPage = static_cast<std::uint32_t>(s.GetNumber(32).value_or(0));
    m.blocksSkipped = static_cast<std::uint32_t>(s.GetNumber(33).value_or(0));
    m.written = s.GetNumber(34).value_or(0) != 0;
    const std::string verify = s.GetText(35).value_or("");
    for (std::size_t code = 0; code < kVerifyCodes.size(); ++code) {
      if (kVerifyCodes[code] == verify) m.verify = static_cast<VerifyOutcome>(code);
    }
  }

  std::string connection_;
  std::vector<std::string> secrets_;  // the password's text, kept out of every message
  bool checkSchema_ = false;
  SQLHENV environment_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

}  // namespace

std::unique_ptr<RecordDatabase> MakeOdbcRecordDatabase(std::string connection) {
  return std::make_unique<OdbcRecordDatabase>(std::move(connection));
}

}  // namespace korvex
