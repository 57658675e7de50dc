#include "win32/about_dialog.h"

#include "win32/resource.h"

namespace korvex::win32 {

INT_PTR AboutDialog::Run(HINSTANCE instance, HWND owner) {
  return ModalDialog::Run(instance, IDD_ABOUT, owner);
}

bool AboutDialog::OnCommand(int id, int) {
  if (id != IDOK && id != IDCANCEL) return false;
  End(id);
  return true;
}

}  // namespace korvex::win32
