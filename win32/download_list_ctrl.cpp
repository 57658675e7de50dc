#include "win32/download_list_ctrl.h"

#include <string>
#include <vector>

#include "host/win32/utf8.h"

namespace korvex::win32 {

namespace {

// Text cells keep a little air from the grid.
constexpr int kCellTextIndent = 4;
constexpr int kCellTextEndMargin = 2;
constexpr UINT kCellTextFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
constexpr UINT kBarTextFormat =
    DT_END_ELLIPSIS | DT_NOPREFIX | DT_SINGLELINE | DT_CENTER | DT_VCENTER;

void FillLine(HDC dc, int left, int right, int y, Rgb colour) {
  if (right <= left) return;
  const RECT line{left, y, right, y + 1};
  ::SetBkColor(dc, ToColorRef(colour));
  ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &line, nullptr, 0, nullptr);
}

}  // namespace

void CDownloadListCtrl::SetupColumns() {
  HWND list = Handle();
  ListView_SetExtendedListViewStyle(list,
                                    LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_INFOTIP);
  ::SetWindowLongPtrW(list, GWL_STYLE, ::GetWindowLongPtrW(list, GWL_STYLE) & ~LVS_SINGLESEL);
  for (std::size_t slot = 0; slot < kListColumns.size(); ++slot) {
    const ListColumn& column = kListColumns[slot];
    std::wstring heading = Utf8ToWide(column.heading);
    LVCOLUMNW insert{};
    insert.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    insert.fmt = column.centred ? LVCFMT_CENTER : LVCFMT_LEFT;
    insert.cx = column.width;
    insert.pszText = heading.data();
    insert.iSubItem = static_cast<int>(slot);
    columnIndex_[slot] = ListView_InsertColumn(list, static_cast<int>(slot), &insert);
  }
  if (HWND tips = ListView_GetToolTips(list)) {
    ::SendMessageW(tips, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(kListTipDisplayMs, 0));
    ::SendMessageW(tips, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(kListTipInitialMs, 0));
  }
}

int CDownloadListCtrl::ColumnSlot(int column) const {
  for (std::size_t slot = 0; slot < columnIndex_.size(); ++slot) {
    if (columnIndex_[slot] == column) return static_cast<int>(slot);
  }
  return -1;
}

int CDownloadListCtrl::AddRow(const ListRowRecord& record, std::size_t port) {
  const int row = InsertBoundRow(&record, port);
  if (row >= 0) CopyCells(row, port);
  return row;
}

const ListRowRecord* CDownloadListCtrl::RowRecord(int row) const {
  const CtrlItem_Struct* item = ItemOf(row);
  return item == nullptr ? nullptr : static_cast<const ListRowRecord*>(item->value);
}

void CDownloadListCtrl::UpdateRow(int row) {
  const CtrlItem_Struct* item = ItemOf(row);
  if (item == nullptr) return;
  CopyCells(row, item->index);
  InvalidateRow(row);
}

void CDownloadListCtrl::CopyCells(int row, std::size_t port) {
  for (std::size_t slot = 0; slot < kListColumns.size(); ++slot) {
    if (columnIndex_[slot] < 0) continue;
    std::wstring text = Utf8ToWide(model_.CellText(port, slot));
    ListView_SetItemText(Handle(), row, columnIndex_[slot], text.data());
  }
}

void CDownloadListCtrl::DrawCell(HDC dc, const CtrlItem_Struct& item, int column,
                                 const RECT& cell) {
  const int slot = ColumnSlot(column);
  if (slot < 0) return;
  if (static_cast<std::size_t>(slot) == kProgressColumn) {
    DrawProgressCell(dc, item.index, cell);
    return;
  }
  const std::wstring text = Utf8ToWide(model_.CellText(item.index, static_cast<std::size_t>(slot)));
  RECT area{cell.left + kCellTextIndent, cell.top, cell.right - kCellTextEndMargin, cell.bottom};
  const UINT align = kListColumns[static_cast<std::size_t>(slot)].centred ? DT_CENTER : DT_LEFT;
  ::DrawTextW(dc, text.c_str(), -1, &area, kCellTextFormat | align);
}

void CDownloadListCtrl::DrawProgressCell(HDC dc, std::size_t port, const RECT& cell) {
  const ProgressBarLayout layout =
      LayoutProgressBar({cell.left, cell.top, cell.right, cell.bottom}, model_.Fraction(port));
  if (!layout.draw) return;
  const int width = layout.bar.Width();
  const int height = layout.bar.Height();

  HDC memory = ::CreateCompatibleDC(dc);
  HBITMAP bitmap = ::CreateCompatibleBitmap(dc, width, height);
  HGDIOBJ previousBitmap = ::SelectObject(memory, bitmap);

  const std::vector<double>& shading = shading_.For(height);
  const std::vector<Rgb> done = BarLineColours(Palette().progressDone, shading, height);
  const std::vector<Rgb> remaining = BarLineColours(Palette().progressRemaining, shading, height);
  for (int y = 0; y < height; ++y) {
    const auto line = static_cast<std::size_t>(y);
    FillLine(memory, 0, layout.filledWidth, y, done[line]);
    FillLine(memory, layout.filledWidth, width, y, remaining[line]);
  }

  const std::wstring text = Utf8ToWide(model_.CellText(port, kProgressColumn));
  if (!text.empty()) {
    HGDIOBJ previousFont = ::SelectObject(memory, Font());
    ::SetBkMode(memory, TRANSPARENT);
    ::SetTextColor(memory, ToColorRef(kProgressTextColour));
    RECT area{0, 0, width, height};
    ::DrawTextW(memory, text.c_str(), -1, &area, kBarTextFormat);
    ::SelectObject(memory, previousFont);
  }

  ::BitBlt(dc, layout.bar.left, layout.bar.top, width, height, memory, 0, 0, SRCCOPY);
  ::SelectObject(memory, previousBitmap);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
}

}  // namespace korvex::win32
