#pragma once
// What both station shells say about the build they are: `korvex --version` and
// `korvex.exe --version` print VersionText, each naming its own device backend.

#include <string>
#include <string_view>

namespace korvex {

// "1.0.0", the project's version.
std::string_view VersionNumber();
// The commit the build was configured from; empty outside a git checkout.
std::string_view BuildCommit();
// "GCC 12.2.0", "clang 16.0.6", as the compiler names itself.
std::string CompilerText();

// Three lines:
//   <program> 1.0.0 (commit 0123456789ab)
//   compiler: GCC 12.2.0
//   device backend: <backend>
std::string VersionText(std::string_view program, std::string_view backend);

}  // namespace korvex
