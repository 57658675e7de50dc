#include "win32/artwork/artwork.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "app/list_paint.h"

namespace korvex::artwork {

namespace {

constexpr Pixel kTransparent{};
constexpr Pixel kWhite{255, 255, 255, 255};
constexpr Pixel kChipBody{43, 47, 58, 255};
constexpr Pixel kChipEdge{88, 94, 110, 255};
constexpr Pixel kPin{196, 200, 208, 255};

Pixel Opaque(Rgb colour) { return {colour.r, colour.g, colour.b, 255}; }

// Glyphs of a 5x7 block font, one string per row, '#' set.
using Glyph = std::array<std::string_view, 7>;
constexpr Glyph kGlyphK{"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"};
constexpr Glyph kGlyphO{".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."};
constexpr Glyph kGlyphR{"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"};
constexpr Glyph kGlyphV{"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."};
constexpr Glyph kGlyphE{"#####", "#....", "#....", "####.", "#....", "#....", "#####"};
constexpr Glyph kGlyphX{"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"};
constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;

void DrawGlyph(Canvas& canvas, const Glyph& glyph, int left, int top, int scale, Pixel pixel) {
  for (int row = 0; row < kGlyphHeight; ++row) {
    for (int column = 0; column < kGlyphWidth; ++column) {
      if (glyph[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] != '#') continue;
      canvas.FillRect(left + column * scale, top + row * scale, left + (column + 1) * scale,
                      top + (row + 1) * scale, pixel);
    }
  }
}

// A chip of `body` pixels square at (left, top): pins on every side, an edge, and a
// "K" in the progress colour.
void DrawChip(Canvas& canvas, int left, int top, int body) {
  const int pinLength = std::max(1, body / 8);
  const int pinWidth = std::max(1, body / 12);
  const int pitch = std::max(pinWidth * 2, body / 5);
  for (int offset = pitch / 2 + pinWidth; offset + pinWidth <= body - pinWidth; offset += pitch) {
    canvas.FillRect(left + offset, top - pinLength, left + offset + pinWidth, top, kPin);
    canvas.FillRect(left + offset, top + body, left + offset + pinWidth, top + body + pinLength, kPin);
    canvas.FillRect(left - pinLength, top + offset, left, top + offset + pinWidth, kPin);
    canvas.FillRect(left + body, top + offset, left + body + pinLength, top + offset + pinWidth, kPin);
  }
  canvas.FillRect(left, top, left + body, top + body, kChipEdge);
  const int edge = std::max(1, body / 16);
  canvas.FillRect(left + edge, top + edge, left + body - edge, top + body - edge, kChipBody);
  const int scale = std::max(1, body / 10);
  const int glyphLeft = left + (body - kGlyphWidth * scale) / 2;
  const int glyphTop = top + (body - kGlyphHeight * scale) / 2;
  DrawGlyph(canvas, kGlyphK, glyphLeft, glyphTop, scale, Opaque(kProgressDoneColour));
}

// A bar shaded like the progress list's: dark edges, full colour in the middle.
void DrawShadedBar(Canvas& canvas, int left, int top, int width, int height, double fraction) {
  const std::vector<double> shading = ShadingTable(height);
  const std::vector<Rgb> done = BarLineColours(kProgressDoneColour, shading, height);
  const std::vector<Rgb> rest = BarLineColours(kProgressRemainingColour, shading, height);
  const int filled = FilledWidth(width, fraction);
  for (int line = 0; line < height; ++line) {
    const auto index = static_cast<std::size_t>(line);
    canvas.FillRect(left, top + line, left + filled, top + line + 1, Opaque(done[index]));
    canvas.FillRect(left + filled, top + line, left + width, top + line + 1, Opaque(rest[index]));
  }
}

std::uint8_t Mix(std::uint8_t from, std::uint8_t to, double t) {
  return static_cast<std::uint8_t>(from + (to - from) * t + 0.5);
}

// Little-endian writers for the file headers.
void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void PutInfoHeader(std::vector<std::uint8_t>& out, int width, int height, int bitCount,
                   std::uint32_t imageBytes) {
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(width));
  Put32(out, static_cast<std::uint32_t>(height));
  Put16(out, 1);
  Put16(out, static_cast<std::uint32_t>(bitCount));
  Put32(out, 0);  // uncompressed
  Put32(out, imageBytes);
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, 0);
  Put32(out, 0);
}

// One icon image: the info header (twice the height, colour and mask), the colour
// rows bottom-up, then the 1-bit mask (set = transparent), rows padded to 32 bits.
std::vector<std::uint8_t> IconImage(const Canvas& canvas) {
  const int width = canvas.Width();
  const int height = canvas.Height();
  const std::size_t maskStride = static_cast<std::size_t>((width + 31) / 32 * 4);
  const std::uint32_t colourBytes = static_cast<std::uint32_t>(width * height * 4);
  const std::uint32_t maskBytes = static_cast<std::uint32_t>(maskStride * static_cast<std::size_t>(height));
  std::vector<std::uint8_t> out;
  PutInfoHeader(out, width, height * 2, 32, colourBytes + maskBytes);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const Pixel p = canvas.At(x, y);
      out.insert(out.end(), {p.b, p.g, p.r, p.a});
    }
  }
  for (int y = height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(maskStride, 0);
    for (int x = 0; x < width; ++x) {
      if (canvas.At(x, y).a == 0) row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

Canvas::Canvas(int width, int height, Pixel fill)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), fill) {}

Pixel Canvas::At(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return kTransparent;
  return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
}

void Canvas::Set(int x, int y, Pixel pixel) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)] = pixel;
}

void Canvas::FillRect(int left, int top, int right, int bottom, Pixel pixel) {
  for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y) {
    for (int x = std::max(left, 0); x < std::min(right, width_); ++x) Set(x, y, pixel);
  }
}

Canvas DrawIcon(int size) {
  Canvas canvas(size, size);
  const int margin = size * 3 / 16;
  DrawChip(canvas, margin, margin, size - 2 * margin);
  return canvas;
}

Canvas DrawBanner(int width, int height) {
  Canvas canvas(width, height);
  // A navy band, lighter towards its middle line and towards the right.
  const std::vector<double> shading = ShadingTable(height);
  const auto half = static_cast<int>(shading.size());
  for (int y = 0; y < height; ++y) {
    const int i = std::min(y, height - 1 - y);
    const double lift = i < half ? shading[static_cast<std::size_t>(i)] : 1.0;
    for (int x = 0; x < width; ++x) {
      const double across = width > 1 ? static_cast<double>(x) / (width - 1) : 0.0;
      const Pixel base{Mix(12, 28, across), Mix(28, 62, across), Mix(66, 120, across), 255};
      canvas.Set(x, y, {Mix(base.r, 40, lift * 0.5), Mix(base.g, 78, lift * 0.5),
                        Mix(base.b, 150, lift * 0.5), 255});
    }
  }
  const int chip = height * 9 / 16;
  DrawChip(canvas, height / 4, (height - chip) / 2, chip);

  const int scale = std::max(1, height / 11);
  const int letterTop = (height - kGlyphHeight * scale) / 2;
  int x = height / 4 + chip + height / 3;
  for (const Glyph* glyph : {&kGlyphK, &kGlyphO, &kGlyphR, &kGlyphV, &kGlyphE, &kGlyphX}) {
    DrawGlyph(canvas, *glyph, x, letterTop, scale, kWhite);
    x += (kGlyphWidth + 1) * scale;
  }

  // Eight ports at different stages, as the list shows them.
  const int barHeight = std::max(3, height * 2 / 9);
  const int barWidth = std::max(8, width / 22);
  const int gap = std::max(2, barWidth / 6);
  const int barsWidth = 8 * barWidth + 7 * gap;
  int barLeft = std::max(x + scale * 2, width - barsWidth - height / 3);
  const int barTop = (height - barHeight) / 2;
  for (int port = 0; port < 8; ++port) {
    DrawShadedBar(canvas, barLeft, barTop, barWidth, barHeight, 0.15 + 0.12 * port);
    barLeft += barWidth + gap;
  }
  return canvas;
}

Canvas Downsample(const Canvas& canvas) {
  Canvas half(canvas.Width() / 2, canvas.Height() / 2);
  for (int y = 0; y < half.Height(); ++y) {
    for (int x = 0; x < half.Width(); ++x) {
      unsigned r = 0, g = 0, b = 0, a = 0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          const Pixel p = canvas.At(2 * x + dx, 2 * y + dy);
          r += p.r * p.a;
          g += p.g * p.a;
          b += p.b * p.a;
          a += p.a;
        }
      }
      if (a == 0) continue;
      half.Set(x, y, {static_cast<std::uint8_t>(r / a), static_cast<std::uint8_t>(g / a),
                      static_cast<std::uint8_t>(b / a), static_cast<std::uint8_t>(a / 4)});
    }
  }
  return half;
}

std::vector<std::uint8_t> EncodeIco(const std::vector<Canvas>& images) {
  std::vector<std::vector<std::uint8_t>> bodies;
  for (const Canvas& image : images) bodies.push_back(IconImage(image));
  std::vector<std::uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, static_cast<std::uint32_t>(images.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    // 256 pixels is written as 0.
    out.push_back(static_cast<std::uint8_t>(images[i].Width() & 0xFF));
    out.push_back(static_cast<std::uint8_t>(images[i].Height() & 0xFF));
    out.push_back(0);  // no palette
    out.push_back(0);
    Put16(out, 1);   // planes
    Put16(out, 32);  // bits per pixel
    Put32(out, static_cast<std::uint32_t>(bodies[i].size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(bodies[i].size());
  }
  for (const auto& body : bodies) out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<std::uint8_t> EncodeBmp(const Canvas& canvas) {
  const int width = canvas.Width();
  const int height = canvas.Height();
  const std::size_t stride = static_cast<std::size_t>((width * 3 + 3) / 4 * 4);
  const auto imageBytes = static_cast<std::uint32_t>(stride * static_cast<std::size_t>(height));
  std::vector<std::uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, 14 + 40 + imageBytes);
  Put32(out, 0);
  Put32(out, 14 + 40);
  PutInfoHeader(out, width, height, 24, imageBytes);
  for (int y = height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(stride, 0);
    for (int x = 0; x < width; ++x) {
      const Pixel p = canvas.At(x, y);
      const auto at = static_cast<std::size_t>(x) * 3;
      row[at] = p.b;
      row[at + 1] = p.g;
      row[at + 2] = p.r;
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace korvex::artwork
