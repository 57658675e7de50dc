// Build step: writes the station's icon and banner.
//   make_artwork ICON.ico BANNER.bmp

#include <cstdio>
#include <fstream>
#include <vector>

#include "win32/artwork/artwork.h"

namespace {

// Twice the banner control's size in dialog units, so the shell scales it down.
constexpr int kBannerWidth = 940;
constexpr int kBannerHeight = 68;

bool WriteFile(const char* path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (out) return true;
  std::fprintf(stderr, "make_artwork: cannot write %s\n", path);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_artwork ICON.ico BANNER.bmp\n");
    return 2;
  }
  using namespace korvex::artwork;
  const std::vector<Canvas> icons{DrawIcon(48), DrawIcon(32), Downsample(DrawIcon(32))};
  const bool written = WriteFile(argv[1], EncodeIco(icons)) &&
                       WriteFile(argv[2], EncodeBmp(DrawBanner(kBannerWidth, kBannerHeight)));
  return written ? 0 : 1;
}
