// The progress list's arithmetic: bar widths, palette, shading, row colours, columns
// and the font height.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/list_paint.h"

namespace korvex {
namespace {

TEST(ListPaint, FilledWidthTruncatesAndFillsFromOne) {
  const struct {
    int cell;
    double fraction;
    int filled;
  } cases[] = {{400, 0.45, 180}, {400, 100.0, 400}, {400, 1.0, 400}, {400, 0.0, 0},
               {400, 0.99, 396}, {333, 0.5, 166},   {0, 0.5, 0}};
  for (const auto& c : cases) EXPECT_EQ(FilledWidth(c.cell, c.fraction), c.filled) << c.fraction;

  const ProgressBarLayout bar = LayoutProgressBar({10, 20, 410, 40}, 0.45);
  EXPECT_TRUE(bar.draw);
  EXPECT_EQ(bar.bar, (CellRect{10, 21, 410, 39}));
  EXPECT_EQ(bar.filledWidth, 180);
  EXPECT_FALSE(LayoutProgressBar({10, 20, 10, 40}, 0.45).draw);
}

TEST(ListPaint, PaletteBlendsChannelWiseAndKeepsTheProgressColours) {
  const ListPalette p = ComputePalette({255, 255, 255}, {0, 0, 0}, {49, 106, 197});
  EXPECT_EQ(p.selection, (std::array{Rgb{204, 218, 241}, Rgb{187, 206, 236}, Rgb{229, 236, 248}, Rgb{152, 181, 226}}));
  EXPECT_EQ(p.text, (Rgb{0, 0, 0}));
  EXPECT_EQ(p.progressDone, (Rgb{49, 106, 197}));
  EXPECT_EQ(p.progressRemaining, (Rgb{152, 148, 133}));
}

TEST(ListPaint, ShadingRisesFromTheEdgeToTheMiddle) {
  // Five factors for a bar of ten lines: 0 at the edge, 1 in the middle, rising.
  const std::vector<double> table = ShadingTable(10);
  ASSERT_EQ(table.size(), 5u);
  EXPECT_EQ(table.front(), 0.0);
  EXPECT_DOUBLE_EQ(table.back(), 1.0);
  EXPECT_NEAR(table[2], 0.7071, 1e-4);
  EXPECT_TRUE(std::is_sorted(table.begin(), table.end()));
  EXPECT_EQ(ShadingTable(1), std::vector<double>{1.0});
  EXPECT_EQ(ShadingTable(2), std::vector<double>{1.0});
  EXPECT_TRUE(ShadingTable(0).empty());

  EXPECT_EQ(ShadeColour({49, 106, 197}, 0.5), (Rgb{25, 53, 99}));
  EXPECT_EQ(BarLineColours({100, 200, 50}, ShadingTable(3), 3),
            (std::vector<Rgb>{{0, 0, 0}, {100, 200, 50}, {0, 0, 0}}));

  ShadingCache cache;
  cache.For(10), cache.For(10);
  EXPECT_EQ(cache.For(12).size(), 6u);
  EXPECT_EQ(cache.Rebuilds(), 2);
}

TEST(ListPaint, RowBackgroundAndFocusFrameTables) {
  using C = ListColour;
  const struct { bool selected, active, bit, none; C background; } rows[] = {
      {true, true, true, true, C::Selection1},     {true, false, true, false, C::Selection2},
      {true, false, false, true, C::Selection3},   {false, true, true, false, C::Selection2},
      {false, true, false, false, C::Background},  {false, false, false, true, C::None},
  };
  for (const auto& r : rows) EXPECT_EQ(RowBackground(r.selected, r.active, r.bit, r.none), r.background);
  EXPECT_EQ((std::array{FocusFrame(true, true), FocusFrame(true, false), FocusFrame(false, true),
                        FocusFrame(false, false)}),
            (std::array{C::Highlight, C::Selection4, C::Selection4, C::None}));

  EXPECT_EQ(NeighbourRows(0, 8), std::vector<int>{1});
  EXPECT_EQ(NeighbourRows(3, 8), (std::vector<int>{2, 4}));
  EXPECT_EQ(NeighbourRows(7, 8), std::vector<int>{6});
}

TEST(ListPaint, OnlyNumberAndProgressColumnsShowAndTheFontIsTenPoints) {
  int visible = 0;
  for (const ListColumn& column : kListColumns) visible += column.width > 0 ? 1 : 0;
  EXPECT_EQ(visible, 2);
  EXPECT_TRUE(kListColumns[kProgressColumn].centred);
  EXPECT_EQ(ListFontHeight(96), -13);
  EXPECT_EQ(ListFontHeight(120), -16);  // 16.67 truncated, not rounded
  EXPECT_EQ(ListFontHeight(144), -20);
}

}  // namespace
}  // namespace korvex
