#include "win32/flash_info_dialog.h"

#include "host/win32/utf8.h"
#include "win32/resource.h"

namespace korvex::win32 {

namespace {

constexpr std::array<int, FlashInfoDialog::kFieldCount> kFieldIds{
    IDC_INFO_MAIN_ID,    IDC_INFO_EXT_ID,    IDC_INFO_PAGE_SIZE,  IDC_INFO_BLOCK_SIZE,
    IDC_INFO_SPARE_SIZE, IDC_INFO_BUS_WIDTH, IDC_INFO_PLANE_COUNT};

}  // namespace

INT_PTR FlashInfoDialog::Run(HINSTANCE instance, HWND owner) {
  return ModalDialog::Run(instance, IDD_FLASH_INFO, owner);
}

void FlashInfoDialog::OnInitDialog() {
  for (std::size_t field = 0; field < kFieldCount; ++field) {
    ::SetDlgItemTextW(Window(), kFieldIds[field], Utf8ToWide(values_[field]).c_str());
  }
}

bool FlashInfoDialog::OnCommand(int id, int) {
  switch (id) {
    case IDC_INFO_QUERY:  // no query is defined; Enter lands here too
    case IDOK:
      return true;
    case IDCANCEL:
      End(IDCANCEL);
      return true;
    default:
      return false;
  }
}

}  // namespace korvex::win32
