#include "records/connection_string.h"

#include <cstdlib>

namespace korvex {
namespace {

struct Attribute {
  std::string key, value;
};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return out;
}

// "KEY=value;KEY={va;lue}" into its attributes; a braced value may hold ';' ('}}' is '}').
std::vector<Attribute> Split(std::string_view text) {
  std::vector<Attribute> attributes;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t equals = text.find('=', at);
    if (equals == std::string_view::npos) break;
    Attribute attribute{std::string(text.substr(at, equals - at)), {}};
    at = equals + 1;
    if (at < text.size() && text[at] == '{') {
      for (++at; at < text.size(); ++at) {
        if (text[at] == '}' && (at + 1 >= text.size() || text[at + 1] != '}')) break;
        if (text[at] == '}') ++at;
        attribute.value += text[at];
      }
      at = text.find(';', at);
    } else {
      const std::size_t end = text.find(';', at);
      attribute.value = std::string(text.substr(at, end == std::string_view::npos ? text.npos : end - at));
      at = end;
    }
    attributes.push_back(std::move(attribute));
    if (at == std::string_view::npos) break;
    ++at;
  }
  return attributes;
}

const char* SystemGetenv(const char* name) { return std::getenv(name); }

}  // namespace

ResolvedConnection ResolveConnection(std::string_view connection, const char* (*getenv)(const char*)) {
  if (getenv == nullptr) getenv = &SystemGetenv;
  ResolvedConnection resolved;
  std::string fromEnvironment;
  bool named = false;
  for (const Attribute& attribute : Split(connection)) {
    const std::string key = Lower(attribute.key);
    if (key == "pwd" || key == "password") {
      if (!attribute.value.empty()) resolved.secrets.push_back(attribute.value);
    } else if (key == "pwdenv") {
      const char* found = getenv(attribute.value.c_str());
      if (found == nullptr) {
        resolved.error = "the environment variable " + attribute.value +
                         " that PwdEnv names for the database's password is not set";
        return resolved;
      }
      named = true;
      fromEnvironment = found;
      if (!fromEnvironment.empty()) resolved.secrets.push_back(fromEnvironment);
    }
  }
  if (!named) {
    resolved.text = connection;
    return resolved;
  }
  // The driver does not know PwdEnv: it goes, and the password it named comes in
  // braces, so a ';' or '}' in it stays in it.
  for (const std::string_view part : [&] {
         std::vector<std::string_view> parts;
         for (std::size_t at = 0; at <= connection.size();) {
           const std::size_t end = connection.find(';', at);
           parts.push_back(connection.substr(at, end == std::string_view::npos ? connection.npos : end - at));
           if (end == std::string_view::npos) break;
           at = end + 1;
         }
         return parts;
       }()) {
    if (part.empty() || Lower(part.substr(0, part.find('='))) == "pwdenv") continue;
    resolved.text += std::string(part) + ";";
  }
  std::string braced;
  for (const char c : fromEnvironment) braced += c == '}' ? std::string("}}") : std::string(1, c);
  resolved.text += "PWD={" + braced + "};";
  return resolved;
}

std::string HideSecrets(std::string text, const std::vector<std::string>& secrets) {
  for (const std::string& secret : secrets) {
    for (std::size_t at; (at = text.find(secret)) != std::string::npos;) text.replace(at, secret.size(), "***");
  }
  return text;
}

}  // namespace korvex
