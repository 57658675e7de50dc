// korvex records: the board records of this station's home, by hand.
//   records [--from DAY] [--to DAY] [--uid TEXT] [--result R] [--csv]   query (--json too)
//   records sync [--records-db CONN]      send what the line's database lacks

#include <iostream>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "host/paths.h"
#include "records/line_settings.h"
#include "records/odbc/odbc_database.h"
#include "records/record_query.h"
#include "records/record_store.h"
#include "records/record_sync.h"

namespace korvex::cli {
namespace {

// The connection string: the option's, else korvex.ini's; false after a message.
bool DatabaseConnection(const CommandContext& context, const ParsedArgs& args,
                        std::string_view option, std::string& connection) {
  connection = args.Get(option);
  if (!connection.empty()) return true;
  const LineSettingsResult settings = ReadLineSettings(context.home);
  for (const std::string& error : settings.errors) std::cerr << "korvex: " << error << "\n";
  if (!settings.errors.empty()) return false;
  connection = settings.settings.recordsDb;
  if (connection.empty()) {
    UsageError("no database: give " + std::string(option) + " CONN or records_db in " +
               std::string(kLineSettingsFileName));
    return false;
  }
  return true;
}

bool ReadFilter(const ParsedArgs& args, RecordFilter& filter) {
  filter.fromDay = args.Get("--from");
  filter.toDay = args.Get("--to");
  filter.uid = args.Get("--uid");
  filter.result = args.Get("--result");
  const std::string error = filter.Check();
  if (error.empty()) return true;
  UsageError(error);
  return false;
}

int Query(const CommandContext& context, const ParsedArgs& args) {
  RecordFilter filter;
  if (!ReadFilter(args, filter)) return kExitUsage;
  if (context.json && args.Has("--csv")) return UsageError("choose one of --csv and --json");
  const auto duplicates = FindDuplicateUids(context.home);
  const bool table = !context.json && !args.Has("--csv");
  std::cout << (context.json ? "" : table ? RecordTableHeader() : RecordCsvHeader());
  std::size_t shown = 0, marked = 0;
  const RecordReadStats stats = ForEachRecord(context.home, [&](const BoardRecord& record) {
    if (!filter.Matches(record)) return;
    const auto duplicate = duplicates.find(record.id.View());
    std::string_view first;
    if (duplicate != duplicates.end()) first = duplicate->second;
    std::cout << (context.json ? RecordJsonLine(record, first)
                  : table      ? RecordTableRow(record, first)
                               : RecordCsvRow(record, first));
    ++shown;
    marked += !first.empty();
  });
  if (table) {
    std::cout << shown << " records";
    if (marked > 0) std::cout << ", " << marked << " with a duplicate UID";
    std::cout << "\n";
  }
  if (stats.tornLines > 0) {
    std::cerr << "korvex: skipped " << stats.tornLines << " torn lines (a write cut short)\n";
  }
  return kExitOk;
}

int Sync(const CommandContext& context, const ParsedArgs& args) {
  std::string connection;
  if (!DatabaseConnection(context, args, "--records-db", connection)) return kExitUsage;
  RecordSync sync(context.home, MakeOdbcRecordDatabase(connection));
  const SyncReport report = sync.SyncOnce();
  for (const DuplicateUid& d : report.duplicates) {
    std::cout << "DUPLICATE UID " << d.uidText << ": record " << d.id << " (first burned: " << d.firstId << ")\n";
  }
  std::cout << "sent " << report.sent << ", already in the database " << report.alreadyStored
            << ", duplicate UIDs " << report.duplicates.size() << ", torn lines skipped "
            << report.tornLines << ", pending " << report.pending << "\n";
  if (!report.error.empty()) std::cerr << "korvex: database: " << report.error << "\n";
  return report.error.empty() && report.duplicates.empty() ? kExitOk : kExitFailed;
}

}  // namespace

int RunRecords(const CommandContext& context) {
  static constexpr OptionSpec kOptions[] = {
      {"--from", true},  {"--to", true},         {"--uid", true},  {"--result", true},
      {"--csv", false},  {"--records-db", true},
  };
  std::string error;
  const auto args = ParseArgs(context.args, kOptions, error);
  if (!args) return UsageError(error);
  const std::string action = args->positional.empty() ? "" : args->positional[0];
  if (args->positional.size() > 1) return UsageError("unexpected argument '" + args->positional[1] + "'");
  if (action.empty()) {
    if (args->Has("--records-db")) return UsageError("--records-db belongs to 'records sync'");
    return Query(context, *args);
  }
  if (action == "sync") return Sync(context, *args);
  return UsageError("unknown records action '" + action + "' (sync)");
}

}  // namespace korvex::cli
