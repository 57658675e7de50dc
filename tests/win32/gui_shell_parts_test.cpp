// The Windows shell's small parts on their own: korvex.exe's command line, the file
// dialogs' filter form, and the artwork drawn at build time (as encoded, and as the
// program's resources load it).

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/list_paint.h"
#include "win32/artwork/artwork.h"
#include "win32/file_dialogs.h"
#include "win32/resource.h"
#include "win32/station_options.h"

namespace korvex::win32 {
namespace {

std::optional<StationOptions> Parse(std::vector<std::string> args, std::string& error) {
  return ParseStationOptions(args, error);
}

TEST(StationOptionsTest, NoOptionsRunTheDriverStation) {
  std::string error;
  const auto options = Parse({}, error);
  ASSERT_TRUE(options) << error;
  EXPECT_FALSE(options->simulatedBoards);
}

TEST(StationOptionsTest, SimulatedLineTakesBoardsChipFaultsAndFolder) {
  std::string error;
  const auto options = Parse({"--simulate", "8", "--sim-chip=2CD7:843E94", "--sim-bad-blocks", "3,17",
                              "--sim-seed", "42", "--sim-fault", "random-bad=2,seed=9", "--sim-model",
                              "7120", "--sim-timing", "--sim-home", "D:\\rehearsal"},
                             error);
  ASSERT_TRUE(options) << error;
  EXPECT_EQ(options->simulatedBoards, 8);
  EXPECT_EQ(options->board.chip.mainId, 0x2CD7);
  EXPECT_EQ(options->board.chip.extId, 0x843E94u);
  EXPECT_EQ(options->board.model, 0);
  // The fault plan given last keeps the bad blocks and the seed given before it.
  EXPECT_EQ(options->board.faults.badBlocks, (std::vector<std::uint32_t>{3, 17}));
  EXPECT_EQ(options->board.faults.randomBadBlocks, 2u);
  EXPECT_EQ(options->board.faults.seed, 42u);
  EXPECT_TRUE(options->timing);
  EXPECT_EQ(options->simHome, "D:\\rehearsal");
}

TEST(StationOptionsTest, MistakesAreRefusedWithOneLine) {
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--simulate", "9"}, "--simulate takes a number of boards from 0 to 8"},
      {{"--simulate"}, "--simulate needs a value"},
      {{"--simulate", "2", "--sim-chip", "ECD3"}, "--sim-chip takes MAIN:EXT in hex, e.g. ECD3:589551"},
      {{"--simulate", "2", "--sim-chip", "1ECD3:0"}, "--sim-chip takes MAIN:EXT in hex, e.g. ECD3:589551"},
      {{"--simulate", "2", "--sim-bad-blocks", "3,x"},
       "--sim-bad-blocks takes block numbers separated by commas, e.g. 12,40"},
      {{"--simulate", "2", "--sim-model", "7140"}, "--sim-model takes 7120, 7130, 7135 or 7105B"},
      {{"--sim-timing"}, "the --sim-... options need --simulate N"},
      {{"--simulate", "1", "--verbose"}, "unknown option '--verbose'"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(Parse(c.args, error)) << c.error;
    EXPECT_EQ(error, c.error);
  }
  std::string error;
  EXPECT_FALSE(Parse({"--simulate", "1", "--sim-fault", "bogus=1"}, error));
  EXPECT_EQ(error.rfind("--sim-fault: ", 0), 0u) << error;
}

TEST(FileDialogTest, FilterBarsBecomeTheDialogsSeparators) {
  EXPECT_EQ(DialogFilter("BIN(*.BIN)|*.bin||"), std::wstring(L"BIN(*.BIN)\0*.bin\0\0", 18));
  EXPECT_EQ(DialogFilter(""), L"");
}

TEST(ArtworkTest, BitmapFileHasItsHeaderAndBottomUpPaddedRows) {
  artwork::Canvas canvas(3, 2, {0, 0, 0, 255});
  canvas.Set(0, 0, {10, 20, 30, 255});  // top left
  const std::vector<std::uint8_t> bmp = artwork::EncodeBmp(canvas);
  ASSERT_EQ(bmp.size(), 54u + 2 * 12);  // 3 pixels of 3 bytes padded to 12
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(bmp[2], 78);  // file size, little-endian
  EXPECT_EQ(bmp[10], 54);
  EXPECT_EQ(bmp[18], 3);  // width
  EXPECT_EQ(bmp[22], 2);  // height
  EXPECT_EQ(bmp[28], 24);
  // The top row comes second; its first pixel is blue, green, red.
  EXPECT_EQ(bmp[54 + 12], 30);
  EXPECT_EQ(bmp[54 + 13], 20);
  EXPECT_EQ(bmp[54 + 14], 10);
}

TEST(ArtworkTest, IconFileListsEachImageWithItsMask) {
  const std::vector<std::uint8_t> ico = artwork::EncodeIco({artwork::DrawIcon(32), artwork::DrawIcon(16)});
  ASSERT_GT(ico.size(), 6u + 32);
  EXPECT_EQ(ico[2], 1);  // icon
  EXPECT_EQ(ico[4], 2);  // two images
  EXPECT_EQ(ico[6], 32);
  EXPECT_EQ(ico[6 + 16], 16);
  // 32x32: header, 4 bytes a pixel, a mask of 4 bytes a row.
  const std::uint32_t bytes32 = ico[14] | ico[15] << 8;
  EXPECT_EQ(bytes32, 40u + 32 * 32 * 4 + 32 * 4);
  // The corner is transparent: its mask bit is set.
  const std::size_t mask32 = 6 + 2 * 16 + 40 + 32 * 32 * 4;
  EXPECT_EQ(ico[mask32] & 0x80, 0x80);
}

TEST(ArtworkTest, DownsampleAveragesOpaquePixelsOnly) {
  artwork::Canvas canvas(2, 2);
  canvas.Set(0, 0, {100, 0, 0, 255});
  canvas.Set(1, 1, {200, 0, 0, 255});
  const artwork::Canvas half = artwork::Downsample(canvas);
  ASSERT_EQ(half.Width(), 1);
  EXPECT_EQ(half.At(0, 0), (artwork::Pixel{150, 0, 0, 127}));
}

TEST(ArtworkTest, ProgramResourcesHoldTheDrawnIconAndBanner) {
  HINSTANCE self = ::GetModuleHandleW(nullptr);
  HBITMAP banner = static_cast<HBITMAP>(::LoadImageW(self, MAKEINTRESOURCEW(IDB_BANNER), IMAGE_BITMAP, 0, 0, 0));
  ASSERT_NE(banner, nullptr);
  BITMAP info{};
  ::GetObjectW(banner, sizeof info, &info);
  EXPECT_EQ(info.bmWidth, 940);
  EXPECT_EQ(info.bmHeight, 68);
  ::DeleteObject(banner);
  for (const int size : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(::LoadImageW(self, MAKEINTRESOURCEW(IDI_KORVEX), IMAGE_ICON, size, size, 0));
    EXPECT_NE(icon, nullptr) << size;
    if (icon != nullptr) ::DestroyIcon(icon);
  }
}

}  // namespace
}  // namespace korvex::win32
