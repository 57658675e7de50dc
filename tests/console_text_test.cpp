// The console's own words: a board's state worked out from progress messages and log
// lines, the summary, JSON text and option help, checked without a process.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/board_tracker.h"
#include "cli/json.h"
#include "cli/station_summary.h"
#include "cli/station_view.h"
#include "shell/option_help.h"

namespace korvex::cli {
namespace {

using std::chrono::milliseconds;

// nand.bin and img_boot.bin included, on a chip with 2048-byte pages, 128 KiB blocks.
JobPlan TwoImagePlan(bool formatAfter) {
  JobPlan plan;
  plan.included[kNandBin] = plan.included[kImgBootBin] = true;
  plan.imageBytes[kNandBin] = 1000000;
  plan.imageBytes[kImgBootBin] = 3000000;
  plan.formatAfter = formatAfter;
  plan.chipPageBytes = 2048;
  plan.chipBlockBytes = 128 * 1024;
  return plan;
}

struct Step {
  ProgressType type;
  std::intptr_t value;
  const char* logLine;  // instead of a message when set
  const char* text;     // the state after the step
  bool ownLine;         // worth a line of its own
};

TEST(BoardTracker, FollowsABurnFromItsMessagesAndLogLines) {
  const Clock::time_point t0{};
  const Step steps[] = {
      {kProgressBoot, 0, nullptr, "booting", true},
      {kProgressBoot, 50, nullptr, "identifying the chip", true},
      {kProgressBoot, 100, nullptr, "identifying the chip", false},
      {kProgressReset, 0, nullptr, "identifying the chip", false},
      {kProgressLabel, kNandBin, nullptr, "erasing the nand.bin zone", true},
      {kProgressImage, 0, nullptr, "writing nand.bin 0%", true},
      {kProgressImage, 8, nullptr, "writing nand.bin 8%", false},
      {kProgressImage, 16, nullptr, "writing nand.bin 16%", true},
      {kProgressImage, 100, nullptr, "writing the identity pages", true},
      {kProgressReset, 0, "nandUID: 0a0b 0c0d: nand.bin Page from 0 to 489.", "writing the identity pages", false},
      {kProgressLabel, kLoaderBin, nullptr, "writing the identity pages", false},  // not included
      {kProgressLabel, kImgBootBin, nullptr, "erasing the img_boot.bin zone", true},
      {kProgressImage, 100, nullptr, "formatting", true},
      {kProgressReset, 0, "nandUID: 0a0b 0c0d: img_boot.bin Page from 1536 to 3065.", "formatting", false},
  };
  BoardTracker tracker(TwoImagePlan(true));
  for (const Step& step : steps) {
    SCOPED_TRACE(step.text);
    const bool ownLine = step.logLine ? tracker.OnLogLine(2, step.logLine)
                                      : tracker.OnProgress(2, step.type, step.value, BurnEnd::kNone, "", t0);
    EXPECT_EQ(ownLine, step.ownLine);
    EXPECT_EQ(StateText(*tracker.Latest(2)), step.text);
  }
  EXPECT_TRUE(tracker.OnProgress(2, kProgressReset, 0, BurnEnd::kBurned, "nandUID: 0a0b 0c0d", t0 + milliseconds(8300)));
  const BoardJob& job = *tracker.Latest(2);
  EXPECT_EQ(StateText(job), "done in 8.3 s, UID 0a0b 0c0d");
  EXPECT_EQ(job.BytesWritten(), 4000000u);
  // nand.bin's 1000000 bytes take 489 pages and span 489: no block stepped over;
  // img_boot.bin's take 1465 and span 1529: one block of 64 pages stepped over.
  EXPECT_EQ(BadBlocksSkipped(job, tracker.Plan()), 1);
  EXPECT_EQ(tracker.PortOfUid("nandUID: 0a0b 0c0d"), 2);
  EXPECT_EQ(tracker.Jobs().size(), 1u);
}

TEST(BoardTracker, EachEndGetsItsResultAndTheFirstWordThatExplainsIt) {
  const struct {
    BurnEnd end;
    const char* message;  // a message box during the job, if any
    const char* logLine;  // a log line during the job, if any
    bool closing;
    const char* text;
    const char* result;
  } cases[] = {
      {BurnEnd::kLinkLost, nullptr, "nandUID: 0102: img_boot.bin disconnected!", false,
       "unplugged: img_boot.bin disconnected!", "link-lost"},
      {BurnEnd::kZoneFull, nullptr, "nandUID: 0102: Update nand.bin succeeded!", false, "failed: zone-full", "zone-full"},
      {BurnEnd::kInterrupted, nullptr, nullptr, false, "interrupted: station closed mid-burn", "interrupted"},
      {BurnEnd::kLinkLost, nullptr, nullptr, true, "interrupted: station closed mid-burn", "link-lost"},
      {BurnEnd::kBurned, nullptr, nullptr, true, "done in 0.0 s", "burned"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    BoardTracker tracker(TwoImagePlan(false));
    tracker.OnProgress(0, kProgressBoot, 0, BurnEnd::kNone, "", {});
    if (c.message) tracker.OnMessage(0, c.message);
    if (c.logLine) tracker.OnLogLine(0, c.logLine);
    if (c.closing) tracker.MarkClosing();
    tracker.OnProgress(0, kProgressReset, 0, c.end, "", {});
    EXPECT_EQ(StateText(*tracker.Latest(0)), c.text);
    EXPECT_EQ(tracker.Latest(0)->Result(), c.result);
  }
}

// The time left is the board's own rate so far applied to what it has still to write,
// told only while it writes or verifies something.
TEST(BoardTracker, TimeLeftAtTheBoardsOwnRateWhileItWrites) {
  const Clock::time_point t0{};
  const struct {
    BoardState state;
    std::uint64_t written;
    bool finished;
    std::string text;
  } kCases[] = {
      {BoardState::kWriting, 25, false, ", about 30 s left"}, {BoardState::kVerifying, 80, false, ", about 2 s left"},
      {BoardState::kWriting, 0, false, ""},                  {BoardState::kWriting, 100, false, ""},
      {BoardState::kBooting, 25, false, ""},                 {BoardState::kDone, 100, true, ""},
  };
  for (const auto& c : kCases) {
    BoardJob job;
    job.state = c.state;
    job.started = t0;
    job.finished = c.finished;
    job.ended = t0 + milliseconds(10'000);
    job.bytesDone = c.written / 2, job.bytesCurrent = c.written - c.written / 2;
    EXPECT_EQ(TimeLeftText(job, 100, t0 + milliseconds(10'000)), c.text) << StateName(c.state) << " " << c.written;
  }
}

TEST(StationSummary, OneRowPerBoardThenTheTotals) {
  BoardTracker tracker(TwoImagePlan(false));
  const Clock::time_point t0{};
  tracker.OnProgress(0, kProgressBoot, 0, BurnEnd::kNone, "", t0);
  tracker.OnProgress(0, kProgressLabel, kNandBin, BurnEnd::kNone, "", t0);
  tracker.OnProgress(0, kProgressImage, 100, BurnEnd::kNone, "", t0);
  tracker.OnProgress(0, kProgressLabel, kImgBootBin, BurnEnd::kNone, "", t0);
  tracker.OnProgress(0, kProgressImage, 100, BurnEnd::kNone, "", t0);
  tracker.OnProgress(0, kProgressReset, 0, BurnEnd::kBurned, "nandUID: 07ea 0c06", t0 + milliseconds(8125));
  tracker.OnProgress(5, kProgressBoot, 0, BurnEnd::kNone, "", t0);
  tracker.OnMessage(5, "Please check nand_cfg.h file!");
  tracker.OnProgress(5, kProgressReset, 0, BurnEnd::kChipUnknown, "", t0 + milliseconds(40));
  tracker.OnNotStarted(6, "its device could not be opened", t0);
  EXPECT_EQ(FormatSummary(tracker, 10.0, "/line/log.txt"),
            "board  port  result        duration  bad blocks  UID        reason\n"
            "    1     1  burned           8.1 s           0  07ea 0c06\n"
            "    2     6  chip-unknown     0.0 s           0             the board's NAND chip is not in nand_cfg.bin: "
            "add it with `korvex nand-table add` (Please check nand_cfg.h file!)\n"
            "    3     7  not-started      0.0 s           0             its device could not be opened\n"
            "boards 3, burned 1, failed 2 (1 not started); wall time 10.0 s; data written 3.8 MiB; "
            "mean rate 480.8 KiB/s while boards burned\n"
            "production log: /line/log.txt\n");
  EXPECT_EQ(SummaryJson(tracker, 10.0, "/line/log.txt"),
            R"({"type":"summary","boards":3,"burned":1,"failed":2,"unplugged":0,"interrupted":0,)"
            R"("not_started":1,"wall_time_s":10.000,"bytes_written":4000000,"mean_rate_bytes_per_s":492308,"demo_failed":0,)"
            R"("log":"/line/log.txt"})");
  EXPECT_EQ(ResultJson(tracker.Jobs()[1], tracker.Plan()),
            R"({"type":"result","port":6,"board":2,"result":"chip-unknown","reason":"Please check nand_cfg.h file!",)"
            R"("duration_s":0.040,"uid":"","bad_blocks":0,"bytes_written":0,"end":"chip-unknown"})");
}

TEST(ConsoleText, LogLinesSplitIntoTheBoardsIdAndTheirWords) {
  const std::string line = "2026/ 1/ 2  3: 4: 5: 678 : nandUID: 07ea 0c06: Update nand.bin succeeded!";
  EXPECT_EQ(LogMessage(line), "nandUID: 07ea 0c06: Update nand.bin succeeded!");
  const BoardLine board = SplitBoardLine(LogMessage(line));
  EXPECT_EQ(board.uid, "nandUID: 07ea 0c06");
  EXPECT_EQ(board.text, "Update nand.bin succeeded!");
  EXPECT_EQ(SplitBoardLine(": erase nand!").text, "erase nand!");
  for (const char* failure : {"res.bin write Error!", "Open loader.bin failure!", "board disconnected!",
                              "Write UID to page 63 Error!", "ERROR:loader.bin Page from 1024 to 1280."}) {
    EXPECT_TRUE(IsFailureLine(failure)) << failure;
  }
  for (const char* routine : {"Update res.bin succeeded!", "Write UID to page 63 finished!", "system reset!"}) {
    EXPECT_FALSE(IsFailureLine(routine)) << routine;
  }
}

TEST(ConsoleText, JsonTextIsValidUtf8WhateverTheBytes) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"ok \"q\" \\ \n\t", R"("ok \"q\" \\ \n\t")"},
      {"\x01\x7f", R"("\u0001\u007f")"},
      {"格式化中", "\"格式化中\""},
      {"\xb8\xf1\xca\xbd", "\"\\ufffd\\ufffd\xca\xbd\""},  // GBK; its last two bytes happen to be UTF-8
      {"\xe6\xa0", R"("\ufffd\ufffd")"},                      // a cut sequence
      {"\xc0\xaf \xed\xa0\x80", R"("\ufffd\ufffd \ufffd\ufffd\ufffd")"},  // overlong, surrogate
      {"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonQuote(c.in), c.out) << c.out;
}

TEST(ConsoleText, LinesAreClippedToTheTerminalsColumns) {
  EXPECT_EQ(ClipToColumns("port 1 writing", 6), "port 1");
  EXPECT_EQ(ClipToColumns("请选择文件nand.bin!", 5), "请选");
  EXPECT_EQ(ClipToColumns("ab", 10), "ab");
}

TEST(OptionHelp, AlignsWrapsAndNamesEveryDefault) {
  const OptionHelp options[] = {
      {"--nand", "PATH", "nand.bin", "none"},
      {"--until-done", "", "exit once every board has ended", ""},
      {"--sim-fault", "PLAN",
       "faults of every simulated board: unplug-after=N, unplug-at-page=P, fail-request=N[@K], hang-after=N",
       "none"},
  };
  EXPECT_EQ(FormatOptionHelp(options),
            "  --nand PATH       nand.bin (default: none)\n"
            "  --until-done      exit once every board has ended\n"
            "  --sim-fault PLAN  faults of every simulated board: unplug-after=N, unplug-at-page=P,\n"
            "                    fail-request=N[@K], hang-after=N (default: none)\n");
  // Every option the simulator's reader takes is described for both shells.
  const sim::SimOptionParser parser("--sim", "--model", 8);
  for (const OptionHelp& option : SimOptionHelp(parser, {"--sim", "N", "boards", ""}, {"--model", "M", "model", ""})) {
    EXPECT_NE(option.description, kUndocumentedOption) << option.name;
  }
}

}  // namespace
}  // namespace korvex::cli
