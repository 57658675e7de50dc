#include "shell/about.h"

#include "korvex_version.h"

namespace korvex {

std::string_view VersionNumber() { return KORVEX_VERSION_TEXT; }

std::string_view BuildCommit() { return KORVEX_GIT_COMMIT; }

std::string CompilerText() {
#if defined(__clang__)
  return "clang " __clang_version__;
#elif defined(__GNUC__)
  return "GCC " __VERSION__;
#elif defined(_MSC_VER)
  return "MSVC " + std::to_string(_MSC_VER);
#else
  return "unknown compiler";
#endif
}

std::string VersionText(std::string_view program, std::string_view backend) {
  std::string text(program);
  text += ' ';
  text += VersionNumber();
  if (!BuildCommit().empty()) {
    text += " (commit ";
    text += BuildCommit();
    text += ')';
  }
  text += "\ncompiler: " + CompilerText() + "\ndevice backend: ";
  text += backend;
  text += '\n';
  return text;
}

}  // namespace korvex
