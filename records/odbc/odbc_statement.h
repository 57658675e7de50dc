#pragma once
// The ODBC side the database's parts share: return codes, a handle's diagnostics and
// a prepared statement with its bound parameters and the columns it reads back.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

namespace korvex::odbc {

bool Ok(SQLRETURN r);

// "SQLSTATE message" of every diagnostic record of a handle, and the first state.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle, std::string* firstState = nullptr);

// A statement with its parameters. Parameter buffers live in the statement until it
// is executed, so the bound pointers stay valid.
class Statement {
 public:
  Statement(SQLHDBC connection, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Text(std::string_view text, bool null = false);
  Statement& Number(std::int64_t value, bool null = false);
  Statement& Time(const LocalTime& time);

  // An UPDATE or DELETE that touched no row answers SQL_NO_DATA: done all the same.
  bool Execute();
  // False at the end of the rows (or on an error: see ok()).
  bool Fetch();

  std::optional<std::string> GetText(SQLUSMALLINT column);
  std::optional<std::int64_t> GetNumber(SQLUSMALLINT column);
  LocalTime GetTime(SQLUSMALLINT column);

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  const std::string& state() const { return state_; }

 private:
  Statement& Bind(SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, void* data);
  bool Check(SQLRETURN r);

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

}  // namespace korvex::odbc
