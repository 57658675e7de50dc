#pragma once
// "Flash 信息": seven fields for the identity and geometry of a board's NAND. Nothing
// in the station fills them yet, and its "查询" button (the default button, so also
// Enter) does nothing; the dialog closes by Escape or its close box only.

#include <array>
#include <string>

#include "win32/modal_dialog.h"

namespace korvex::win32 {

class FlashInfoDialog : public ModalDialog {
 public:
  // Main ID, ext ID, page size, block size, spare size, bus width, plane count.
  static constexpr std::size_t kFieldCount = 7;

  INT_PTR Run(HINSTANCE instance, HWND owner);
  const std::array<std::string, kFieldCount>& Values() const { return values_; }

 protected:
  void OnInitDialog() override;
  bool OnCommand(int id, int code) override;

 private:
  std::array<std::string, kFieldCount> values_;
};

}  // namespace korvex::win32
