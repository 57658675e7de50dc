#include "records/record_query.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "records/json_reader.h"
#include "records/record_json.h"
#include "records/record_store.h"
#include "records/record_sync.h"
#include "records/text_escape.h"

namespace korvex {
namespace {

std::string DayOf(const LocalTime& t) { return std::string(FormatRecordTime(t).View().substr(0, 10)); }

std::string UidHex(const BoardRecord& record) {
  std::string hex;
  if (record.hasUid) AppendHex(hex, record.uid);
  return hex;
}

// The UID's hex digits as typed, or as the log writes them ("nandUID: 07ea 0c06 ...").
std::string NormalisedUid(std::string_view text) {
  constexpr std::string_view kLogPrefix = "nanduid:";
  std::string out;
  if (text.size() >= kLogPrefix.size()) {
    std::string head(text.substr(0, kLogPrefix.size()));
    for (char& c : head) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (head == kLogPrefix) text.remove_prefix(kLogPrefix.size());
  }
  for (char c : text) {
    if (c == ' ') continue;
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

std::uint32_t SkippedBlocks(const BoardRecord& record) {
  std::uint32_t skipped = 0;
  for (std::size_t i = 0; i < record.imageCount; ++i) skipped += record.images[i].blocksSkipped;
  return skipped;
}

}  // namespace

bool IsDay(std::string_view text) {
  if (text.size() != 10) return false;
  return ParseRecordTime(std::string(text) + "T00:00:00.000").has_value();
}

std::string RecordFilter::Check() const {
  if (!fromDay.empty() && !IsDay(fromDay)) return "--from takes a day as YYYY-MM-DD";
  if (!toDay.empty() && !IsDay(toDay)) return "--to takes a day as YYYY-MM-DD";
  if (!fromDay.empty() && !toDay.empty() && toDay < fromDay) return "--to is before --from";
  if (!result.empty() && result != "passed" && result != "failed" && !BurnEndFromCode(result)) {
    std::string codes = "passed, failed";
    for (const std::string_view code : kBurnEndCodes) {
      if (code != BurnEndCode(BurnEnd::kNone)) codes += ", " + std::string(code);
    }
    return "--result takes one of " + codes;
  }
  return {};
}

bool RecordFilter::Matches(const BoardRecord& record) const {
  const std::string day = DayOf(record.start);
  if (!fromDay.empty() && day < fromDay) return false;
  if (!toDay.empty() && day > toDay) return false;
  if (!uid.empty() && UidHex(record).find(NormalisedUid(uid)) == std::string::npos) return false;
  if (!job.empty() && record.identity.job.View() != job) return false;
  if (!lot.empty() && record.identity.lot.View() != lot) return false;
  if (result == "passed" || result == "failed") return record.Passed() == (result == "passed");
  return result.empty() || BurnEndCode(record.reason) == result;
}

DuplicateMap FindDuplicateUids(const std::filesystem::path& folder) {
  DuplicateMap duplicates = LoadSyncState(folder).duplicates;
  // The earlier burn is the first (start time, then ID), whatever the files' order.
  using Burn = std::pair<std::string, std::string>;  // start, ID
  std::map<std::string, std::vector<Burn>> burnsByUid;
  ForEachRecord(folder, [&](const BoardRecord& record) {
    if (!record.Passed() || !record.hasUid) return;
    burnsByUid[UidHex(record)].emplace_back(FormatRecordTime(record.start).CStr(), record.id.View());
  });
  for (auto& [uid, burns] : burnsByUid) {
    if (burns.size() < 2) continue;
    std::sort(burns.begin(), burns.end());
    // A record the database already calls the first keeps that verdict.
    for (std::size_t i = 1; i < burns.size(); ++i) {
      if (duplicates.find(burns[0].second) == duplicates.end()) duplicates.try_emplace(burns[i].second, burns[0].second);
    }
  }
  return duplicates;
}

std::string RecordTableHeader() {
  char line[256];
  std::snprintf(line, sizeof line, "%-23s  %-12s %4s  %-13s %-6s  %-15s %8s  %-22s %s\n", "START",
                "STATION", "PORT", "MODEL", "RESULT", "REASON", "SECONDS", "PART", "UID");
  return line;
}

std::string RecordTableRow(const BoardRecord& r, std::string_view duplicateOf) {
  char line[512];
  std::string time(FormatRecordTime(r.start).View());
  time[10] = ' ';
  std::snprintf(line, sizeof line, "%-23s  %-12s %4d  %-13s %-6s  %-15s %8.1f  %-22s %s", time.c_str(),
                r.station.CStr(), r.port, r.model.CStr(), r.Passed() ? "passed" : "failed",
                std::string(BurnEndCode(r.reason)).c_str(), static_cast<double>(r.durationMs) / 1000.0,
                r.chip.known ? r.chip.part.CStr() : "-", r.hasUid ? UidHex(r).c_str() : "-");
  std::string row = line;
  if (!duplicateOf.empty()) row += "  DUPLICATE UID (first: " + std::string(duplicateOf) + ")";
  return row + "\n";
}

std::string RecordCsvHeader() {
  return "id,station,port,model,start,end,duration_ms,result,reason,message,main_id,ext_id,part,"
         "page_size,block_size,spare_size,blocks,uid,uid_text,images,blocks_skipped,format_after,"
         "erase_chip,fs_format,verify,job,lot,work_order,operator,duplicate_of\n";
}

std::string RecordCsvRow(const BoardRecord& r, std::string_view duplicateOf) {
  std::string row;
  bool first = true;
  const auto field = [&row, &first](std::string_view text) {
    if (!first) row += ',';
    first = false;
    row += CsvField(text);
  };
  const auto number = [&field](std::uint64_t value) { field(std::to_string(value)); };
  const auto hex = [&field](std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    field(text);
  };
  field(r.id.View()), field(r.station.View()), number(static_cast<std::uint64_t>(r.port));
  field(r.model.View()), field(FormatRecordTime(r.start).View()), field(FormatRecordTime(r.end).View());
  number(r.durationMs), field(r.Passed() ? "passed" : "failed"), field(BurnEndCode(r.reason));
  field(r.message.View());
  if (r.chip.known) {
    hex(r.chip.mainId, 4), hex(r.chip.extId, 6), field(r.chip.part.View());
    for (const std::uint32_t value : {r.chip.pageSize, r.chip.blockSize, r.chip.spareSize, r.chip.blocks}) {
      number(value);
    }
  } else {
    for (int i = 0; i < 7; ++i) field({});
  }
  field(UidHex(r)), field(r.uidText.View()), number(r.imageCount), number(SkippedBlocks(r));
  for (const bool flag : {r.options.formatAfter, r.options.eraseChip, r.options.fsFormat, r.options.verify}) {
    field(flag ? "1" : "0");
  }
  field(r.identity.job.View()), field(r.identity.lot.View()), field(r.identity.workOrder.View());
  field(r.identity.operatorName.View());
  field(duplicateOf);
  return row + "\n";
}

std::string RecordJsonLine(const BoardRecord& record, std::string_view duplicateOf) {
  std::string line;
  AppendRecordJson(line, record);
  if (!duplicateOf.empty()) {
    // The stored line ends in "}\n": the mark goes in before the brace.
    line.resize(line.size() - 2);
    line += ",\"duplicateOf\":";
    AppendJsonString(line, duplicateOf);
    line += "}\n";
  }
  return line;
}

}  // namespace korvex
