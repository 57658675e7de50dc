#include "records/odbc/odbc_statement.h"

#include <algorithm>
#include <array>

namespace korvex::odbc {
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

}  // namespace

bool Ok(SQLRETURN r) { return r == SQL_SUCCESS || r == SQL_SUCCESS_WITH_INFO; }

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle, std::string* firstState) {
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

Statement::Statement(SQLHDBC connection, const char* sql) {
  ok_ = Ok(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle_));
  if (!ok_) {
    error_ = Diagnostics(SQL_HANDLE_DBC, connection, &state_);
    return;
  }
  Check(SQLPrepare(handle_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)), SQL_NTS));
}

Statement::~Statement() {
  if (handle_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, handle_);
}

Statement& Statement::Text(std::string_view text, bool null) {
  texts_.push_back(Utf16(text));
  indicators_.push_back(null ? SQL_NULL_DATA : static_cast<SQLLEN>(texts_.back().size() * 2));
  const SQLULEN size = std::max<SQLULEN>(texts_.back().size(), 1);
  return Bind(SQL_C_WCHAR, SQL_WVARCHAR, size, 0, texts_.back().data());
}

Statement& Statement::Number(std::int64_t value, bool null) {
  numbers_.push_back(value);
  indicators_.push_back(null ? SQL_NULL_DATA : 0);
  return Bind(SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &numbers_.back());
}

Statement& Statement::Time(const LocalTime& time) {
  times_.push_back(ToTimestamp(time));
  indicators_.push_back(0);
  return Bind(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3, &times_.back());
}

bool Statement::Execute() {
  if (!ok_) return false;
  const SQLRETURN r = SQLExecute(handle_);
  return r == SQL_NO_DATA || Check(r);
}

bool Statement::Fetch() {
  if (!ok_) return false;
  const SQLRETURN r = SQLFetch(handle_);
  return r != SQL_NO_DATA && Check(r);
}

std::optional<std::string> Statement::GetText(SQLUSMALLINT column) {
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

std::optional<std::int64_t> Statement::GetNumber(SQLUSMALLINT column) {
  std::int64_t value = 0;
  SQLLEN length = 0;
  if (!Check(SQLGetData(handle_, column, SQL_C_SBIGINT, &value, sizeof value, &length)) ||
      length == SQL_NULL_DATA) {
    return std::nullopt;
  }
  return value;
}

LocalTime Statement::GetTime(SQLUSMALLINT column) {
  SQL_TIMESTAMP_STRUCT ts{};
  SQLLEN length = 0;
  Check(SQLGetData(handle_, column, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &length));
  return FromTimestamp(ts);
}

Statement& Statement::Bind(SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits,
                           void* data) {
  if (!ok_) return *this;
  const auto number = static_cast<SQLUSMALLINT>(indicators_.size());
  const SQLLEN bytes = cType == SQL_C_WCHAR ? static_cast<SQLLEN>(texts_.back().size() * 2) : 0;
  Check(SQLBindParameter(handle_, number, SQL_PARAM_INPUT, cType, sqlType, size, digits, data,
                         bytes, &indicators_.back()));
  return *this;
}

bool Statement::Check(SQLRETURN r) {
  if (Ok(r) || !ok_) return ok_ && Ok(r);
  ok_ = false;
  error_ = Diagnostics(SQL_HANDLE_STMT, handle_, &state_);
  return false;
}

}  // namespace korvex::odbc
