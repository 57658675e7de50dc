#include "cli/cli_args.h"

#include <charconv>
#include <iostream>

#include "cli/commands.h"
#include "cli/json.h"

namespace korvex::cli {

namespace {

bool g_jsonErrors = false;

int TellError(const std::string& message, int exitCode) {
  std::cerr << "korvex: " << message << "\n";
  if (g_jsonErrors) {
    std::cout << JsonObject().Add("type", "error").Add("exit", exitCode).Add("text", message).Str() << std::endl;
  }
  return exitCode;
}

}  // namespace

void SetJsonErrors(bool json) { g_jsonErrors = json; }
int UsageError(const std::string& message) { return TellError(message, kExitUsage); }
int CommandError(const std::string& message) { return TellError(message, kExitFailed); }

std::optional<ParsedArgs> ParseArgs(std::span<const std::string> args,
                                    std::span<const OptionSpec> specs, std::string& error) {
  ParsedArgs parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
      parsed.positional.push_back(arg);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& s : specs) {
      if (s.name == name) spec = &s;
    }
    if (spec == nullptr) {
      error = "unknown option '" + name + "'";
      return std::nullopt;
    }
    if (!spec->takesValue) {
      if (equals != std::string::npos) {
        error = "option '" + name + "' takes no value";
        return std::nullopt;
      }
      parsed.options[name].push_back("");
    } else if (equals != std::string::npos) {
      parsed.options[name].push_back(arg.substr(equals + 1));
    } else if (i + 1 < args.size()) {
      parsed.options[name].push_back(args[++i]);
    } else {
      error = "option '" + name + "' needs a value";
      return std::nullopt;
    }
  }
  return parsed;
}

std::optional<std::uint32_t> ParseUnsigned(std::string_view text, int base) {
  if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace korvex::cli
