#pragma once
// The core speaks UTF-8; the wide-character Windows API speaks UTF-16. These convert
// at that boundary so Chinese texts and paths survive on any system code page.

#include <string>
#include <string_view>

namespace korvex {

// Malformed input becomes U+FFFD rather than failing: a garbled character in a message
// box or a path that then does not exist is better than losing the whole text.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

}  // namespace korvex
