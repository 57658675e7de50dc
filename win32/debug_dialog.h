#pragma once
// "Debug": lets the operator pick a test file meant to run in a board's memory. The
// choice is kept but not sent anywhere: no load address or start request is settled.
// The main window's model stops its timers while this dialog is open.

#include <string>

#include "win32/modal_dialog.h"

namespace korvex::win32 {

class DebugDialog : public ModalDialog {
 public:
  INT_PTR Run(HINSTANCE instance, HWND owner);
  // The file chosen last with "加载"; empty when none was.
  const std::string& ChosenFile() const { return chosenFile_; }

 protected:
  bool OnCommand(int id, int code) override;

 private:
  std::string chosenFile_;
};

}  // namespace korvex::win32
