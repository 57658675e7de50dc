#include "records/odbc/odbc_database.h"

#include "records/connection_string.h"
#include "records/odbc/odbc_record_database.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace korvex::odbc {
namespace {

// Integer attribute values travel in the pointer argument.
SQLPOINTER AttributeValue(std::uintptr_t value) { return reinterpret_cast<SQLPOINTER>(value); }

}  // namespace

OdbcRecordDatabase::~OdbcRecordDatabase() {
  Close();
  if (environment_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, environment_);
}

bool OdbcRecordDatabase::Open(std::string& error) {
  if (dbc_ != SQL_NULL_HDBC) return true;
  checkSchema_ = true;
  return Connect(error);
}

bool OdbcRecordDatabase::StartEnvironment(std::string& error) {
  if (environment_ != SQL_NULL_HENV) return true;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_))) {
    error = "the ODBC driver manager could not be started";
    return false;
  }
  SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, AttributeValue(SQL_OV_ODBC3), 0);
  return true;
}

bool OdbcRecordDatabase::Connect(std::string& error) {
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

void OdbcRecordDatabase::Close() {
  if (dbc_ == SQL_NULL_HDBC) return;
  if (connected_) {
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    SQLDisconnect(dbc_);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  dbc_ = SQL_NULL_HDBC;
  connected_ = false;
}

std::string OdbcRecordDatabase::Hidden(std::string text) const { return HideSecrets(std::move(text), secrets_); }

}  // namespace korvex::odbc

namespace korvex {

std::unique_ptr<RecordDatabase> MakeOdbcRecordDatabase(std::string connection) {
  return std::make_unique<odbc::OdbcRecordDatabase>(std::move(connection));
}

}  // namespace korvex
