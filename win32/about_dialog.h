#pragma once
// The About box (system menu): the tool's name and version and the supported models.

#include "win32/modal_dialog.h"

namespace korvex::win32 {

class AboutDialog : public ModalDialog {
 public:
  INT_PTR Run(HINSTANCE instance, HWND owner);

 protected:
  bool OnCommand(int id, int code) override;
};

}  // namespace korvex::win32
