#pragma once
// How a record's free text (messages, paths, names) is written into the report's HTML
// and into `records --csv`, apart from the forms that use them so both can be checked
// on their own.

#include <string>
#include <string_view>

namespace korvex {

// Text for HTML element content and quoted attribute values: & < > " ' as entities.
std::string HtmlEscape(std::string_view text);

// One CSV field (RFC 4180): quoted, with quotes doubled, only when it holds a comma,
// a quote or a line break; anything else, spaces and UTF-8 included, as it is.
std::string CsvField(std::string_view text);

}  // namespace korvex
