#pragma once
// Choosing records and showing them: the filter of `korvex records`, duplicate UIDs
// among the local records, and the table, CSV and JSON forms of a record.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "records/board_record.h"
#include "records/record_sync.h"

namespace korvex {

struct RecordFilter {
  std::string fromDay;  // "YYYY-MM-DD": records that started on or after that day
  std::string toDay;    // ... on or before that day
  std::string uid;      // part of the UID's hex digits, any case, spaces ignored
  std::string result;   // "passed", "failed" or a reason code
  std::string job;      // the job's name, exactly
  std::string lot;      // the lot, exactly

  // Empty when the filter is well-formed, else what is wrong with it.
  std::string Check() const;
  bool Matches(const BoardRecord& record) const;
};

// True for "YYYY-MM-DD" of a real calendar day.
bool IsDay(std::string_view text);

// Burned boards whose UID an earlier burned board already had: record ID -> the ID
// of the first one. From the local files, joined with what the database reported
// (the sync state), so boards of other stations count too.
DuplicateMap FindDuplicateUids(const std::filesystem::path& folder);

// The table's header, and one row per record.
std::string RecordTableHeader();
std::string RecordTableRow(const BoardRecord& record, std::string_view duplicateOf);
// CSV with a header line (RFC 4180 quoting).
std::string RecordCsvHeader();
std::string RecordCsvRow(const BoardRecord& record, std::string_view duplicateOf);
// The record's JSON line, with "duplicateOf" when its UID was burned before.
std::string RecordJsonLine(const BoardRecord& record, std::string_view duplicateOf);

}  // namespace korvex
