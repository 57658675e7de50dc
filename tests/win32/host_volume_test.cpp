// The volume and file functions the demo copy uses, on a scratch folder with a
// Chinese name and on the drives Wine provides.

#include <gtest/gtest.h>

#include "host/win32/utf8.h"
#include "win_test_support.h"

namespace korvex {
namespace {

TEST(VolumeFilesTest, FindCopyOverAndDeleteWorkOnNonAsciiPaths) {
  wintest::ScratchFolder folder("演示");
  Win32Host host;
  const std::string demo = folder.Utf8Child("演示片.rmvb");
  const std::string video = folder.Utf8Child("VIDEO");
  const std::string target = video + "VEDIO";

  EXPECT_FALSE(host.FindFile(demo));
  ASSERT_TRUE(wintest::WriteWholeFile(Utf8ToWide(demo), "first demo"));
  EXPECT_TRUE(host.FindFile(demo));
  ASSERT_TRUE(::CreateDirectoryW(Utf8ToWide(video).c_str(), nullptr));
  EXPECT_TRUE(host.FindFile(video));  // a folder counts as found

  EXPECT_TRUE(host.CopyFileOver(demo, target));
  EXPECT_EQ(wintest::ReadWholeFile(Utf8ToWide(target)), std::optional<std::string>("first demo"));
  // An existing target is overwritten, not refused.
  ASSERT_TRUE(wintest::WriteWholeFile(Utf8ToWide(demo), "second demo, longer"));
  EXPECT_TRUE(host.CopyFileOver(demo, target));
  EXPECT_EQ(wintest::ReadWholeFile(Utf8ToWide(target)), std::optional<std::string>("second demo, longer"));
  EXPECT_FALSE(host.CopyFileOver(folder.Utf8Child("缺少.rmvb"), target));

  EXPECT_TRUE(host.DeleteFilePath(target));
  EXPECT_FALSE(host.FindFile(target));
  EXPECT_FALSE(host.DeleteFilePath(target));
  EXPECT_TRUE(host.FindFile(demo));
}

TEST(VolumeFilesTest, DriveRootsFollowTheSystemsDriveListWithTheirTypeAndFreeSpace) {
  Win32Host host;
  std::vector<std::string> expected;
  const DWORD drives = ::GetLogicalDrives();
  for (int letter = 0; letter < 26; ++letter) {
    if (drives & (1u << letter)) expected.push_back(std::string(1, char('A' + letter)) + ":\\");
  }
  EXPECT_EQ(host.LogicalDriveRoots(), expected);
  EXPECT_FALSE(host.IsRemovableDrive("C:\\"));  // Wine's C: is a fixed disk
  std::uint64_t freeBytes = 0;
  EXPECT_TRUE(host.QueryFreeSpace("C:\\", freeBytes));
  EXPECT_GT(freeBytes, 0u);

  // A letter with no drive behind it: a quiet failure.
  int unused = 25;
  while (unused > 2 && (drives & (1u << unused))) --unused;
  ASSERT_FALSE(drives & (1u << unused));
  freeBytes = 1;
  EXPECT_FALSE(host.QueryFreeSpace(std::string(1, char('A' + unused)) + ":\\", freeBytes));
  EXPECT_EQ(freeBytes, 0u);
}

}  // namespace
}  // namespace korvex
