#pragma once
// The line database's ODBC connection string as the station hands it to the driver
// manager. The password need not be written into it: `PwdEnv=NAME` takes it from the
// environment variable NAME (a DSN with a stored password serves as well), and no
// message ever shows the password's text.

#include <string>
#include <string_view>
#include <vector>

namespace korvex {

struct ResolvedConnection {
  std::string text;                  // for SQLDriverConnect
  std::vector<std::string> secrets;  // texts no message may show
  std::string error;                 // e.g. the variable is not set
};

// Replaces PwdEnv=NAME by Pwd={value of NAME}; keys in any case.
ResolvedConnection ResolveConnection(std::string_view connection,
                                     const char* (*getenv)(const char*) = nullptr);

// The text with every secret replaced by "***".
std::string HideSecrets(std::string text, const std::vector<std::string>& secrets);

}  // namespace korvex
