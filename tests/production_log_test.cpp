// The production log: one line per event in the month's file, whole even from eight
// threads at once, and what a run hears of the lines it lost.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "file_size_limit.h"
#include "station/production_log.h"
#include "host/paths.h"
#include "null_host.h"
#include "recording_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using testing::NullHost;
using testing::RecordingHost;
using testing::TempDir;

using testing::ReadLines;

std::filesystem::path LogPath(const TempDir& dir, const char* utf8Name) {
  return dir.path() / PathFromUtf8(utf8Name);
}

TEST(ProductionLog, LinesGoToTheirMonthsFileWithBlankPaddedPrefixes) {
  TempDir dir;
  NullHost inner;
  RecordingHost host(inner, dir.path());
  for (const auto& [time, line] : {std::pair{LocalTime{2010, 3, 4, 9, 5, 7, 42, 4}, "UID0001: nand.bin burn ok"},
                                   {LocalTime{2010, 11, 30, 23, 59, 59, 999, 2}, "last of november"},
                                   {LocalTime{2010, 12, 1, 0, 0, 0, 0, 3}, "first of december"}}) {
    host.SetTime(time);
    EXPECT_EQ(WriteLogLine(host, line), kLogWritten);
  }
  EXPECT_EQ(ReadLines(LogPath(dir, "2010年 3月 log.txt")),
            std::vector<std::string>{"2010/ 3/ 4  9: 5: 7:  42 : UID0001: nand.bin burn ok"});
  EXPECT_EQ(ReadLines(LogPath(dir, "2010年11月 log.txt")),
            std::vector<std::string>{"2010/11/30 23:59:59: 999 : last of november"});
  EXPECT_EQ(ReadLines(LogPath(dir, "2010年12月 log.txt")),
            std::vector<std::string>{"2010/12/ 1  0: 0: 0:   0 : first of december"});
}

// The files a run's failure observer was told of.
struct LostLogs {
  std::vector<std::string> files;
  static void Record(void* self, std::string_view file) {
    static_cast<LostLogs*>(self)->files.emplace_back(file);
  }
};

TEST(ProductionLog, UnwritableFolderLosesTheLineAndTellsTheRunOnce) {
  TempDir dir;
  NullHost inner;
  // The "program folder" is a regular file, so no log can be created inside it.
  std::ofstream(dir.path() / "not-a-folder") << "x";
  RecordingHost host(inner, dir.path() / "not-a-folder");
  const std::string logFile = PathToUtf8(dir.path() / "not-a-folder" / PathFromUtf8("2010年 3月 log.txt"));
  LostLogs lost;
  for (int run = 1; run <= 2; ++run) {
    SetLogFailureObserver(&LostLogs::Record, &lost);
    EXPECT_FALSE(LogLineLost());
    EXPECT_EQ(WriteLogLine(host, "lost"), kLogNotOpened);
    EXPECT_EQ(WriteLogLine(host, "lost too"), kLogNotOpened);
    EXPECT_TRUE(LogLineLost());
    EXPECT_EQ(lost.files, std::vector<std::string>(static_cast<std::size_t>(run), logFile));
  }
  SetLogFailureObserver(nullptr, nullptr);
  EXPECT_TRUE(LogLineLost());
  EXPECT_TRUE(host.Messages().empty()) << "the shells tell the operator, not the log";
}

TEST(ProductionLog, FullDiskLeavesNoPartOfALineAndTellsTheRun) {
  TempDir dir;
  NullHost inner;
  RecordingHost host(inner, dir.path());
  const auto path = LogPath(dir, "2010年 3月 log.txt");
  ASSERT_EQ(WriteLogLine(host, "UID0001: nand.bin burn ok"), kLogWritten);
  const std::uintmax_t size = std::filesystem::file_size(path);

  // Room for 20 more bytes: each line below comes up short.
  const int child = testing::RunWithFileSizeLimit(size + 20, [&] {
    LostLogs lost;
    SetLogFailureObserver(&LostLogs::Record, &lost);
    const bool bothRefused = WriteLogLine(host, "UID0002: nand.bin burn ok") == kLogNotWritten &&
                             WriteLogLine(host, "x") == kLogNotWritten;
    return bothRefused && lost.files.size() == 1 && LogLineLost() ? 0 : 1;
  });
  EXPECT_EQ(child, 0);
  EXPECT_EQ(std::filesystem::file_size(path), size);
  ASSERT_EQ(WriteLogLine(host, "UID0003: nand.bin burn ok"), kLogWritten);
  EXPECT_EQ(ReadLines(path), (std::vector<std::string>{
                                 "2010/ 3/ 4  9: 5: 7:  42 : UID0001: nand.bin burn ok",
                                 "2010/ 3/ 4  9: 5: 7:  42 : UID0003: nand.bin burn ok"}));
}

TEST(ProductionLog, EightWritersAtOnceGiveWholeLinesAndLoseNone) {
  TempDir dir;
  NullHost inner;
  RecordingHost host(inner, dir.path());
  constexpr int kThreads = 8;
  constexpr int kLinesEach = 2500;
  const std::string padding(120, '.');

  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < kLinesEach; ++i) {
        WriteLogLine(host, "port " + std::to_string(t) + " line " + std::to_string(i) + " " +
                               padding + " end");
      }
    });
  }
  for (auto& w : writers) w.join();

  const auto lines = ReadLines(LogPath(dir, "2010年 3月 log.txt"));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesEach));
  const std::string prefix = "2010/ 3/ 4  9: 5: 7:  42 : ";
  std::vector<int> nextLine(kThreads, 0);
  for (const auto& line : lines) {
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    std::istringstream fields(line.substr(prefix.size()));
    std::string word, dots, end;
    int port = -1, index = -1;
    fields >> word >> port >> word >> index >> dots >> end;
    ASSERT_EQ(dots, padding) << line;
    ASSERT_EQ(end, "end") << line;
    ASSERT_TRUE(port >= 0 && port < kThreads) << line;
    // Each writer's lines appear in the order it wrote them.
    ASSERT_EQ(index, nextLine[port]++) << line;
  }
}

}  // namespace
}  // namespace korvex
