#pragma once
// Plain English for the console. The station's own texts (message boxes, Chinese or
// misspelt as the window and the production log keep them) never stand alone on the
// console: each is led by what is wrong and what to do, the original in parentheses.

#include <string>
#include <string_view>

namespace korvex::cli {

// "what is wrong and what to do (original)" for a known station text; a text of ours
// that is plain English already comes back as it is; any other gets a plain lead.
std::string Explained(std::string_view text);

// The lead alone, empty for a text that needs none.
std::string PlainLead(std::string_view text);

}  // namespace korvex::cli
