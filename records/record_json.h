#pragma once
// A board record as one line of JSON, the form of the local record files
// (docs/records.md lists every field).

#include <string>
#include <string_view>

#include "records/board_record.h"

namespace korvex {

// The version a record is written in. Version 1 numbered ports 0..7; version 2
// numbers them 1..8 as the operator's screen does. A reader takes both and ignores
// keys it does not know, so a field added later needs no new version unless an old
// field changes meaning.
inline constexpr int kRecordFormatVersion = 2;

// Appends the record as one JSON object and a newline.
void AppendRecordJson(std::string& out, const BoardRecord& record);

// Reads one line (without its newline) back, of any version this station knows;
// false when it is not a whole record, e.g. a line torn by a crash, or holds a day
// that does not exist.
bool ParseRecordJson(std::string_view line, BoardRecord& record);

}  // namespace korvex
