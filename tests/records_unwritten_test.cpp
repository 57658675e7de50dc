// Board records the disk refuses: never dropped, always told. The station's own scan
// and workers burn simulated boards through a record store whose appends fail while
// the test says the disk is full; the console run gets a records file it cannot open.

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <fstream>
#include <thread>

#include "app/station_core.h"
#include "app/port_workers.h"
#include "app/station_settings_model.h"
#include "cli_runner.h"
#include "host/durable_file.h"
#include "nandtable/nand_cfg.h"
#include "records/record_json.h"
#include "records/record_keeper.h"
#include "records/record_store.h"
#include "sim/placeholder_home.h"
#include "sim/sim_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

std::atomic<bool> g_diskFull{false};
std::atomic<int> g_refused{0};

// A full disk takes the first half of a line, then refuses: the torn line it leaves
// must not hide the record written whole later.
bool AppendToSmallDisk(const std::filesystem::path& file, std::string_view bytes) {
  if (g_diskFull) {
    ++g_refused;
    AppendDurably(file, bytes.substr(0, bytes.size() / 2));
    return false;
  }
  return AppendDurably(file, bytes);
}

std::vector<std::string> Ids(const std::filesystem::path& home, RecordReadStats* stats = nullptr) {
  std::vector<std::string> ids;
  const RecordReadStats read = ForEachRecord(home, [&ids](const BoardRecord& r) { ids.emplace_back(r.id.View()); });
  if (stats != nullptr) *stats = read;
  return ids;
}

TEST(RecordsUnwritten, AFullDiskKeepsEveryRecordTellsItAndHoldsNewBoardsUntilWritten) {
  constexpr int kBoards = static_cast<int>(kPortCount);
  testing::TempDir home;
  std::string error;
  ASSERT_TRUE(sim::WritePlaceholderHome(home.path(), error)) << error;
  sim::SimHost sim(kBoards, home.path());
  sim.SetInstantSleep(true);
  sim.SetRandomSeed(15);
  const auto shared = std::make_shared<RecordKeeper>(home.path(), "LINE1", &AppendToSmallDisk);
  RecordKeeper& keeper = *shared;
  std::mutex newsMutex;
  std::vector<RecordWriteNews> news;
  keeper.OnWriteNews([&](const RecordWriteNews& n) {
    std::lock_guard lock(newsMutex);
    news.push_back(n);
  });
  auto station = StationCore::BringUp(sim, shared);
  ASSERT_TRUE(station);
  PortScheduler& scheduler = station->scheduler();
  StationSettings settings;
  ASSERT_TRUE(ChooseNandBin(settings, (home.path() / "images" / "nand.bin").string(), false));
  settings.hwndMain = 1;
  const auto plugAll = [&] {
    for (int port = 0; port < kBoards; ++port) sim.Plug(port, {});
  };
  const auto unplugAll = [&] {
    for (int port = 0; port < kBoards; ++port) sim.Unplug(port);
    scheduler.Scan(settings);
  };

  g_diskFull = true;
  plugAll();
  EXPECT_EQ(scheduler.Scan(settings).claimed, kBoards);
  sim.JoinThreads();
  // Every board's record was refused, told at once, and kept.
  ASSERT_EQ(news.size(), kPortCount);
  for (std::size_t i = 0; i < news.size(); ++i) {
    EXPECT_TRUE(news[i].failing);
    EXPECT_EQ(news[i].waiting, i + 1);
  }
  EXPECT_EQ(keeper.UnwrittenCount(), kPortCount);
  EXPECT_TRUE(RecordWriteNewsText(news[1]).starts_with("the record of port " + std::to_string(news[1].port) +
                                                        "'s board cannot be written to " + home.path().string()))
      << RecordWriteNewsText(news[1]);
  std::vector<std::string> kept;
  const std::string lines = keeper.UnwrittenLines();
  for (std::size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1) {
    BoardRecord record;
    ASSERT_TRUE(ParseRecordJson(std::string_view(lines).substr(at, end - at), record));
    EXPECT_EQ(record.reason, BurnEnd::kBurned);
    kept.emplace_back(record.id.View());
  }
  EXPECT_EQ(kept.size(), kPortCount);
  EXPECT_TRUE(Ids(home.path()).empty());

  // New boards wait while the disk is full: none is claimed, each port says why.
  unplugAll();
  plugAll();
  ScanResult held = scheduler.Scan(settings);
  EXPECT_EQ(held.claimed, 0);
  for (const bool port : held.heldForRecords) EXPECT_TRUE(port);

  // Space again: the next scan writes the kept records first, then takes the boards.
  g_diskFull = false;
  held = scheduler.Scan(settings);
  EXPECT_EQ(held.claimed, kBoards);
  sim.JoinThreads();
  ASSERT_EQ(news.size(), kPortCount + 1);
  EXPECT_FALSE(news.back().failing);
  EXPECT_EQ(keeper.UnwrittenCount(), 0u);
  RecordReadStats stats;
  const std::vector<std::string> ids = Ids(home.path(), &stats);
  ASSERT_EQ(ids.size(), 2 * kPortCount);
  EXPECT_EQ(std::vector<std::string>(ids.begin(), ids.begin() + kBoards), kept);
  EXPECT_EQ(stats.tornLines, static_cast<std::size_t>(g_refused));  // the halves the full disk took
  unplugAll();
}

// The station lets go of its keeper while a board still burns (a closing window, a
// console whose run ended): the worker's own share keeps it, and the board's record
// is still written when the board ends.
TEST(RecordsUnwritten, AWorkerKeepsItsKeeperAfterTheStationLetsGo) {
  testing::TempDir home;
  std::string error;
  ASSERT_TRUE(sim::WritePlaceholderHome(home.path(), error)) << error;
  sim::SimHost sim(1, home.path());
  sim.SetInstantSleep(true);
  sim::BoardSpec board;
  board.faults.hangAfterExchange = 40;  // well into the burn
  sim.Plug(0, board);
  auto keeper = std::make_shared<RecordKeeper>(home.path(), "LINE1");
  const std::weak_ptr<RecordKeeper> watched = keeper;
  {
    auto station = StationCore::BringUp(sim, std::move(keeper));
    ASSERT_TRUE(station);
    StationSettings settings;
    ASSERT_TRUE(ChooseNandBin(settings, (home.path() / "images" / "nand.bin").string(), false));
    settings.hwndMain = 1;
    ASSERT_EQ(station->scheduler().Scan(settings).claimed, 1);
    for (int ms = 0; ms < 20'000 && !sim.IsHung(0); ++ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(sim.IsHung(0));
  }
  EXPECT_FALSE(watched.expired());  // the hung board's worker holds it
  sim.Unplug(0);
  sim.JoinThreads();
  EXPECT_TRUE(watched.expired());
  EXPECT_EQ(Ids(home.path()).size(), 1u);
}

// The console: a records file it cannot open. Each record is told on stderr and in
// the JSON stream, and at exit every record goes to stderr whole; the exit code is 1.
TEST(RecordsUnwritten, TheConsoleTellsEachRecordAndPrintsThemAllAtExit) {
  testing::TempDir home;
  ASSERT_EQ(RunKorvex("--home " + home.path().string() + " sim-home").exitCode, 0);
  const std::time_t now = std::time(nullptr);
  for (const std::time_t when : {now, now + 3600}) {  // the month may turn meanwhile
    std::tm local{};
    localtime_r(&when, &local);
    LocalTime time{static_cast<std::uint16_t>(local.tm_year + 1900), static_cast<std::uint16_t>(local.tm_mon + 1)};
    std::filesystem::create_directories(home.path() / RecordFileName(time));
  }
  const RunResult run = RunKorvex("--home " + home.path().string() + " --json station --sim 2 --until-done --nand " +
                                  (home.path() / "images" / "nand.bin").string());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.out.find(R"({"type":"record-write-failed","waiting":2,"text":"the record of port )"), std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("korvex: 2 board records could not be written to " + home.path().string() +
                         "; here they are, one JSON line each:\n{\"v\":2,"),
            std::string::npos)
      << run.err;
  std::size_t records = 0;
  for (std::size_t at = 0; (at = run.err.find("\n{\"v\":2,", at)) != std::string::npos; ++at) ++records;
  EXPECT_EQ(records, 2u);
  EXPECT_EQ(ResultOfPort(run.out, 1), "burned");
}

}  // namespace
}  // namespace korvex
