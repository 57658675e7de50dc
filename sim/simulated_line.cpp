#include "sim/simulated_line.h"

#include <algorithm>
#include <charconv>

namespace korvex::sim {
namespace {

std::optional<std::uint64_t> Decimal(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::chrono::milliseconds> Time(std::string_view text) {
  // An hour is more than any rehearsal needs, and keeps the sum far from overflow.
  constexpr std::uint64_t kMaxMs = 3'600'000;
  std::uint64_t scale = 1;
  if (text.ends_with("ms")) {
    text.remove_suffix(2);
  } else if (text.ends_with("s")) {
    text.remove_suffix(1);
    scale = 1000;
  } else {
    return std::nullopt;
  }
  const auto value = Decimal(text);
  if (!value || *value > kMaxMs / scale) return std::nullopt;
  return std::chrono::milliseconds(*value * scale);
}

std::optional<PlugAction> Action(std::string_view text) {
  if (text == "unplug") return PlugAction::kUnplug;
  if (text == "plug") return PlugAction::kPlug;
  if (text == "plug-new") return PlugAction::kPlugNew;
  return std::nullopt;
}

}  // namespace

std::optional<PlugEvent> ParsePlugEvent(std::string_view text, int maxPort, std::string& error) {
  const std::size_t first = text.find(':');
  const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (second == std::string_view::npos) {
    error = "takes TIME:ACTION:PORT, e.g. 5s:unplug:3";
    return std::nullopt;
  }
  const auto at = Time(text.substr(0, first));
  if (!at) {
    error = "the time \"" + std::string(text.substr(0, first)) +
            "\" is not a whole number of ms or s up to 3600s";
    return std::nullopt;
  }
  const std::string_view actionText = text.substr(first + 1, second - first - 1);
  const auto action = Action(actionText);
  if (!action) {
    error = "unknown action \"" + std::string(actionText) + "\" (known: unplug, plug, plug-new)";
    return std::nullopt;
  }
  const auto port = Decimal(text.substr(second + 1));
  if (!port || *port < 1 || *port > static_cast<std::uint64_t>(maxPort)) {
    error = "the port \"" + std::string(text.substr(second + 1)) + "\" is not one of 1.." +
            std::to_string(maxPort);
    return std::nullopt;
  }
  return PlugEvent{*at, *action, static_cast<int>(*port) - 1};
}

int SimulatedLine::UsbPorts() const {
  int ports = boards;
  for (const PlugEvent& event : events) ports = std::max(ports, event.usbPort + 1);
  if (!portFaults.empty()) ports = std::max(ports, portFaults.rbegin()->first + 1);
  return ports;
}

BoardSpec SimulatedLine::FirstBoardOn(int usbPort) const {
  BoardSpec first = board;
  if (const auto own = portFaults.find(usbPort); own != portFaults.end()) first.faults = own->second;
  return first;
}

}  // namespace korvex::sim
