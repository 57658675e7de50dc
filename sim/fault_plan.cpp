// The text form of a fault plan, as the command line and scenario files give it:
// comma-separated key=value items in any order, each key at most once.

#include <charconv>
#include <limits>
#include <set>
#include <string>

#include "sim/board_setup.h"

namespace korvex::sim {
namespace {

constexpr std::string_view kKnownKeys =
    "unplug-after, unplug-at-page, fail-request, hang-after, bad, program-fail, random-bad, seed, "
    "corrupt-page, short-write, short-read";

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Decimal, or hexadecimal after 0x; no sign, no spaces, at most `max`.
std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t max) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || value > max) return std::nullopt;
  return value;
}

class ItemParser {
 public:
  ItemParser(std::string_view key, std::string_view value, std::string& error)
      : key_(key), value_(value), error_(error) {}

  bool Number(std::string_view text, std::uint64_t min, std::uint64_t max, std::uint64_t& out) {
    const auto value = ParseNumber(text, std::numeric_limits<std::uint64_t>::max());
    // Appended piecewise: GCC 12's -Wrestrict misfires on "literal" + std::string.
    if (!value) return Fail(std::string("\"").append(text).append("\" is not a number"));
    if (*value < min || *value > max) {
      return Fail(std::string(text) + " is out of range " + std::to_string(min) + ".." +
                  std::to_string(max));
    }
    out = *value;
    return true;
  }
  bool Whole(std::uint64_t min, std::uint64_t max, std::uint64_t& out) {
    return Number(value_, min, max, out);
  }
  bool Blocks(std::vector<std::uint32_t>& out) {
    std::string_view rest = value_;
    while (true) {
      const std::size_t semicolon = rest.find(';');
      std::uint64_t block = 0;
      if (!Number(Trim(rest.substr(0, semicolon)), 0, kMax32, block)) return false;
      out.push_back(static_cast<std::uint32_t>(block));
      if (semicolon == std::string_view::npos) return true;
      rest.remove_prefix(semicolon + 1);
    }
  }
  bool Fail(const std::string& why) {
    error_ = "fault \"" + std::string(key_) + "=" + std::string(value_) + "\": " + why;
    return false;
  }

  static constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
  static constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

 private:
  std::string_view key_;
  std::string_view value_;
  std::string& error_;
};

bool ParseItem(std::string_view key, std::string_view value, FaultPlan& plan, std::string& error) {
  ItemParser p(key, value, error);
  constexpr auto kMax32 = ItemParser::kMax32;
  constexpr auto kMax64 = ItemParser::kMax64;
  std::uint64_t n = 0;
  if (key == "unplug-after") {
    // Exchanges count from 1: "after exchange 0" would be no board at all.
    if (!p.Whole(1, kMax64, n)) return false;
    plan.unplugAfterExchange = n;
  } else if (key == "unplug-at-page") {
    if (!p.Whole(0, kMax32, n)) return false;
    plan.unplugAtPage = static_cast<std::uint32_t>(n);
  } else if (key == "fail-request") {
    const std::size_t at = value.find('@');
    if (!p.Number(Trim(value.substr(0, at)), 0, kMax32, n)) return false;
    plan.failRequest = static_cast<std::uint32_t>(n);
    plan.failRequestOccurrence = 1;
    if (at != std::string_view::npos) {
      if (!p.Number(Trim(value.substr(at + 1)), 1, kMax32, n)) return false;
      plan.failRequestOccurrence = static_cast<std::uint32_t>(n);
    }
  } else if (key == "hang-after") {
    if (!p.Whole(0, kMax64, n)) return false;  // 0: the board never answers
    plan.hangAfterExchange = n;
  } else if (key == "bad") {
    return p.Blocks(plan.badBlocks);
  } else if (key == "program-fail") {
    return p.Blocks(plan.programFailBlocks);
  } else if (key == "random-bad") {
    if (!p.Whole(0, kMax32, n)) return false;
    plan.randomBadBlocks = static_cast<std::uint32_t>(n);
  } else if (key == "short-write" || key == "short-read") {
    if (!p.Whole(1, kMax64, n)) return false;  // counted from 1, as the board counts them
    (key == "short-write" ? plan.shortWrite : plan.shortRead) = n;
  } else if (key == "corrupt-page") {
    if (!p.Whole(0, kMax32, n)) return false;
    plan.corruptPage = static_cast<std::uint32_t>(n);
  } else if (key == "seed") {
    if (!p.Whole(0, kMax64, n)) return false;
    plan.seed = n;
  } else {
    error = "unknown fault \"" + std::string(key) + "\" (known: " + std::string(kKnownKeys) + ")";
    return false;
  }
  return true;
}

}  // namespace

std::optional<FaultPlan> ParseFaultPlan(std::string_view text, std::string& error) {
  FaultPlan plan;
  if (!ParseFaultPlanOnto(text, plan, error)) return std::nullopt;
  return plan;
}

bool ParseFaultPlanOnto(std::string_view text, FaultPlan& plan, std::string& error) {
  std::set<std::string, std::less<>> seen;
  if (Trim(text).empty()) return true;
  while (true) {
    const std::size_t comma = text.find(',');
    const std::string_view item = Trim(text.substr(0, comma));
    if (item.empty()) {
      error = "empty fault item (two commas in a row, or a comma at an end)";
      return false;
    }
    const std::size_t equals = item.find('=');
    const std::string_view key = Trim(item.substr(0, equals));
    if (equals == std::string_view::npos || Trim(item.substr(equals + 1)).empty()) {
      error = "fault \"" + std::string(item) + "\" needs a value: " + std::string(key) + "=...";
      return false;
    }
    if (!seen.insert(std::string(key)).second) {
      error = "fault \"" + std::string(key) + "\" is given twice";
      return false;
    }
    if (!ParseItem(key, Trim(item.substr(equals + 1)), plan, error)) return false;
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

void ClearLinkFaults(FaultPlan& plan) {
  plan.unplugAfterExchange.reset();
  plan.unplugAtPage.reset();
  plan.failRequest.reset();
  plan.failRequestOccurrence = 1;
  plan.hangAfterExchange.reset();
  plan.shortWrite.reset();
  plan.shortRead.reset();
}

}  // namespace korvex::sim
