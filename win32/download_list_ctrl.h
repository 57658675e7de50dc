#pragma once
// CDownloadListCtrl: the progress list of the main window, one row per port. Eight
// columns of which only "序号" and "进   度" are visible; the progress cell is a
// shaded bar with its text, drawn off-screen and copied in one block so that the
// frequent progress updates do not flicker. Rows are never sorted: row n is port n.

#include <array>
#include <cstddef>

#include "app/list_paint.h"
#include "app/main_window_model.h"
#include "win32/mule_list_ctrl.h"

namespace korvex::win32 {

class CDownloadListCtrl : public CMuleListCtrl {
 public:
  // Cells come from the model's row records and progress rows.
  explicit CDownloadListCtrl(const MainWindowModel& model) : model_(model) {}

  // Once, after Attach: extended styles, multiple selection, the eight columns and
  // the tooltips' delays.
  void SetupColumns();
  // Appends a row bound to the port's record and fills its cells; the row index, or
  // -1 when the control refuses it.
  int AddRow(const ListRowRecord& record, std::size_t port);
  // The record a row shows, or nullptr.
  const ListRowRecord* RowRecord(int row) const;
  // Copies the record's texts into the row's cells and invalidates that row alone.
  void UpdateRow(int row);

  // The list column index of the progress column, as its insertion returned it.
  int ProgressColumn() const { return columnIndex_[kProgressColumn]; }
  // How often the bar shading table was built (once per row height).
  int ShadingRebuilds() const { return shading_.Rebuilds(); }

 protected:
  void DrawCell(HDC dc, const CtrlItem_Struct& item, int column, const RECT& cell) override;

 private:
  // kListColumns position of a list column index, or -1.
  int ColumnSlot(int column) const;
  void CopyCells(int row, std::size_t port);
  void DrawProgressCell(HDC dc, std::size_t port, const RECT& cell);

  const MainWindowModel& model_;
  std::array<int, kListColumns.size()> columnIndex_{-1, -1, -1, -1, -1, -1, -1, -1};
  ShadingCache shading_;
};

}  // namespace korvex::win32
