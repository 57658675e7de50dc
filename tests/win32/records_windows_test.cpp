// The board records on Windows: the system's random source, the durable append
// under a non-ASCII folder, and the system's ODBC driver manager (odbc32). With
// KORVEX_TEST_ODBC set to a connection string the sync also sends to that database.

#include <gtest/gtest.h>

#include <cstdlib>

#include "host/win32/win32_host.h"
#include "records/odbc/odbc_database.h"
#include "records/record_keeper.h"
#include "win_test_support.h"

namespace korvex {
namespace {

TEST(WindowsRecords, RandomBytesComeFromTheSystem) {
  Win32Host host;
  std::array<std::uint8_t, 32> first{}, second{};
  host.RandomBytes(first);
  host.RandomBytes(second);
  EXPECT_NE(first, second);
  EXPECT_NE(first, (std::array<std::uint8_t, 32>{}));
}

TEST(WindowsRecords, RecordsGoToTheMonthsFileAndWaitForTheDatabase) {
  wintest::ScratchFolder folder("记录");
  Win32Host host;
  RecordKeeper keeper(folder.Wide(), "WIN");
  BoardRecord record;
  keeper.Begin(record, host, 3, "Qx7135", {});
  ASSERT_TRUE(keeper.Finish(record, host, BurnEnd::kBootFailed, "API_DwondLoad_FW faileed!"));
  std::vector<std::string> ids;
  ForEachRecord(folder.Wide(), [&ids](const BoardRecord& r) { ids.emplace_back(r.id.View()); });
  EXPECT_EQ(ids, std::vector<std::string>{std::string(record.id.View())});

  const char* configured = std::getenv("KORVEX_TEST_ODBC");
  const std::string connection = configured ? configured : "Driver={No Such Driver};Server=127.0.0.1";
  RecordSync sync(folder.Wide(), MakeOdbcRecordDatabase(connection));
  const SyncReport report = sync.SyncOnce();
  if (configured == nullptr) {
    // The driver manager itself answers (Windows' own, or unixODBC through Wine's
    // odbc32): the ODBC calls are linked and reached.
    EXPECT_NE(report.error.find("Driver Manager"), std::string::npos) << report.error;
    EXPECT_EQ(report.pending, 1u);
  } else {
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.sent + report.alreadyStored, 1u);
  }
}

}  // namespace
}  // namespace korvex
