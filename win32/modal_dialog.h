#pragma once
// The small modal dialogs of the station share this: a template id, an owner, the
// object reachable from its window, and commands handed to the derived dialog.

#include <windows.h>

namespace korvex::win32 {

class ModalDialog {
 public:
  virtual ~ModalDialog() = default;

  // Runs the dialog modally; returns its end code, or -1 when it could not be created.
  INT_PTR Run(HINSTANCE instance, int templateId, HWND owner);
  // The dialog's window while it runs, nullptr otherwise.
  HWND Window() const { return window_; }

 protected:
  virtual void OnInitDialog() {}
  // A WM_COMMAND; true when the dialog handled it.
  virtual bool OnCommand(int id, int code) = 0;
  void End(INT_PTR result) { ::EndDialog(window_, result); }

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
};

}  // namespace korvex::win32
