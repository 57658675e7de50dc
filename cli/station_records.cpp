#include "cli/station_records.h"

#include <algorithm>
#include <iostream>

#include "cli/cli_args.h"
#include "cli/json.h"
#include "host/paths.h"
#include "records/line_settings.h"
#include "records/odbc/odbc_database.h"
#include "records/record_keeper.h"

namespace korvex::cli {

bool TakeRecordsDbOption(std::vector<std::string>& args, std::string& connection,
                         std::string& error) {
  constexpr std::string_view kOption = "--records-db";
  bool found = false;
  for (std::size_t i = 0; i < args.size();) {
    const std::string& arg = args[i];
    const bool joined = arg.starts_with(std::string(kOption) + "=");
    if (arg != kOption && !joined) {
      ++i;
      continue;
    }
    if (found) {
      error = "option '--records-db' is given twice";
      return false;
    }
    found = true;
    const std::size_t taken = joined ? 1 : 2;
    if (!joined && i + 1 >= args.size()) {
      error = "option '--records-db' needs a value";
      return false;
    }
    connection = joined ? arg.substr(kOption.size() + 1) : args[i + 1];
    if (connection.empty()) {
      error = "option '--records-db' needs an ODBC connection string";
      return false;
    }
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
               args.begin() + static_cast<std::ptrdiff_t>(i + taken));
  }
  return true;
}

int RunWithStationRecords(const CommandContext& context,
                          int (*runStation)(const CommandContext&, const std::shared_ptr<RecordKeeper>&)) {
  CommandContext station = context;
  std::string connection, error;
  if (!TakeRecordsDbOption(station.args, connection, error)) return UsageError(error);
  const LineSettingsResult settings = ReadLineSettings(context.home);
  for (const std::string& message : settings.errors) std::cerr << "korvex: " << message << "\n";
  if (!settings.errors.empty()) return kExitUsage;
  if (connection.empty()) connection = settings.settings.recordsDb;
  // The line's read-back setting holds for the console as for the window; the
  // command line wins where it speaks.
  const auto given = [&station](std::string_view option) { return std::ranges::count(station.args, option) > 0; };
  if (given("--verify") && given("--no-verify")) return UsageError("choose one of --verify and --no-verify");
  if (settings.settings.verify && !given("--no-verify") && !given("--verify")) station.args.push_back("--verify");

  // Shared with every worker the station starts: the keeper outlives them all.
  const auto shared = std::make_shared<RecordKeeper>(context.home, settings.settings.station);
  RecordKeeper& keeper = *shared;
  if (!connection.empty()) {
    // Duplicates, failures and set-aside records are told through the station's view.
    keeper.StartSync(MakeOdbcRecordDatabase(connection), std::chrono::seconds(5));
  }
  int result = runStation(station, shared);
  keeper.StopSync();
  if (RecordSync* sync = keeper.sync()) {
    // What became of this run's records: the database is no reason to fail the run,
    // but the operator learns what still waits for it.
    const std::size_t written = keeper.WrittenCount();
    const std::size_t waiting = PendingRecords(context.home);
    if (context.json) {
      std::cout << JsonObject()
                       .Add("type", "records")
                       .Add("written", static_cast<std::int64_t>(written))
                       .Add("sent", static_cast<std::int64_t>(sync->SentSinceStart()))
                       .Add("waiting", static_cast<std::int64_t>(waiting))
                       .Str()
                << std::endl;
    } else {
      std::cout << "records: " << written << " written, " << sync->SentSinceStart() << " sent, " << waiting
                << " waiting for the line database\n";
    }
  }
  // A record that never reached the disk is not dropped: it goes to stderr whole, so
  // it can be kept from there, and the run fails.
  if (!keeper.RetryUnwritten()) {
    std::cerr << "korvex: " << keeper.UnwrittenCount() << " board records could not be written to "
              << PathToUtf8(context.home) << "; here they are, one JSON line each:\n"
              << keeper.UnwrittenLines() << std::flush;
    result = kExitFailed;
  }
  return result;
}

}  // namespace korvex::cli
