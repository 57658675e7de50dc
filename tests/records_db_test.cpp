// The line's database: a real PostgreSQL server of the test's own, reached through
// unixODBC and the PostgreSQL driver. What the station sends is read back with psql.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <thread>

#include "cli_runner.h"
#include "pg_server.h"
#include "record_samples.h"
#include "app/station_core.h"
#include "app/port_workers.h"
#include "app/station_settings_model.h"
#include "nandtable/nand_cfg.h"
#include "records/odbc/odbc_database.h"
#include "records/record_keeper.h"
#include "records/record_json.h"
#include "records/record_store.h"
#include "records/record_sync.h"
#include "sim/placeholder_home.h"
#include "sim/sim_host.h"
#include "temp_dir.h"

// The PostgreSQL driver loses a few hundred bytes of its own when a server goes away
// under an open connection (every handle of ours is freed without error); under
// LeakSanitizer that is the driver's, not the station's.
extern "C" const char* __lsan_default_suppressions() { return "leak:psqlodbcw.so\n"; }

namespace korvex {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    lines.push_back(text.substr(at, end - at));
  }
  return lines;
}

std::vector<std::string> LocalIds(const std::filesystem::path& home) {
  std::vector<std::string> ids;
  ForEachRecord(home, [&ids](const BoardRecord& r) { ids.emplace_back(r.id.View()); });
  std::sort(ids.begin(), ids.end());
  return ids;
}

// Waits until the background sync has sent every record of the local files (the
// server holds as many as they do) and has nothing pending, nudging it now and then.
bool WaitUntilSent(RecordKeeper& keeper, testing::PgServer& server, const std::filesystem::path& home) {
  const std::string local = std::to_string(LocalIds(home).size()) + "\n";
  for (int i = 0; i < 300; ++i) {
    keeper.sync()->Notify();
    std::this_thread::sleep_for(50ms);
    const SyncReport report = keeper.sync()->LastReport();
    if (report.connected && report.pending == 0 && report.error.empty() &&
        server.Query("SELECT COUNT(*) FROM board_records") == local) {
      return true;
    }
  }
  return false;
}

// Eight simulated boards burn three rounds through the station's own workers, the
// second while the server is away: the database then holds exactly the local records.
TEST(RecordsDatabase, EightBoardsAndAServerThatGoesAwayLoseNothingAndDoubleNothing) {
  constexpr int kBoards = static_cast<int>(kPortCount);
  testing::PgServer server;
  ASSERT_TRUE(server.ok()) << server.failure();
  testing::TempDir home;
  std::string error;
  ASSERT_TRUE(sim::WritePlaceholderHome(home.path(), error)) << error;
  sim::SimHost sim(kBoards, home.path());
  sim.SetInstantSleep(true);
  sim.SetMessageBoxHandler([](const MessageBoxRequest& request) {
    ADD_FAILURE() << request.text;
    return MessageAnswer::Ok;
  });
  int before = -1;
  ASSERT_TRUE(MakeOdbcRecordDatabase(server.Connection())->InitSchema(before, error)) << error;
  EXPECT_EQ(before, 0);
  const auto shared = std::make_shared<RecordKeeper>(home.path(), "LINE1");
  RecordKeeper& keeper = *shared;
  keeper.StartSync(MakeOdbcRecordDatabase(server.Connection()), 100ms);
  auto station = StationCore::BringUp(sim, shared);
  ASSERT_TRUE(station);
  PortScheduler& scheduler = station->scheduler();
  StationSettings settings;
  ASSERT_TRUE(ChooseNandBin(settings, (home.path() / "images" / "nand.bin").string(), false));
  settings.hwndMain = 1;
  const auto burnRound = [&] {
    for (int port = 0; port < kBoards; ++port) sim.Plug(port, {});
    EXPECT_EQ(scheduler.Scan(settings).claimed, kBoards);
    sim.JoinThreads();
    for (int port = 0; port < kBoards; ++port) sim.Unplug(port);
    scheduler.Scan(settings);  // frees the ports for the next round
  };
  burnRound();
  ASSERT_TRUE(WaitUntilSent(keeper, server, home.path()));
  ASSERT_TRUE(server.Stop());
  // Burns go on while the server is away; their records wait in the local file.
  burnRound();
  bool waiting = false;
  for (int i = 0; i < 300 && !waiting; ++i) {
    keeper.sync()->Notify();
    std::this_thread::sleep_for(50ms);
    const SyncReport now = keeper.sync()->LastReport();
    waiting = !now.error.empty() && now.pending == kPortCount;
  }
  EXPECT_TRUE(waiting) << keeper.sync()->LastReport().pending << " pending: " << keeper.sync()->LastReport().error;
  ASSERT_TRUE(server.Start());
  burnRound();
  ASSERT_TRUE(WaitUntilSent(keeper, server, home.path()));
  keeper.StopSync();

  const std::vector<std::string> ids = LocalIds(home.path());
  ASSERT_EQ(ids.size(), 3u * kPortCount);
  const std::vector<std::string> stored =
      Lines(server.Query("SELECT id FROM board_records ORDER BY id COLLATE \\\"C\\\""));
  EXPECT_EQ(stored, ids);
  EXPECT_EQ(server.Query("SELECT COUNT(*), COUNT(DISTINCT record_id) FROM board_images"), "120|24\n");
  EXPECT_EQ(server.Query("SELECT reason, COUNT(*), COUNT(DISTINCT uid) FROM board_records GROUP BY reason"),
            "burned|24|24\n");
  EXPECT_EQ(server.Query("SELECT version FROM korvex_schema"), std::to_string(kSchemaVersion) + "\n");

  // The state file lost: a sync by hand finds every record there already.
  std::filesystem::remove(home.path() / kSyncStateFileName);
  const RunResult again =
      RunKorvex("--home " + home.path().string() + " records sync --records-db '" + server.Connection() + "'");
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(again.out, "sent 0, already in the database 24, duplicate UIDs 0, torn lines skipped 0, pending 0\n");
  EXPECT_EQ(server.Query("SELECT COUNT(*) FROM board_records"), "24\n");
}

TEST(RecordsDatabase, ASecondBoardWithABurnedUidIsKeptMarkedAndReported) {
  testing::PgServer server;
  ASSERT_TRUE(server.ok()) << server.failure();
  testing::TempDir lineA, lineB;
  testing::ClockHost host;
  BoardRecord first, failedCopy, second;
  testing::FillSampleRecord(first, host, "A", 0, BurnEnd::kBurned);
  testing::FillSampleRecord(failedCopy, host, "B", 1, BurnEnd::kVerifyMismatch, "read-back differs");
  testing::FillSampleRecord(second, host, "B", 2, BurnEnd::kBurned);
  SetUid(failedCopy, first.uid, first.uidText.View());
  SetUid(second, first.uid, first.uidText.View());
  second.identity.job.Assign("R1"), second.identity.lot.Assign("L7");
  RecordStore(lineA.path()).Append(first);
  RecordStore(lineB.path()).Append(failedCopy);
  RecordStore(lineB.path()).Append(second);
  const std::string sync = " records sync --records-db '" + server.Connection() + "'";
  const RunResult init =
      RunKorvex("--home " + lineA.path().string() + " records init-db --records-db '" + server.Connection() + "'");
  ASSERT_EQ(init.exitCode, 0) << init.err;
  ASSERT_EQ(init.out, "created the Korvex tables (version 3)\n") << init.err;

  const RunResult a = RunKorvex("--home " + lineA.path().string() + sync);
  EXPECT_EQ(a.exitCode, 0) << a.err;
  // The tables as layout 2 left them, without the job columns: a station never alters
  // them, it waits until the owner's init-db has added the columns.
  server.Query("ALTER TABLE board_records DROP COLUMN job, DROP COLUMN lot, DROP COLUMN work_order,"
               " DROP COLUMN operator_name; UPDATE korvex_schema SET version = 2");
  const RunResult refused = RunKorvex("--home " + lineB.path().string() + sync);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("older than this station's 3; the database's owner runs 'korvex records init-db"),
            std::string::npos) << refused.err;
  EXPECT_EQ(RunKorvex("--home " + lineA.path().string() + " records init-db --records-db '" + server.Connection() +
                      "'").out, "upgraded the Korvex tables from version 2 to 3\n");
  const RunResult b = RunKorvex("--home " + lineB.path().string() + sync);
  EXPECT_EQ(b.exitCode, 1);  // a duplicate is not an all-clear
  EXPECT_EQ(b.out, "DUPLICATE UID " + std::string(first.uidText.View()) + ": record " +
                       std::string(second.id.View()) + " (first burned: " + std::string(first.id.View()) +
                       ")\nsent 2, already in the database 0, duplicate UIDs 1, torn lines skipped 0, pending 0\n");
  EXPECT_EQ(server.Query("SELECT station, reason, duplicate_uid, job, lot FROM board_records ORDER BY port"),
            "A|burned|0||\nB|verify-mismatch|0||\nB|burned|1|R1|L7\n");
  EXPECT_EQ(server.Query("SELECT version FROM korvex_schema"), "3\n");

  // Station B's own query marks the board, from what the database told its sync.
  const RunResult query = RunKorvex("--home " + lineB.path().string() + " records --result passed");
  EXPECT_NE(query.out.find("DUPLICATE UID (first: " + std::string(first.id.View()) + ")"), std::string::npos)
      << query.out;
  EXPECT_NE(query.out.find("1 records, 1 with a duplicate UID"), std::string::npos) << query.out;

  // The line's report reads the whole database back, both stations' boards.
  const auto page = lineA.path() / "line.html";
  const RunResult report = RunKorvex("--home " + lineA.path().string() + " report --db '" +
                                     server.Connection() + "' --out " + page.string());
  ASSERT_EQ(report.exitCode, 0) << report.err;
  std::ifstream in(page);
  const std::string html{std::istreambuf_iterator<char>(in), {}};
  for (const std::string& shown :
       {std::string("data-metric=\"boards\" data-value=\"3\""), std::string("data-metric=\"burned\" data-value=\"1\""),  // a duplicate is no burned board
        "data-duplicate-id=\"" + std::string(second.id.View()) + "\" data-first-id=\"" + std::string(first.id.View()) + "\"",
        std::string("data-station=\"B\" data-boards=\"2\" data-yield=\"0.0\""),
        std::string("data-port=\"3\" data-boards=\"1\">0.0%"),
        "data-failed-id=\"" + std::string(failedCopy.id.View()) + "\" data-reason=\"verify-mismatch\"",
        std::string("1 duplicate UIDs"), std::string("data-job=\"\" data-passed=\"1\" data-failed=\"1\""),
        std::string("data-job=\"R1\" data-passed=\"0\" data-failed=\"1\" data-yield=\"0.0\""), std::string("data-part=\"SAMSUNG_K9F1G08U0B\" data-boards=\"3\" data-skipped=\"3\"")}) {
    EXPECT_NE(html.find(shown), std::string::npos) << shown;
  }
}

// A station with only the grants the docs give: the earlier burn is a UID's first in
// either order of syncing, a record the reader refuses is set aside while the next one
// goes, the line-wide query sees both stations, and a refusing or absent server is told
// (never with the password) and its recovery too.
TEST(RecordsDatabase, LeastPrivilegeEarlierBurnFirstSetAsideAndToldFailures) {
  testing::PgServer server;
  ASSERT_TRUE(server.ok()) << server.failure();
  testing::TempDir lineA, lineB;
  const std::string owner = server.Connection();
  const RunResult init = RunKorvex("--home " + lineA.path().string() + " records init-db --records-db '" + owner + "'");
  ASSERT_EQ(init.exitCode, 0) << init.err;
  server.Query("CREATE ROLE station LOGIN; CREATE ROLE nobody LOGIN; GRANT SELECT ON korvex_schema TO station;"
               " GRANT SELECT, INSERT ON board_records, board_images TO station;"
               " GRANT UPDATE (duplicate_uid) ON board_records TO station;");
  ::setenv("KORVEX_TEST_PASSWORD", "s3cret;}", 1);
  const auto as = [&](const std::string& role) {
    std::string text = owner;
    return text.replace(text.find("Uid=korvex;Pwd=unused;"), 22, "Uid=" + role + ";PwdEnv=KORVEX_TEST_PASSWORD;");
  };
  testing::ClockHost host;
  BoardRecord earlier, later, after;
  testing::FillSampleRecord(earlier, host, "A", 0, BurnEnd::kBurned);
  testing::FillSampleRecord(later, host, "B", 1, BurnEnd::kBurned);
  testing::FillSampleRecord(after, host, "B", 2, BurnEnd::kZoneFull);
  SetUid(later, earlier.uid, earlier.uidText.View());
  RecordStore(lineA.path()).Append(earlier);
  RecordStore(lineB.path()).Append(later);
  std::string edited;
  AppendRecordJson(edited, later);
  const std::string start = FormatRecordTime(later.start).CStr();
  edited.replace(edited.find(start), 10, "2026-02-31");  // a day that does not exist
  std::ofstream(lineB.path() / RecordFileName(later.end), std::ios::app) << edited;
  RecordStore(lineB.path()).Append(after);

  const std::string sync = " records sync --records-db '" + as("station") + "'";
  const RunResult b = RunKorvex("--home " + lineB.path().string() + sync);  // the later burn arrives first
  EXPECT_EQ(b.exitCode, 1);
  EXPECT_NE(b.out.find("set aside: not a whole record"), std::string::npos) << b.out << b.err;
  EXPECT_NE(b.out.find("sent 2, already in the database 0, duplicate UIDs 0"), std::string::npos) << b.out << b.err;
  const RunResult a = RunKorvex("--home " + lineA.path().string() + sync);
  EXPECT_EQ(a.out, "DUPLICATE UID " + std::string(earlier.uidText.View()) + ": record " + std::string(later.id.View()) +
                       " (first burned: " + std::string(earlier.id.View()) + ")\nsent 1, already in the database 0, "
                       "duplicate UIDs 1, torn lines skipped 0, pending 0\n") << a.err;
  EXPECT_EQ(server.Query("SELECT station, port, reason, duplicate_uid FROM board_records ORDER BY started_at"),
            "A|1|burned|0\nB|2|burned|1\nB|3|zone-full|0\n");
  // The line-wide query: both stations, the mark from the database, the log's UID form.
  const RunResult line = RunKorvex("--home " + lineB.path().string() + " records --db '" + as("station") +
                                   "' --uid '" + std::string(earlier.uidText.View()) + "'");
  EXPECT_NE(line.out.find("DUPLICATE UID (first: " + std::string(earlier.id.View()) + ")\n2 records, 1 with a duplicate"),
            std::string::npos) << line.out << line.err;

  RecordSync refused(lineB.path(), MakeOdbcRecordDatabase(as("nobody")));
  std::vector<SyncNews> news;
  refused.OnNews([&news](const SyncNews& n) { news.push_back(n); });
  RecordStore(lineB.path()).Append(after);  // a record of its own to send
  EXPECT_NE(refused.SyncOnce().error.find("permission denied"), std::string::npos);
  ASSERT_TRUE(server.Stop());
  EXPECT_FALSE(refused.SyncOnce().error.empty());
  ASSERT_TRUE(server.Start());
  RecordSync back(lineB.path(), MakeOdbcRecordDatabase(as("station")));
  back.OnNews([&news](const SyncNews& n) { news.push_back(n); });
  EXPECT_TRUE(back.SyncOnce().error.empty());
  ASSERT_EQ(news.size(), 1u);  // told once while it stayed failing; a new sync starts well
  EXPECT_EQ(news[0].kind, SyncNews::Kind::kFailing);
  EXPECT_NE(news[0].text.find("1 record waits"), std::string::npos) << news[0].text;
  EXPECT_EQ(news[0].text.find("s3cret"), std::string::npos);
  // Tables of version 1 (ports 0..7): init-db moves them to 1..8.
  server.Query("UPDATE korvex_schema SET version = 1; UPDATE board_records SET port = port - 1");
  EXPECT_EQ(RunKorvex("--home " + lineA.path().string() + " records init-db --records-db '" + owner + "'").out,
            "upgraded the Korvex tables from version 1 to 3\n");
  EXPECT_EQ(server.Query("SELECT MIN(port), MAX(port), MAX(version) FROM board_records, korvex_schema"), "1|3|3\n");
}

}  // namespace
}  // namespace korvex
