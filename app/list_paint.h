#pragma once
// The arithmetic of the progress list's drawing: palette, row backgrounds and focus
// frames, the shaded bar, the columns and the font height. Pure functions, so the
// shell only turns their answers into GDI calls.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/station_texts.h"

namespace korvex {

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kProgressDoneColour{49, 106, 197};
inline constexpr Rgb kProgressRemainingColour{152, 148, 133};
inline constexpr Rgb kProgressTextColour{255, 255, 255};

// Recomputed from the system colours whenever they change; the two progress colours
// never follow the system.
struct ListPalette {
  Rgb background;  // also the list's background and text background
  Rgb text;        // also the text of selected rows
  Rgb highlight;
  std::array<Rgb, 4> selection;  // selection backgrounds 1..4 at [0..3]
  Rgb progressDone = kProgressDoneColour;
  Rgb progressRemaining = kProgressRemainingColour;
};

ListPalette ComputePalette(Rgb window, Rgb windowText, Rgb highlight);

// Which palette entry a row or frame is painted with.
enum class ListColour { None, Background, Highlight, Selection1, Selection2, Selection3, Selection4 };
Rgb ColourOf(const ListPalette& palette, ListColour colour);  // None gives the background

// `selected` covers drop-highlighted rows too; `active` is a list with the focus or
// one that always shows its selection; stateBit0x10 is that bit of the item state.
ListColour RowBackground(bool selected, bool active, bool stateBit0x10, bool textBackgroundNone);
// The one-pixel frame of the focused row.
ListColour FocusFrame(bool selected, bool active);

// Rows drawn again with a row whose state changed: the one before and the one after,
// where they exist.
std::vector<int> NeighbourRows(int row, int rowCount);

// --- The progress bar ---

// half = (h + 1) / 2 factors rising from 0 at the bar's edge to 1 in its middle.
std::vector<double> ShadingTable(int barHeight);

// Keeps the table of the last height; rows of one list share a height, so it is
// rebuilt only when the font changes.
class ShadingCache {
 public:
  const std::vector<double>& For(int barHeight);
  int Rebuilds() const { return rebuilds_; }

 private:
  int height_ = -1;
  std::vector<double> table_;
  int rebuilds_ = 0;
};

// Pixels of the filled part from the cell's left edge; a fraction of 1 or more fills
// the whole cell.
int FilledWidth(int cellWidth, double fraction);
// One channel-wise shade: channel × f + 0.5, truncated.
Rgb ShadeColour(Rgb colour, double factor);
// The colour of every line of a bar of `barHeight`, top to bottom: line i from the
// top and line i from the bottom take factor i of the table.
std::vector<Rgb> BarLineColours(Rgb colour, const std::vector<double>& shading, int barHeight);

struct CellRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  friend bool operator==(const CellRect&, const CellRect&) = default;
};

// Where the bar of a progress cell goes: one pixel off the cell's top and bottom,
// split at the filled width. Nothing is drawn when `draw` is false.
struct ProgressBarLayout {
  bool draw = false;
  CellRect bar;
  int filledWidth = 0;
};
ProgressBarLayout LayoutProgressBar(const CellRect& cell, double fraction);

// --- Columns and font ---

// Strings of a row record; the progress text is kept apart from them.
inline constexpr std::size_t kRecordStringCount = 7;
inline constexpr int kProgressTextSource = -1;

struct ListColumn {
  std::string_view heading;
  int width;        // pixels; 0 keeps the column hidden
  bool centred;
  int source;       // index into the row record's strings, or kProgressTextSource
};
inline constexpr std::size_t kProgressColumn = 3;
inline constexpr std::array<ListColumn, 8> kListColumns{{
    {kListColumnHeadings[0], 45, false, 0},
    {kListColumnHeadings[1], 0, false, 1},
    {kListColumnHeadings[2], 0, false, 2},
    {kListColumnHeadings[3], 400, true, kProgressTextSource},
    {kListColumnHeadings[4], 0, false, 3},
    {kListColumnHeadings[5], 0, false, 4},
    {kListColumnHeadings[6], 0, false, 5},
    {kListColumnHeadings[7], 0, false, 6},
}};

inline constexpr std::uint32_t kListTipDisplayMs = 20000;
inline constexpr std::uint32_t kListTipInitialMs = 32000;
inline constexpr int kListFontWeight = 400;

// 10 points at the screen's vertical pixels per inch, as a character height
// (negative), truncated toward zero: -13 at 96 dpi.
int ListFontHeight(int pixelsPerInchY);

}  // namespace korvex
