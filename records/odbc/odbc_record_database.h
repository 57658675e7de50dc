#pragma once
// The RecordDatabase over ODBC, in parts: the connection (odbc_database.cpp), the
// tables and their versions (odbc_schema.cpp), inserting records (odbc_insert.cpp)
// and reading them back (odbc_query.cpp).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/odbc/odbc_database.h"
#include "records/odbc/odbc_statement.h"

namespace korvex::odbc {

class OdbcRecordDatabase final : public RecordDatabase {
 public:
  explicit OdbcRecordDatabase(std::string connection) : connection_(std::move(connection)) {}
  ~OdbcRecordDatabase() override;

  bool Open(std::string& error) override;
  bool InitSchema(int& before, std::string& error) override;
  void Close() override;
  InsertResult Insert(const BoardRecord& record) override;
  bool Duplicates(DuplicateIds& out, std::string& error) override;
  bool ForEach(std::string_view fromDay, std::string_view toDay, const DatabaseRecordVisitor& visit,
               std::string& error) override;

 private:
  // The driver manager's environment, made once.
  bool StartEnvironment(std::string& error);
  // Connects; with checkSchema_ also checks the tables' version.
  bool Connect(std::string& error);
  std::string Hidden(std::string text) const;

  bool Run(const char* sql, std::string& error);
  // The tables' version, 0 when there are none yet; nullopt after an error.
  std::optional<std::int64_t> SchemaVersion(std::string& error);
  // A station only reads and inserts: the tables are made by init-db.
  bool CheckSchema(std::string& error);
  // Creates the tables, or brings older ones to this version, in one transaction.
  bool CreateOrUpgrade(int& before, std::string& error);

  InsertResult TryInsert(const BoardRecord& r, std::string& state);
  // Tells the statement's failure in `result` and `state`; false, for the step to return.
  static bool Fail(const Statement& s, InsertResult& result, std::string& state);
  // Looks for an earlier passed burn of the same UID and decides which of the two is
  // the duplicate; false when a statement failed (told in `result`).
  bool FindFirstBurn(const BoardRecord& r, const std::string& id, const std::string& uid, bool& duplicate,
                     InsertResult& result, std::string& state);
  bool InsertRecordRow(const BoardRecord& r, const std::string& id, const std::string& uid, bool duplicate,
                       InsertResult& result, std::string& state);
  bool InsertImageRows(const BoardRecord& r, const std::string& id, InsertResult& result, std::string& state);

  // The record's own columns (1..27); returns its duplicate_uid mark.
  static bool ReadRecordColumns(Statement& s, const std::string& id, BoardRecord& r);
  // The joined image columns (28..35), absent for a record without images.
  static void ReadImageColumns(Statement& s, BoardRecord& r);

  std::string connection_;
  std::vector<std::string> secrets_;  // the password's text, kept out of every message
  bool checkSchema_ = false;
  SQLHENV environment_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

}  // namespace korvex::odbc
