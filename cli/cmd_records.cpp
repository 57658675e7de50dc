// korvex records: the board records of this station's home, by hand.
//   records [--from DAY] [--to DAY] [--uid TEXT] [--result R] [--csv] [--db CONN]   query (--json too)
//   records sync [--records-db CONN]      send what the line's database lacks
//   records init-db [--records-db CONN]   create or upgrade the database's tables (its owner)
//   records generate-demo [...]           a demo week, for trying the query and report
// korvex report [--from DAY] [--to DAY] [--db CONN] --out FILE: the HTML report.

#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>

#include "cli/cli_args.h"
#include "cli/command_help.h"
#include "cli/json.h"
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

// The record's own JSON object with the "type" every line of --json carries first.
std::string TypedRecordLine(const std::string& line) {
  return line.starts_with("{") ? R"({"type":"record",)" + line.substr(1) : line;
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

// With --db the whole line's records, from its database, in the same forms: opens it
// and reads its duplicate marks; else the marks of the local records. An exit code.
int OpenQuerySource(const CommandContext& context, const ParsedArgs& args,
                    std::unique_ptr<RecordDatabase>& database, DuplicateIds& duplicates) {
  if (!args.Has("--db")) {
    duplicates = FindDuplicateUids(context.home);
    return kExitOk;
  }
  std::string connection;
  if (!DatabaseConnection(context, args, "--db", connection)) return kExitUsage;
  database = MakeOdbcRecordDatabase(connection);
  std::string error;
  if (database->Duplicates(duplicates, error)) return kExitOk;
  std::cerr << "korvex: database: " << error << "\n";
  return kExitFailed;
}

int Query(const CommandContext& context, const ParsedArgs& args) {
  RecordFilter filter;
  if (!ReadFilter(args, filter)) return kExitUsage;
  if (context.json && args.Has("--csv")) return UsageError("choose one of --csv and --json");
  std::unique_ptr<RecordDatabase> database;
  DuplicateIds duplicates;
  if (const int code = OpenQuerySource(context, args, database, duplicates); code != kExitOk) return code;
  std::string error;
  const bool table = !context.json && !args.Has("--csv");
  std::cout << (context.json ? "" : table ? RecordTableHeader() : RecordCsvHeader());
  std::size_t shown = 0, marked = 0;
  const auto show = [&](const BoardRecord& record) {
    if (!filter.Matches(record)) return;
    const auto duplicate = duplicates.find(record.id.View());
    std::string_view first;
    if (duplicate != duplicates.end()) first = duplicate->second;
    std::cout << (context.json ? TypedRecordLine(RecordJsonLine(record, first))
                  : table      ? RecordTableRow(record, first)
                               : RecordCsvRow(record, first));
    ++shown;
    marked += !first.empty();
  };
  RecordReadStats stats;
  if (database) {
    if (!database->ForEach(filter.fromDay, filter.toDay, [&show](const BoardRecord& r, bool) { show(r); }, error)) {
      std::cerr << "korvex: database: " << error << "\n";
      return kExitFailed;
    }
  } else {
    stats = ForEachRecord(context.home, show);
  }
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

void TellDuplicate(const CommandContext& context, const DuplicateUid& d) {
  if (!context.json) {
    std::cout << DuplicateUidLine(d) << "\n";
    return;
  }
  std::cout << JsonObject()
                   .Add("type", "duplicate-uid")
                   .Add("id", d.id)
                   .Add("uidText", d.uidText)
                   .Add("firstId", d.firstId)
                   .Add("text", DuplicateUidLine(d))
                   .Str()
            << "\n";
}

void TellSyncCounts(const CommandContext& context, const SyncReport& report) {
  if (!context.json) {
    std::cout << "sent " << report.sent << ", already in the database " << report.alreadyStored
              << ", duplicate UIDs " << report.duplicates.size() << ", torn lines skipped "
              << report.tornLines << ", pending " << report.pending << "\n";
    return;
  }
  JsonObject out;
  out.Add("type", "sync")
      .Add("sent", static_cast<std::int64_t>(report.sent))
      .Add("alreadyStored", static_cast<std::int64_t>(report.alreadyStored))
      .Add("duplicates", static_cast<std::int64_t>(report.duplicates.size()))
      .Add("tornLines", static_cast<std::int64_t>(report.tornLines))
      .Add("pending", static_cast<std::int64_t>(report.pending));
  if (!report.error.empty()) out.Add("error", report.error);
  std::cout << out.Str() << "\n";
}

void TellSetAside(const CommandContext& context, const std::string& line, std::size_t waiting) {
  if (!context.json) {
    std::cout << line << "\n";
    return;
  }
  std::cout << JsonObject()
                   .Add("type", "record-set-aside")
                   .Add("waiting", static_cast<std::int64_t>(waiting))
                   .Add("text", line)
                   .Str()
            << "\n";
}

int Sync(const CommandContext& context, const ParsedArgs& args) {
  std::string connection;
  if (!DatabaseConnection(context, args, "--records-db", connection)) return kExitUsage;
  RecordSync sync(context.home, MakeOdbcRecordDatabase(connection));
  const SyncReport report = sync.SyncOnce();
  for (const DuplicateUid& d : report.duplicates) TellDuplicate(context, d);
  TellSyncCounts(context, report);
  if (!report.error.empty()) {
    std::cerr << "korvex: the line's database could not take the records; they stay pending here and "
                 "the next sync sends them (" << report.error << ")\n";
  }
  // Every record set aside so far, not only this pass's: they stay out until a
  // person looks at them.
  const SyncState state = LoadSyncState(context.home);
  for (const auto& [key, reason] : state.setAside) TellSetAside(context, SetAsideLine({key, reason}), report.pending);
  return report.error.empty() && report.duplicates.empty() && state.setAside.empty() ? kExitOk : kExitFailed;
}

// Run once by the database's owner: the tables a station needs, or their upgrade.
int InitDb(const CommandContext& context, const ParsedArgs& args) {
  std::string connection;
  if (!DatabaseConnection(context, args, "--records-db", connection)) return kExitUsage;
  auto database = MakeOdbcRecordDatabase(connection);
  int before = 0;
  std::string error;
  const bool ok = database->InitSchema(before, error);
  database->Close();
  const std::string now = std::to_string(kSchemaVersion);
  std::string text;
  if (before == 0) {
    text = "created the Korvex tables (version " + now + ")";
  } else if (before < kSchemaVersion) {
    text = "upgraded the Korvex tables from version " + std::to_string(before) + " to " + now;
  } else {
    text = "the Korvex tables are already of version " + now;
  }
  if (context.json) {
    JsonObject out;
    out.Add("type", "init-db").Add("ok", ok);
    if (ok) out.Add("text", text);
    if (!ok) out.Add("error", error);
    std::cout << out.Str() << "\n";
  } else if (ok) {
    std::cout << text << "\n";
  }
  if (ok) return kExitOk;
  std::cerr << "korvex: the line's database could not be reached or refused the tables: check the "
               "connection string and that you are the database's owner (" << error << ")\n";
  return kExitFailed;
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
  if (context.json) {
    std::cout << JsonObject()
                     .Add("type", "demo-records")
                     .Add("written", static_cast<std::int64_t>(written))
                     .Add("station", kDemoStationName)
                     .Add("home", PathToUtf8(context.home))
                     .Str()
              << "\n";
  } else {
    std::cout << "wrote " << written << " demo records of station " << kDemoStationName << " into "
              << PathToUtf8(context.home) << "\n";
  }
  const std::size_t planned = static_cast<std::size_t>(plan.days) *
                              static_cast<std::size_t>(plan.boardsPerPortAndDay) * kPortCount;
  return written == planned ? kExitOk : kExitFailed;
}

// Demo records (records generate-demo) stay out of a line's figures unless asked for;
// true for one left out, which is counted.
bool LeftOutAsDemo(const BoardRecord& record, bool withDemo, ReportData& data) {
  const bool demo = !withDemo && record.station.View() == kDemoStationName;
  data.demoLeftOut += demo;
  return demo;
}

// The report's boards from the line's database; an exit code.
int ReportFromDatabase(const CommandContext& context, const ParsedArgs& args, const RecordFilter& filter,
                       ReportData& data) {
  data.source = "the line's database";
  std::string connection;
  if (!DatabaseConnection(context, args, "--db", connection)) return kExitUsage;
  auto database = MakeOdbcRecordDatabase(connection);
  DuplicateIds marks;
  const bool withDemo = args.Has("--demo");
  const auto add = [&data, &marks, withDemo, &filter](const BoardRecord& record, bool duplicate) {
    if (!filter.Matches(record) || LeftOutAsDemo(record, withDemo, data)) return;
    const auto first = marks.find(record.id.View());
    data.Add(record, duplicate, first != marks.end() ? std::string_view(first->second) : std::string_view());
  };
  std::string error;
  if (!database->Duplicates(marks, error) || !database->ForEach(filter.fromDay, filter.toDay, add, error)) {
    return CommandError("the line's database could not be read: check the connection string (" + error + ")");
  }
  return kExitOk;
}

// The report's boards from this station's record files.
void ReportFromFiles(const CommandContext& context, const ParsedArgs& args, const RecordFilter& filter,
                     ReportData& data) {
  data.source = "records of " + PathToUtf8(context.home);
  const bool withDemo = args.Has("--demo");
  const auto duplicates = FindDuplicateUids(context.home);
  ForEachRecord(context.home, [&](const BoardRecord& record) {
    if (!filter.Matches(record) || LeftOutAsDemo(record, withDemo, data)) return;
    const auto duplicate = duplicates.find(record.id.View());
    data.Add(record, duplicate != duplicates.end(), duplicate != duplicates.end() ? duplicate->second : "");
  });
}

// Now, as the report's "generated" line shows it.
std::string LocalNowText() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", std::localtime(&now));
  return std::string(text);
}

void TellReport(const CommandContext& context, const std::string& out, const ReportData& data) {
  if (context.json) {
    std::cout << JsonObject()
                     .Add("type", "report")
                     .Add("out", out)
                     .Add("source", data.source)
                     .Add("boards", static_cast<std::int64_t>(data.all.Total()))
                     .Add("burned", static_cast<std::int64_t>(data.all.passed))
                     .Add("failed", static_cast<std::int64_t>(data.all.failed))
                     .Str()
              << "\n";
    return;
  }
  std::cout << "report of " << data.all.Total() << " boards (" << data.all.passed << " burned, "
            << data.all.failed << " failed): " << out << "\n";
}

}  // namespace

int RunRecords(const CommandContext& context) {
  // An action comes first; each has its own options.
  std::string action;
  std::vector<std::string> rest = context.args;
  if (!rest.empty() && !rest[0].starts_with("--")) {
    action = rest[0];
    rest.erase(rest.begin());
    if (action != "sync" && action != "generate-demo" && action != "init-db") {
      return UsageError("unknown records action '" + action + "' (sync, init-db, generate-demo)");
    }
  }
  const auto args = ParseCommandOptions(action.empty() ? "records" : "records " + action, rest);
  if (!args) return kExitUsage;
  if (action.empty()) return Query(context, *args);
  if (action == "sync") return Sync(context, *args);
  if (action == "init-db") return InitDb(context, *args);
  return GenerateDemo(context, *args);
}

int RunReport(const CommandContext& context) {
  const auto args = ParseCommandOptions("report", context.args);
  if (!args) return kExitUsage;
  if (args->Get("--out").empty()) return UsageError("report needs --out FILE");
  RecordFilter filter;
  if (!ReadFilter(*args, filter)) return kExitUsage;

  ReportData data;
  data.fromDay = filter.fromDay, data.toDay = filter.toDay;
  if (args->Has("--db")) {
    if (const int code = ReportFromDatabase(context, *args, filter, data); code != kExitOk) return code;
  } else {
    ReportFromFiles(context, *args, filter, data);
  }
  const std::filesystem::path out = PathFromUtf8(args->Get("--out"));
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  file << RenderReportHtml(data, LocalNowText());
  file.close();
  if (!file) {
    return CommandError("cannot write " + args->Get("--out") + ": check that its folder exists and is writable");
  }
  TellReport(context, args->Get("--out"), data);
  return kExitOk;
}

}  // namespace korvex::cli
