#include "app/port_arrivals.h"

#include <algorithm>

namespace korvex {

namespace {

bool SameLink(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

void PortArrivals::Claimed(std::size_t port, std::string_view link) {
  std::lock_guard lock(mutex_);
  notes_[port] = PortNote{};
  notes_[port].link.Assign(link);
}

void PortArrivals::Released(std::size_t port) {
  std::lock_guard lock(mutex_);
  notes_[port] = PortNote{};
}

void PortArrivals::Note(DeviceChange change, std::string_view link) {
  std::lock_guard lock(mutex_);
  for (PortNote& note : notes_) {
    if (note.link.Empty() || !SameLink(note.link.View(), link)) continue;
    if (change == DeviceChange::kRemoval) {
      note.removed = true;
    } else if (note.removed) {
      note.arrivedAfterRemoval = true;
    }
  }
}

bool PortArrivals::NewBoardOn(std::size_t port) const {
  std::lock_guard lock(mutex_);
  return notes_[port].arrivedAfterRemoval;
}

}  // namespace korvex
