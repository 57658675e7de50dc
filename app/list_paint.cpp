#include "app/list_paint.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvex {

namespace {

// (weight × background + highlight + round) / divisor, each channel on its own.
Rgb Blend(Rgb background, Rgb highlight, int weight, int round, int divisor) {
  const auto channel = [&](std::uint8_t bg, std::uint8_t hl) {
    return static_cast<std::uint8_t>((weight * bg + hl + round) / divisor);
  };
  return {channel(background.r, highlight.r), channel(background.g, highlight.g),
          channel(background.b, highlight.b)};
}

}  // namespace

ListPalette ComputePalette(Rgb window, Rgb windowText, Rgb highlight) {
  ListPalette palette;
  palette.background = window;
  palette.text = windowText;
  palette.highlight = highlight;
  palette.selection = {Blend(window, highlight, 3, 2, 4), Blend(window, highlight, 2, 2, 3),
                       Blend(window, highlight, 7, 4, 8), Blend(window, highlight, 1, 1, 2)};
  return palette;
}

Rgb ColourOf(const ListPalette& palette, ListColour colour) {
  switch (colour) {
    case ListColour::Highlight: return palette.highlight;
    case ListColour::Selection1: return palette.selection[0];
    case ListColour::Selection2: return palette.selection[1];
    case ListColour::Selection3: return palette.selection[2];
    case ListColour::Selection4: return palette.selection[3];
    case ListColour::None:
    case ListColour::Background: break;
  }
  return palette.background;
}

ListColour RowBackground(bool selected, bool active, bool stateBit0x10, bool textBackgroundNone) {
  if (selected && active) return ListColour::Selection1;
  if (stateBit0x10) return ListColour::Selection2;
  if (selected) return ListColour::Selection3;
  return textBackgroundNone ? ListColour::None : ListColour::Background;
}

ListColour FocusFrame(bool selected, bool active) {
  if (selected) return active ? ListColour::Highlight : ListColour::Selection4;
  return active ? ListColour::Selection4 : ListColour::None;
}

std::vector<int> NeighbourRows(int row, int rowCount) {
  std::vector<int> rows;
  if (row - 1 >= 0 && row - 1 < rowCount) rows.push_back(row - 1);
  if (row + 1 >= 0 && row + 1 < rowCount) rows.push_back(row + 1);
  return rows;
}

std::vector<double> ShadingTable(int barHeight) {
  const int half = (barHeight + 1) / 2;
  if (half <= 0) return {};
  // A bar one or two lines high has no edge to darken: its line is the middle.
  if (half == 1) return {1.0};
  std::vector<double> table(static_cast<std::size_t>(half));
  for (int i = 0; i < half; ++i) {
    table[static_cast<std::size_t>(i)] = std::sin(i * (std::numbers::pi / 2) / (half - 1));
  }
  return table;
}

const std::vector<double>& ShadingCache::For(int barHeight) {
  if (barHeight != height_) {
    table_ = ShadingTable(barHeight);
    height_ = barHeight;
    ++rebuilds_;
  }
  return table_;
}

int FilledWidth(int cellWidth, double fraction) {
  if (cellWidth <= 0 || fraction <= 0.0) return 0;
  if (fraction >= 1.0) return cellWidth;
  return static_cast<int>(cellWidth * fraction);
}

Rgb ShadeColour(Rgb colour, double factor) {
  const auto channel = [factor](std::uint8_t c) {
    return static_cast<std::uint8_t>(c * factor + 0.5);
  };
  return {channel(colour.r), channel(colour.g), channel(colour.b)};
}

std::vector<Rgb> BarLineColours(Rgb colour, const std::vector<double>& shading, int barHeight) {
  std::vector<Rgb> lines(static_cast<std::size_t>(std::max(barHeight, 0)));
  const int half = static_cast<int>(shading.size());
  for (int i = 0; i < half; ++i) {
    const Rgb shade = ShadeColour(colour, shading[static_cast<std::size_t>(i)]);
    if (i < barHeight) lines[static_cast<std::size_t>(i)] = shade;
    if (barHeight - 1 - i >= 0) lines[static_cast<std::size_t>(barHeight - 1 - i)] = shade;
  }
  return lines;
}

ProgressBarLayout LayoutProgressBar(const CellRect& cell, double fraction) {
  ProgressBarLayout layout;
  layout.bar = {cell.left, cell.top + 1, cell.right, cell.bottom - 1};
  layout.draw = layout.bar.Width() > 0 && layout.bar.Height() > 0;
  if (layout.draw) layout.filledWidth = FilledWidth(layout.bar.Width(), fraction);
  return layout;
}

int ListFontHeight(int pixelsPerInchY) { return -(10 * pixelsPerInchY / 72); }

}  // namespace korvex
