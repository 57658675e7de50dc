#include "win32/mule_list_ctrl.h"

namespace korvex::win32 {

namespace {

// Room above and below the text for the progress bars' shading.
constexpr int kRowMargin = 6;
// The item state bit that picks the second selection background on its own.
constexpr UINT kStateBit0x10 = 0x10;
constexpr UINT_PTR kSubclassId = 1;

Rgb SystemColour(int index) {
  const COLORREF colour = ::GetSysColor(index);
  return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

void Fill(HDC dc, const RECT& rect, Rgb colour) {
  ::SetBkColor(dc, ToColorRef(colour));
  ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}

void Frame(HDC dc, const RECT& rect, Rgb colour) {
  HBRUSH brush = ::CreateSolidBrush(ToColorRef(colour));
  ::FrameRect(dc, &rect, brush);
  ::DeleteObject(brush);
}

}  // namespace

COLORREF ToColorRef(Rgb colour) { return RGB(colour.r, colour.g, colour.b); }

CMuleListCtrl::~CMuleListCtrl() {
  if (list_ != nullptr && ::IsWindow(list_)) ::RemoveWindowSubclass(list_, SubclassProc, kSubclassId);
}

void CMuleListCtrl::Attach(HWND list) {
  list_ = list;
  ::SetWindowSubclass(list_, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
  ComputeAndApplyPalette();
}

LRESULT CALLBACK CMuleListCtrl::SubclassProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* list = reinterpret_cast<CMuleListCtrl*>(self);
  switch (message) {
    case WM_SYSCOLORCHANGE: {
      const LRESULT result = ::DefSubclassProc(window, message, wParam, lParam);
      list->ComputeAndApplyPalette();
      return result;
    }
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(window, SubclassProc, kSubclassId);
      list->list_ = nullptr;
      break;
    default:
      break;
  }
  return ::DefSubclassProc(window, message, wParam, lParam);
}

void CMuleListCtrl::OnSysColorChange() {
  if (list_ != nullptr) ::SendMessageW(list_, WM_SYSCOLORCHANGE, 0, 0);
}

void CMuleListCtrl::ComputeAndApplyPalette() {
  palette_ = ComputePalette(SystemColour(COLOR_WINDOW), SystemColour(COLOR_WINDOWTEXT),
                            SystemColour(COLOR_HIGHLIGHT));
  if (list_ == nullptr) return;
  ListView_SetBkColor(list_, ToColorRef(palette_.background));
  ListView_SetTextBkColor(list_, ToColorRef(palette_.background));
  ListView_SetTextColor(list_, ToColorRef(palette_.text));
  ::InvalidateRect(list_, nullptr, TRUE);
}

HFONT CMuleListCtrl::Font() const {
  return list_ == nullptr ? nullptr
                          : reinterpret_cast<HFONT>(::SendMessageW(list_, WM_GETFONT, 0, 0));
}

int CMuleListCtrl::RowCount() const {
  return list_ == nullptr ? 0 : ListView_GetItemCount(list_);
}

const CtrlItem_Struct* CMuleListCtrl::ItemOf(int row) const {
  if (list_ == nullptr) return nullptr;
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!ListView_GetItem(list_, &item)) return nullptr;
  return reinterpret_cast<const CtrlItem_Struct*>(item.lParam);
}

int CMuleListCtrl::InsertBoundRow(const void* value, std::size_t index) {
  if (list_ == nullptr) return -1;
  std::unique_ptr<CtrlItem_Struct>& wrapper = items_[value];
  if (!wrapper) wrapper = std::make_unique<CtrlItem_Struct>(CtrlItem_Struct{value, index});
  LVITEMW item{};
  item.mask = LVIF_PARAM | LVIF_TEXT;
  item.iItem = RowCount();
  item.pszText = const_cast<wchar_t*>(L"");
  item.lParam = reinterpret_cast<LPARAM>(wrapper.get());
  return ListView_InsertItem(list_, &item);
}

void CMuleListCtrl::InvalidateRow(int row) const {
  if (list_ == nullptr) return;
  RECT rect{};
  if (ListView_GetItemRect(list_, row, &rect, LVIR_BOUNDS)) ::InvalidateRect(list_, &rect, TRUE);
}

void CMuleListCtrl::RedrawNeighbours(int row) const {
  for (const int neighbour : NeighbourRows(row, RowCount())) {
    ListView_RedrawItems(list_, neighbour, neighbour);
  }
}

void CMuleListCtrl::MeasureItem(MEASUREITEMSTRUCT& item) const {
  if (list_ == nullptr) return;
  HDC dc = ::GetDC(list_);
  HGDIOBJ previous = ::SelectObject(dc, Font());
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, previous);
  ::ReleaseDC(list_, dc);
  item.itemHeight = static_cast<UINT>(metrics.tmHeight + metrics.tmExternalLeading + kRowMargin);
}

void CMuleListCtrl::DrawItem(const DRAWITEMSTRUCT& item) {
  if (list_ == nullptr || item.itemID == static_cast<UINT>(-1)) return;
  const int row = static_cast<int>(item.itemID);
  const CtrlItem_Struct* wrapper = ItemOf(row);
  if (wrapper == nullptr) return;
  HDC dc = item.hDC;
  const RECT rowRect = item.rcItem;

  const UINT state = ListView_GetItemState(
      list_, row, LVIS_SELECTED | LVIS_DROPHILITED | LVIS_FOCUSED | kStateBit0x10);
  const bool selected = (state & (LVIS_SELECTED | LVIS_DROPHILITED)) != 0;
  const bool active = ::GetFocus() == list_ ||
                      (::GetWindowLongPtrW(list_, GWL_STYLE) & LVS_SHOWSELALWAYS) != 0;
  const bool noTextBackground = ListView_GetTextBkColor(list_) == CLR_NONE;
  const ListColour background =
      RowBackground(selected, active, (state & kStateBit0x10) != 0, noTextBackground);
  if (background != ListColour::None) Fill(dc, rowRect, ColourOf(palette_, background));

  const int savedDc = ::SaveDC(dc);
  ::SelectObject(dc, Font());
  ::SetTextColor(dc, ToColorRef(palette_.text));
  ::SetBkMode(dc, TRANSPARENT);
  // Cells sit under their header items wherever those are (columns can be dragged,
  // the list scrolled); the header's own rectangles say where.
  HWND header = ListView_GetHeader(list_);
  const int columns = header == nullptr ? 0 : Header_GetItemCount(header);
  POINT headerOrigin{0, 0};
  if (header != nullptr) ::MapWindowPoints(header, list_, &headerOrigin, 1);
  for (int column = 0; column < columns; ++column) {
    RECT heading{};
    if (!Header_GetItemRect(header, column, &heading) || heading.right <= heading.left) continue;
    const RECT cell{heading.left + headerOrigin.x, rowRect.top, heading.right + headerOrigin.x,
                    rowRect.bottom};
    DrawCell(dc, *wrapper, column, cell);
  }
  ::RestoreDC(dc, savedDc);

  if ((state & LVIS_FOCUSED) != 0) {
    const ListColour frame = FocusFrame(selected, active);
    if (frame != ListColour::None) Frame(dc, rowRect, ColourOf(palette_, frame));
  }
}

bool CMuleListCtrl::OnNotify(const NMHDR& header, LRESULT& result) {
  result = 0;
  switch (header.code) {
    case LVN_ITEMCHANGED: {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if ((change.uChanged & LVIF_STATE) != 0) RedrawNeighbours(change.iItem);
      return true;
    }
    case LVN_INSERTITEM:
    case LVN_DELETEITEM:
      RedrawNeighbours(reinterpret_cast<const NMLISTVIEW&>(header).iItem);
      return true;
    // Rows stay in port order and do nothing when used.
    case LVN_COLUMNCLICK:
    case LVN_ITEMACTIVATE:
    case NM_RCLICK:
    case LVN_GETDISPINFOW:
      return true;
    default:
      return false;
  }
}

}  // namespace korvex::win32
