#include "app/port_progress.h"

#include <cstdio>

#include "app/station_texts.h"

namespace korvex {

void SendPortProgress(Host& host, WindowHandle window, ProgressType type, std::int32_t port,
                      std::intptr_t lParam) {
  host.SendWindowMessage(window, WM_PORT_PROGRESS, ProgressWParam(type, port), lParam);
}

void ProgressRows::ShowPercentage(std::size_t port, std::intptr_t lParam) {
  ProgressRow& row = rows_[port];
  // 100 must draw a full bar, while lParam mod 100 alone would turn it into 0.
  row.fraction = lParam == 100 ? 100.0 : static_cast<double>(lParam % 100) * 0.01;
  char percent[32];
  std::snprintf(percent, sizeof percent, "%0.0f%%", static_cast<double>(lParam));
  row.text.assign(label_);
  row.text.append(percent);
}

int ProgressRows::Handle(std::uintptr_t wParam, std::intptr_t lParam) {
  const std::size_t port = wParam & 0xFF;
  const std::uint32_t type = static_cast<std::uint32_t>(wParam >> 16);
  if (port >= kPortCount) return -1;
  switch (type) {
    case kProgressReset:
      rows_[port].fraction = 0.0;
      rows_[port].text = "0%";
      return static_cast<int>(port);
    case kProgressLabel:
      if (lParam >= 0 && static_cast<std::size_t>(lParam) < kImageLabels.size()) {
        label_ = kImageLabels[static_cast<std::size_t>(lParam)];
      }
      return -1;
    case kProgressFormat:
      rows_[port].fraction = 100.0;
      rows_[port].text = kTextFormatting;
      return static_cast<int>(port);
    case kProgressRead:
    case kProgressBoot:
      label_ = kProgressTypeLabels[type];
      ShowPercentage(port, lParam);
      return static_cast<int>(port);
    default:
      ShowPercentage(port, lParam);
      return static_cast<int>(port);
  }
}

}  // namespace korvex
