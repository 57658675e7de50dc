#pragma once
// A text in a fixed buffer, for per-port records that must not allocate per board.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace korvex {

template <std::size_t Capacity>  // bytes, including the terminating NUL
class BoundedString {
 public:
  BoundedString() = default;
  explicit BoundedString(std::string_view text) { Assign(text); }

  // Keeps at most Capacity - 1 characters; returns false when text had to be cut.
  bool Assign(std::string_view text) {
    const std::size_t n = std::min(text.size(), Capacity - 1);
    std::copy_n(text.data(), n, chars_.data());
    chars_[n] = '\0';
    size_ = n;
    return n == text.size();
  }
  void Clear() { Assign({}); }

  std::string_view View() const { return {chars_.data(), size_}; }
  const char* CStr() const { return chars_.data(); }
  bool Empty() const { return size_ == 0; }
  std::size_t Size() const { return size_; }

  friend bool operator==(const BoundedString& a, std::string_view b) { return a.View() == b; }

 private:
  std::array<char, Capacity> chars_{};
  std::size_t size_ = 0;
};

}  // namespace korvex
