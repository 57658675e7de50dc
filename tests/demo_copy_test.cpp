// The demo copy against simulated boards that come back as volumes after their
// reset: the scan, the ID readout, the match against the ports, the copy threads,
// the tick gate, and a whole burn followed by the copy in the console's --demo.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <iterator>
#include <string>
#include <vector>

#include "app/station_core.h"
#include "app/port_workers.h"
#include "nandtable/nand_cfg.h"
#include "sim/placeholder_home.h"
#include "station/production_log.h"
#include "cli_runner.h"
#include "host/paths.h"
#include "recording_host.h"
#include "sim_board_fixture.h"
#include "temp_dir.h"
#include "tools/demo_copy.h"

namespace korvex {
namespace {

using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

constexpr Uid kUid{0x07, 0xDA, 0x03, 0x05, 0x0E, 0x07, 0x09, 0x00,
                   0x7B, 0x12, 0x34, 0x00, 0x56, 0x7F, 0xFF, 0x0C};
constexpr std::string_view kUidText = "nandUID: 07da 0305 0e07 0900 7b12 3400 567f ff0c";

// The recording host with the simulator's volumes behind it.
class VolumeHost : public testing::RecordingHost {
 public:
  VolumeHost(sim::SimHost& sim, fs::path home) : RecordingHost(sim, std::move(home)), sim_(sim) {}

  std::vector<std::string> LogicalDriveRoots() override { return sim_.LogicalDriveRoots(); }
  bool IsRemovableDrive(std::string_view root) override { return sim_.IsRemovableDrive(root); }
  bool QueryFreeSpace(std::string_view root, std::uint64_t& free) override {
    return sim_.QueryFreeSpace(root, free);
  }
  bool FindFile(std::string_view path) override { return sim_.FindFile(path); }
  bool CopyFileOver(std::string_view from, std::string_view to) override {
    return sim_.CopyFileOver(from, to);
  }
  bool DeleteFilePath(std::string_view path) override { return sim_.DeleteFilePath(path); }

 private:
  sim::SimHost& sim_;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

class DemoCopy : public ::testing::Test {
 protected:
  DemoCopy() {
    ResetPortRecords();
    ResetDemoState();
    std::ofstream(demoFile_, std::ios::binary) << "demo movie bytes";
  }
  ~DemoCopy() override {
    sim_.JoinThreads();
    ResetPortRecords();
    ResetDemoState();
  }

  // A board on USB port 0 that a burn left with `uid` on its ID page, then reset.
  void BurnedBoard(const Uid& uid, bool reset = true) {
    sim_.Plug(0, testing::Stage2Board());
    sim_.WriteNand(0, 63 * 2048, std::vector<std::uint8_t>(uid.begin(), uid.end()));
    ASSERT_TRUE(!reset || testing::Wire(sim_, 0).Request(8, 1));
  }
  // That board, with port 0 done burning as the only one and `uidText` as its ID.
  void ReadyBoard(std::string_view uidText) {
    BurnedBoard(kUid);
    g_portRuns[0].burning = kBurningDone;
    g_portRuns[0].SetUid({}, uidText);
    g_burningCount = 1;
  }
  std::string Root() const { return (dir_.path() / "sim-volumes" / "usb0" / "").string(); }
  fs::path UidFile() const { return dir_.path() / "sim-volumes" / "usb0" / "VIDEO" / "uid.txt"; }
  DemoTickResult Tick() {
    const DemoTickResult result = DemoTimerTick(host_, demoFile_.string(), g_demoVolumes);
    sim_.JoinThreads();
    return result;
  }
  // The messages of a readout of Root()'s uid.txt that read `text`, then the copy's.
  Lines CopyMessages(std::string_view text) const {
    return {"pFileName = " + Root() + "VIDEO/uid.txt, p = ", std::string(text), demoFile_.string(),
            Root() + "VIDEOVEDIO"};
  }
  Lines LogLines() {
    Lines lines = testing::ReadLines(dir_.path() / PathFromUtf8(LogFileName(host_.GetLocalTime())));
    for (std::string& line : lines) line.erase(0, line.find(" : ") + 3);
    return lines;
  }

  testing::TempDir dir_;
  sim::SimHost sim_{4, dir_.path()};
  VolumeHost host_{sim_, dir_.path()};
  fs::path demoFile_ = dir_.path() / "demo.rmvb";
};

TEST_F(DemoCopy, TheVolumeOfEntryZeroGetsTheDemoOfThePortWhoseIdItCarries) {
  BurnedBoard(kUid);
  g_portRuns[2].SetUid({}, kUidText);  // entry 0 is matched against port 2's ID ...
  g_burningCount = 1;
  g_portRuns[0].burning = kBurningStarted;  // ... only once port 0 (its own index) is done
  EXPECT_TRUE(Tick().matched);
  EXPECT_EQ(host_.MessageTexts(), Lines{});
  EXPECT_EQ(ReadAll(UidFile()).size(), 16u);

  g_portRuns[0].burning = kBurningDone;
  const DemoTickResult tick = Tick();
  EXPECT_EQ(tick.volumes, 1);
  EXPECT_EQ(tick.copiesStarted, 1);
  EXPECT_EQ(host_.MessageTexts(), CopyMessages(kUidText));
  EXPECT_EQ(LogLines(), Lines{std::string(kUidText) + ": Update Demo succeed!"});
  EXPECT_EQ(ReadAll(dir_.path() / "sim-volumes" / "usb0" / "VIDEOVEDIO"), "demo movie bytes");
  EXPECT_FALSE(fs::exists(UidFile()));

  // Served once: the target is there now, so later ticks leave the volume alone.
  EXPECT_TRUE(Tick().matched);
  EXPECT_EQ(host_.MessageTexts().size(), 4u);
  EXPECT_EQ(g_demoVolumes[0].targetPresent, 1);
}

TEST_F(DemoCopy, TheReadoutOfShortAndEmptyIdFiles) {
  const struct {
    std::string content, message;  // the uid.txt, and the message after "pFileName = ..."
    bool copied;
  } cases[] = {
      {std::string("\x0a\x0b\x0c", 3), "nandUID: 0a0b 0c00 0000 0000 0000 0000 0000 0000", true},
      {std::string(), "fread uid failed!", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    ReadyBoard(c.message);
    ASSERT_EQ(sim_.LogicalDriveRoots(), Lines{Root()});  // mounts the volume
    std::ofstream(UidFile(), std::ios::binary) << c.content;
    host_.ClearMessages();
    Tick();
    Lines expected = CopyMessages(c.message);
    if (!c.copied) expected.resize(2);
    EXPECT_EQ(host_.MessageTexts(), expected);
    EXPECT_EQ(fs::exists(UidFile()), !c.copied);
  }
}

// The window's demo timer keeps ticking while boards burn: every ID it sees is whole
// (ThreadSanitizer runs this one with four workers writing their IDs meanwhile).
TEST_F(DemoCopy, TicksOverlappingBurnsSeeOnlyWholeIds) {
  std::string error;
  ASSERT_TRUE(sim::WritePlaceholderHome(dir_.path(), error)) << error;
  const fs::path image = dir_.path() / "nand.bin";
  std::ofstream(image, std::ios::binary) << std::string(5000, 'k');
  for (int usb = 0; usb < 4; ++usb) sim_.Plug(usb, {});
  auto station = StationCore::BringUp(host_, RecordKeeper::None());
  ASSERT_TRUE(station);
  PortScheduler& scheduler = station->scheduler();
  StationSettings settings;
  settings.SetImage(kNandBin, image.string(), true);
  ASSERT_EQ(scheduler.Scan(settings).claimed, 4);
  const auto running = [] {
    return std::ranges::any_of(g_portRuns, [](const PortRun& run) { return run.workerRunning.load(); });
  };
  // Bounded: a worker that never ends fails the test instead of holding up the suite.
  for (int tick = 0; running() && tick < 1'000'000; ++tick) DemoTimerTick(host_, demoFile_.string(), g_demoVolumes);
  EXPECT_FALSE(running());
  sim_.JoinThreads();
  for (std::size_t port = 0; port < 4; ++port) {
    EXPECT_EQ(g_portRuns[port].end, BurnEnd::kBurned);
    EXPECT_EQ(g_portRuns[port].Uid().View().size(), kUidText.size());
  }
}

// A volume counts 1 against no board burning, so the copy waits for the tick that the
// gate forces; a copy that fails (the demo file has gone) is logged as a failure.
TEST_F(DemoCopy, WithCountsApartTheNinthTickForcesTheCopy) {
  ReadyBoard(kUidText);
  g_burningCount = 0;
  fs::remove(demoFile_);
  for (std::uint32_t tick = 1; tick <= 8; ++tick) {
    EXPECT_FALSE(Tick().matched);
    EXPECT_EQ(g_demoTick, tick);
  }
  EXPECT_EQ(host_.MessageTexts(), Lines{});
  const DemoTickResult ninth = Tick();
  EXPECT_TRUE(ninth.matched);
  EXPECT_EQ(ninth.copiesStarted, 1);
  EXPECT_EQ(g_demoTick, 0u);
  EXPECT_EQ(host_.MessageTexts(), CopyMessages(kUidText));
  EXPECT_EQ(LogLines(), Lines{std::string(kUidText) + ": Update Demo failure!"});
}

// The whole line: a board from its boot ROM through the real burn of the sample
// images, then the demo timer, in the console's station run; once as the window
// starts (Demo and the format after the burn both ticked), once without the format.
// A 10 ms demo period brings the forced matching step within the run's first second.
TEST(StationDemo, TheConsoleCopiesTheDemoOntoTheBurnedBoardBeforeItEnds) {
  testing::TempDir home;
  const std::string h = home.path().string();
  ASSERT_EQ(RunKorvex("--home " + h + " sim-home").exitCode, 0);
  const fs::path demo = home.path() / "demo.rmvb";
  std::ofstream(demo, std::ios::binary) << "demo for the line";
  for (const bool format : {true, false}) {
    SCOPED_TRACE(format ? "format after the burn" : "no format");
    fs::remove_all(home.path() / "sim-volumes");  // nothing of the run before counts
    const RunResult run = RunKorvex("--home " + h + " --json station --sim 1 --until-done --nand " + h +
                                    "/images/nand.bin --demo " + demo.string() + " --demo-period 10" +
                                    (format ? " --format-after" : ""));
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::string volume = h + "/sim-volumes/usb0/";
    EXPECT_EQ(ReadAll(volume + "VIDEOVEDIO"), "demo for the line");
    EXPECT_FALSE(fs::exists(volume + "VIDEO/uid.txt"));
    EXPECT_NE(run.out.find(R"({"type":"message","port":null,"text":")" + volume + R"(VIDEOVEDIO"})"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find(R"(: Update Demo succeed!"})"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(R"(: erase nand!"})") != std::string::npos, format) << run.out;
  }

  // A copy that fails (here the volume takes no file over 4 KiB) is told on its line
  // and in the summary, and fails the run; the mean rate counts the burn, not the wait.
  testing::TempDir fresh;  // a log of its own, far from the limit
  const std::string f = fresh.path().string();
  ASSERT_EQ(RunKorvex("--home " + f + " sim-home").exitCode, 0);
  ASSERT_EQ(RunKorvex("--home " + f + " nand-table list").exitCode, 0);  // the table is over 4 KiB too
  std::ofstream(demo, std::ios::binary) << std::string(100000, 'd');
  const RunResult failed = RunKorvex("--home " + f + " station --sim 1 --until-done --nand " + f + "/images/nand.bin "
                                     "--demo " + demo.string() + " --demo-period 10", "ulimit -f 8; trap '' XFSZ; ");
  EXPECT_EQ(failed.exitCode, 1);
  for (const char* told : {"\nport 1: the demo copy failed: the board's volume could not take the demo file; copy it "
                           "by hand or plug the board in again (Update Demo failure!)\n",
                           "  burned, but the demo copy failed\n", "/s while boards burned\ndemo copy failed on 1 "
                           "board: its volume could not take the demo file (Update Demo failure! in the log)\n"}) {
    EXPECT_NE(failed.out.find(told), std::string::npos) << told << "\n" << failed.out;
  }
}

}  // namespace
}  // namespace korvex
