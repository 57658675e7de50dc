// korvex records: the board records of this station's home, by hand.
//   records [--from DAY] [--to DAY] [--uid TEXT] [--result R] [--csv]   query (--json too)
//   records sync [--records-db CONN]      send what the line's database lacks
//   records generate-demo [...]           a demo week, for trying the query and report
// korvex report [--from DAY] [--to DAY] [--db CONN] --out FILE: the HTML report.

#include <ctime>
#include <fstream>
#include <iostream>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "host/paths.h"
#include "records/line_settings.h"
#include "records/odbc/odbc_database.h"
#include "records/record_query.h"
#include "records/record_store.h"
#include "records/record_sync.h"
#include "records/report.h"
#include "tools/demo_records.h"

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
  filter.job = args.Get("--job");
  filter.lot = args.Get("--lot");
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
    std::cout << DuplicateUidLine(d) << "\n";
  }
  std::cout << "sent " << report.sent << ", already in the database " << report.alreadyStored
            << ", duplicate UIDs " << report.duplicates.size() << ", torn lines skipped "
            << report.tornLines << ", pending " << report.pending << "\n";
  if (!report.error.empty()) std::cerr << "korvex: database: " << report.error << "\n";
  return report.error.empty() && report.duplicates.empty() ? kExitOk : kExitFailed;
}

int GenerateDemo(const CommandContext& context, const ParsedArgs& args) {
  DemoPlan plan;
  if (args.Has("--start")) {
    const std::string day = args.Get("--start");
    const auto time = IsDay(day) ? ParseRecordTime(day + "T00:00:00.000") : std::nullopt;
    if (!time) return UsageError("--start takes a day as YYYY-MM-DD");
    plan.firstDay = *time;
  }
  for (const auto& [option, target] : {std::pair{"--days", &plan.days}, {"--boards", &plan.boardsPerPortAndDay}}) {
    if (!args.Has(option)) continue;
    const auto value = ParseUnsigned(args.Get(option), 10);
    if (!value || *value == 0 || *value > 366) return UsageError(std::string(option) + " takes 1..366");
    *target = static_cast<int>(*value);
  }
  if (args.Has("--seed")) {
    const auto seed = ParseUnsigned(args.Get("--seed"), 10);
    if (!seed) return UsageError("--seed takes a decimal number");
    plan.seed = *seed;
  }
  RecordStore store(context.home);
  const std::size_t written = WriteDemoRecords(store, plan);
  std::cout << "wrote " << written << " demo records of station " << kDemoStationName << " into "
            << PathToUtf8(context.home) << "\n";
  const std::size_t planned = static_cast<std::size_t>(plan.days) *
                              static_cast<std::size_t>(plan.boardsPerPortAndDay) * kPortCount;
  return written == planned ? kExitOk : kExitFailed;
}

}  // namespace

int RunRecords(const CommandContext& context) {
  static constexpr OptionSpec kOptions[] = {
      {"--from", true},  {"--to", true},         {"--uid", true},  {"--result", true},
      {"--csv", false},  {"--records-db", true}, {"--days", true}, {"--boards", true},
      {"--seed", true},  {"--start", true},      {"--job", true},  {"--lot", true},
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
  if (action == "generate-demo") return GenerateDemo(context, *args);
  return UsageError("unknown records action '" + action + "' (sync, generate-demo)");
}

int RunReport(const CommandContext& context) {
  static constexpr OptionSpec kOptions[] = {{"--from", true}, {"--to", true}, {"--db", true}, {"--out", true},
                                            {"--job", true}, {"--lot", true}};
  std::string error;
  const auto args = ParseArgs(context.args, kOptions, error);
  if (!args) return UsageError(error);
  if (!args->positional.empty()) return UsageError("unexpected argument '" + args->positional[0] + "'");
  if (args->Get("--out").empty()) return UsageError("report needs --out FILE");
  RecordFilter filter;
  if (!ReadFilter(*args, filter)) return kExitUsage;

  ReportData data;
  data.fromDay = filter.fromDay, data.toDay = filter.toDay;
  if (args->Has("--db")) {
    data.source = "the line's database";
    std::string connection;
    if (!DatabaseConnection(context, *args, "--db", connection)) return kExitUsage;
    auto database = MakeOdbcRecordDatabase(connection);
    if (!database->ForEach(filter.fromDay, filter.toDay,
                           [&data, &filter](const BoardRecord& record, bool duplicate) {
                             if (filter.Matches(record)) data.Add(record, duplicate);
                           },
                           error)) {
      std::cerr << "korvex: database: " << error << "\n";
      return kExitFailed;
    }
  } else {
    data.source = "records of " + PathToUtf8(context.home);
    const auto duplicates = FindDuplicateUids(context.home);
    ForEachRecord(context.home, [&](const BoardRecord& record) {
      if (filter.Matches(record)) data.Add(record, duplicates.find(record.id.View()) != duplicates.end());
    });
  }
  const std::filesystem::path out = PathFromUtf8(args->Get("--out"));
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  const std::string generated = [] {
    const std::time_t now = std::time(nullptr);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", std::localtime(&now));
    return std::string(text);
  }();
  file << RenderReportHtml(data, generated);
  file.close();
  if (!file) {
    std::cerr << "korvex: cannot write " << args->Get("--out") << "\n";
    return kExitFailed;
  }
  std::cout << "report of " << data.all.Total() << " boards (" << data.all.passed << " burned, "
            << data.all.failed << " failed): " << args->Get("--out") << "\n";
  return kExitOk;
}

}  // namespace korvex::cli
