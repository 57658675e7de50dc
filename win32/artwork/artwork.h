#pragma once
// The station's icon and banner, drawn by code at build time so that no binary
// artwork is kept in the tree. Plain C++: the generator runs wherever the build does
// (natively on Windows, under the cross-compiling emulator elsewhere).

#include <cstdint>
#include <vector>

namespace korvex::artwork {

struct Pixel {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;
  friend bool operator==(const Pixel&, const Pixel&) = default;
};

class Canvas {
 public:
  Canvas(int width, int height, Pixel fill = {});

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Pixels outside the canvas read transparent and are not written.
  Pixel At(int x, int y) const;
  void Set(int x, int y, Pixel pixel);
  void FillRect(int left, int top, int right, int bottom, Pixel pixel);

 private:
  int width_;
  int height_;
  std::vector<Pixel> pixels_;  // row-major, top row first
};

// A chip with pins and a "K" on it; transparent around the chip. size is 16..256.
Canvas DrawIcon(int size);
// The title strip: a shaded band, a chip, "KORVEX" and eight progress bars.
Canvas DrawBanner(int width, int height);
// Half the size, each pixel the alpha-weighted mean of a 2x2 block.
Canvas Downsample(const Canvas& canvas);

// A .ico file holding every canvas as a 32-bit image with its transparency mask.
std::vector<std::uint8_t> EncodeIco(const std::vector<Canvas>& images);
// A 24-bit .bmp file; alpha is ignored.
std::vector<std::uint8_t> EncodeBmp(const Canvas& canvas);

}  // namespace korvex::artwork
