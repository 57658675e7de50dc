#pragma once
// The one window message a worker sends about its port, and the rows it updates.
// Workers send it synchronously, so a row update always runs on the window's thread
// and the worker waits for it.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "station/port_context.h"
#include "host/host.h"
#include "station/progress_type.h"

namespace korvex {

inline constexpr std::uint32_t kWmUser = 0x0400;
inline constexpr std::uint32_t WM_PORT_PROGRESS = kWmUser + 121;  // 0x479

constexpr std::uintptr_t ProgressWParam(ProgressType type, std::int32_t port) {
  return (static_cast<std::uintptr_t>(type) << 16) | (static_cast<std::uint32_t>(port) & 0xFF);
}

// SendMessage of WM_PORT_PROGRESS to window.
void SendPortProgress(Host& host, WindowHandle window, ProgressType type, std::int32_t port,
                      std::intptr_t lParam);

// What one list row shows: a fraction (1.0 or more draws a full bar) and a text.
struct ProgressRow {
  double fraction = 0.0;
  std::string text = "0%";
};

// The eight rows and the label they share. One label for the whole list, set by
// whichever worker's message came last; the rows all print with it.
class ProgressRows {
 public:
  // Handles one WM_PORT_PROGRESS; returns the port whose row changed and needs a
  // redraw, or -1 when only the label changed.
  int Handle(std::uintptr_t wParam, std::intptr_t lParam);

  const ProgressRow& Row(std::size_t port) const { return rows_[port]; }
  std::string_view Label() const { return label_; }

 private:
  void ShowPercentage(std::size_t port, std::intptr_t lParam);

  std::array<ProgressRow, kPortCount> rows_;
  std::string_view label_;
};

}  // namespace korvex
