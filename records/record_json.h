#pragma once
// A board record as one line of JSON, the form of the local record files
// (docs/records.md lists every field).

#include <string>
#include <string_view>

#include "records/board_record.h"

namespace korvex {

inline constexpr int kRecordFormatVersion = 1;

// Appends the record as one JSON object and a newline.
void AppendRecordJson(std::string& out, const BoardRecord& record);

// Reads one line (without its newline) back; false when it is not a whole record of
// this format, e.g. a line torn by a crash.
bool ParseRecordJson(std::string_view line, BoardRecord& record);

}  // namespace korvex
