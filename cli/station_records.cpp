#include "cli/station_records.h"

#include <iostream>

#include "cli/cli_args.h"
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

int RunWithStationRecords(const CommandContext& context, int (*runStation)(const CommandContext&)) {
  CommandContext station = context;
  std::string connection, error;
  if (!TakeRecordsDbOption(station.args, connection, error)) return UsageError(error);
  const LineSettingsResult settings = ReadLineSettings(context.home);
  for (const std::string& message : settings.errors) std::cerr << "korvex: " << message << "\n";
  if (!settings.errors.empty()) return kExitUsage;
  if (connection.empty()) connection = settings.settings.recordsDb;

  RecordKeeper keeper(context.home, settings.settings.station);
  if (!connection.empty()) {
    keeper.StartSync(MakeOdbcRecordDatabase(connection), std::chrono::seconds(5),
                     [](const DuplicateUid& d) { std::cerr << "korvex: " << DuplicateUidLine(d) << "\n"; });
  }
  SetStationRecordKeeper(&keeper);
  const int result = runStation(station);
  SetStationRecordKeeper(nullptr);
  keeper.StopSync();
  return result;
}

}  // namespace korvex::cli
