#include "win32/debug_dialog.h"

#include "win32/file_dialogs.h"
#include "win32/resource.h"

namespace korvex::win32 {

INT_PTR DebugDialog::Run(HINSTANCE instance, HWND owner) {
  return ModalDialog::Run(instance, IDD_DEBUG, owner);
}

bool DebugDialog::OnCommand(int id, int code) {
  switch (id) {
    case IDC_DEBUG_LOAD:
      if (code != BN_CLICKED) return false;
      // No filter, no default extension, no initial name.
      if (const auto path = ChooseOpenFile(Window(), OpenFileDialog{})) chosenFile_ = *path;
      return true;
    case IDOK:
    case IDCANCEL:
      End(id);
      return true;
    default:
      return false;
  }
}

}  // namespace korvex::win32
