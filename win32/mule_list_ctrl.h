#pragma once
// CMuleListCtrl: a report-view list control that draws its own rows. It keeps a
// palette derived from the system colours (recomputed when they change), binds each
// row to a record through a small wrapper (CtrlItem_Struct, the row's item data), and
// redraws a row's neighbours when a row changes. What a cell shows is left to the
// derived list (DrawCell).
//
// The dialog that owns the control forwards WM_DRAWITEM, WM_MEASUREITEM, WM_NOTIFY and
// WM_SYSCOLORCHANGE for it; the control itself is subclassed for the colour change.

#include <windows.h>

#include <commctrl.h>

#include <cstddef>
#include <map>
#include <memory>

#include "app/list_paint.h"

namespace korvex::win32 {

// A row's item data: the record it shows and that record's index among its owner's.
struct CtrlItem_Struct {
  const void* value = nullptr;
  std::size_t index = 0;
};

// RGB() of a palette colour.
COLORREF ToColorRef(Rgb colour);

class CMuleListCtrl {
 public:
  CMuleListCtrl() = default;
  virtual ~CMuleListCtrl();
  CMuleListCtrl(const CMuleListCtrl&) = delete;
  CMuleListCtrl& operator=(const CMuleListCtrl&) = delete;

  // Takes over a list control of the dialog: computes the palette and follows the
  // system colours from now on.
  void Attach(HWND list);
  HWND Handle() const { return list_; }
  const ListPalette& Palette() const { return palette_; }

  // --- Forwarded by the owning dialog ---
  void DrawItem(const DRAWITEMSTRUCT& item);
  // Rows are as high as the list's font plus a margin for the bars.
  void MeasureItem(MEASUREITEMSTRUCT& item) const;
  // The list's own notifications: neighbour redraw; column clicks, activation, the
  // context menu and display-information requests do nothing. True when handled,
  // with the message's result in `result`.
  bool OnNotify(const NMHDR& header, LRESULT& result);
  // New system colours: a new palette, given to the control too.
  void OnSysColorChange();

  int RowCount() const;
  // The wrapper a row is bound to, or nullptr.
  const CtrlItem_Struct* ItemOf(int row) const;
  // Invalidates one row's rectangle (with erase); nothing else is redrawn.
  void InvalidateRow(int row) const;

 protected:
  // Appends a row bound to `value`; -1 when the control refuses it.
  int InsertBoundRow(const void* value, std::size_t index);
  // Paints one visible cell. The row's background is already painted, the text
  // colour and the list's font are selected into `dc`.
  virtual void DrawCell(HDC dc, const CtrlItem_Struct& item, int column, const RECT& cell) = 0;
  HFONT Font() const;

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self);
  void ComputeAndApplyPalette();
  void RedrawNeighbours(int row) const;

  HWND list_ = nullptr;
  ListPalette palette_;
  // Record -> wrapper; the wrappers live as long as the list object.
  std::map<const void*, std::unique_ptr<CtrlItem_Struct>> items_;
};

}  // namespace korvex::win32
