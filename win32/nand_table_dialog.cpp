#include "win32/nand_table_dialog.h"

#include <commctrl.h>

#include <array>
#include <vector>

#include "host/win32/utf8.h"
#include "nandtable/nand_table_texts.h"
#include "win32/resource.h"

namespace korvex::win32 {

namespace {

struct FieldEdit {
  int id;
  std::string NandPartFields::*field;
  int maxChars;
};
// The name has room for 20 characters, every number for 8.
constexpr std::array<FieldEdit, 7> kFieldEdits{{
    {IDC_TABLE_NAME, &NandPartFields::name, 20},
    {IDC_TABLE_MAIN_ID, &NandPartFields::mainId, 8},
    {IDC_TABLE_EXT_ID, &NandPartFields::extId, 8},
    {IDC_TABLE_PAGE_SIZE, &NandPartFields::pageSize, 8},
    {IDC_TABLE_BLOCK_SIZE, &NandPartFields::blockSize, 8},
    {IDC_TABLE_SPARE_SIZE, &NandPartFields::spareSize, 8},
    {IDC_TABLE_TOTAL_BLOCKS, &NandPartFields::totalBlocks, 8},
}};

std::string EditText(HWND dialog, int id) {
  HWND edit = ::GetDlgItem(dialog, id);
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
  return WideToUtf8(text);
}

}  // namespace

INT_PTR NandTableDialog::Run(HINSTANCE instance, HWND owner) {
  return ModalDialog::Run(instance, IDD_NAND_TABLE, owner);
}

void NandTableDialog::OnInitDialog() {
  for (const FieldEdit& edit : kFieldEdits) {
    ::SendDlgItemMessageW(Window(), edit.id, EM_LIMITTEXT, static_cast<WPARAM>(edit.maxChars), 0);
  }
  HWND list = ::GetDlgItem(Window(), IDC_TABLE_LIST);
  ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  int index = 0;
  for (const NandTableColumn& column : kNandTableColumns) {
    std::wstring title = Utf8ToWide(column.title);
    LVCOLUMNW insert{};
    insert.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    insert.fmt = LVCFMT_LEFT;
    insert.cx = column.width;
    insert.pszText = title.data();
    insert.iSubItem = index;
    ListView_InsertColumn(list, index, &insert);
    ++index;
  }
  Refresh();
}

bool NandTableDialog::OnCommand(int id, int code) {
  switch (id) {
    case IDC_TABLE_ADD:
      if (code == BN_CLICKED) Add();
      return true;
    case IDC_TABLE_DELETE:
      if (code == BN_CLICKED) Delete();
      return true;
    case IDOK:
    case IDCANCEL:
      End(id);
      return true;
    default:
      break;
  }
  for (const FieldEdit& edit : kFieldEdits) {
    if (edit.id == id && code == EN_CHANGE) {
      // The values follow the edits; writing them back would change nothing.
      TakeFields();
      return true;
    }
  }
  return false;
}

void NandTableDialog::TakeFields() {
  for (const FieldEdit& edit : kFieldEdits) fields_.*edit.field = EditText(Window(), edit.id);
}

void NandTableDialog::Refresh() {
  HWND list = ::GetDlgItem(Window(), IDC_TABLE_LIST);
  ListView_DeleteAllItems(list);
  std::vector<NandTableRow> rows;
  RefreshNandTable(host_, rows);
  ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  for (std::size_t row = 0; row < rows.size(); ++row) {
    std::wstring name = Utf8ToWide(rows[row][0]);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(row);
    item.pszText = name.data();
    const int inserted = ListView_InsertItem(list, &item);
    for (std::size_t column = 1; column < kNandTableColumnCount; ++column) {
      std::wstring text = Utf8ToWide(rows[row][column]);
      ListView_SetItemText(list, inserted, static_cast<int>(column), text.data());
    }
  }
  ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(list, nullptr, TRUE);
}

void NandTableDialog::Add() {
  TakeFields();
  if (AddNandPart(host_, fields_) == NandAddResult::kAdded) Refresh();
}

void NandTableDialog::Delete() {
  HWND list = ::GetDlgItem(Window(), IDC_TABLE_LIST);
  std::vector<std::size_t> selected;
  for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
       row = ListView_GetNextItem(list, row, LVNI_SELECTED)) {
    selected.push_back(static_cast<std::size_t>(row));
  }
  const NandDeleteResult result = DeleteNandParts(host_, selected);
  if (result == NandDeleteResult::kDeleted || result == NandDeleteResult::kNothingSelected) Refresh();
}

}  // namespace korvex::win32
