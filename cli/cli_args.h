#pragma once
// Command-line parsing shared by every korvex command. A usage error is one line on
// stderr and exit code 2, before anything is written.

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct OptionSpec {
  std::string_view name;  // "--home"
  bool takesValue;
};

struct ParsedArgs {
  // Every value an option was given, in order; a flag's values are "".
  std::map<std::string, std::vector<std::string>, std::less<>> options;
  std::vector<std::string> positional;

  bool Has(std::string_view name) const { return options.find(name) != options.end(); }
  // The last value given: an option given again replaces its earlier value ...
  std::string Get(std::string_view name, std::string fallback = {}) const {
    const auto it = options.find(name);
    return it == options.end() ? fallback : it->second.back();
  }
  // ... unless the command reads every value, as of --sim-fault.
  std::vector<std::string> GetAll(std::string_view name) const {
    const auto it = options.find(name);
    return it == options.end() ? std::vector<std::string>{} : it->second;
  }
};

// Options may appear anywhere; "--name=value" and "--name value" both work.
std::optional<ParsedArgs> ParseArgs(std::span<const std::string> args,
                                    std::span<const OptionSpec> specs, std::string& error);

// Whole-string unsigned numbers in the given base (16 accepts an optional 0x prefix).
std::optional<std::uint32_t> ParseUnsigned(std::string_view text, int base);

}  // namespace korvex::cli
