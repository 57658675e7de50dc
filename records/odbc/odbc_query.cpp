#include "records/odbc/odbc_record_database.h"

namespace korvex::odbc {
namespace {

// One chunk of records with their images, one row per image (or one row without),
// in the order the records started: those after the last one of the previous chunk
// (its start, its ID). A driver holds a whole result in memory, so a line's months
// are read a chunk at a time.
constexpr std::size_t kRecordsPerChunk = 500;  // the LIMIT below
constexpr const char* kSelectRecords =
    "SELECT r.id, r.station, r.port, r.model, r.started_at, r.ended_at, r.duration_ms, r.reason,"
    " r.message, r.chip_main_id, r.chip_ext_id, r.chip_part, r.page_size, r.block_size,"
    " r.spare_size, r.blocks, r.uid, r.uid_text, r.format_after, r.erase_chip, r.fs_format,"
    " r.verify, r.duplicate_uid, r.job, r.lot, r.work_order, r.operator_name, i.file, i.size, i.sha256, i.first_page, i.end_page,"
    " i.blocks_skipped, i.written, i.verify FROM (SELECT * FROM board_records"
    " WHERE started_at <= ? AND (started_at > ? OR (started_at = ? AND id > ?))"
    " ORDER BY started_at, id LIMIT 500) r"  // kRecordsPerChunk
    " LEFT JOIN board_images i ON i.record_id = r.id ORDER BY r.started_at, r.id, i.position";

}  // namespace

bool OdbcRecordDatabase::Duplicates(DuplicateIds& out, std::string& error) {
  if (!Open(error)) return false;
  Statement select(dbc_, "SELECT d.id, f.id FROM board_records d JOIN board_records f ON f.uid = d.uid"
                         " AND f.result = 'passed' AND f.duplicate_uid = 0 WHERE d.duplicate_uid = 1");
  if (select.Execute()) {
    while (select.Fetch()) out[select.GetText(1).value_or("")] = select.GetText(2).value_or("");
  }
  SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT);
  if (select.ok()) return true;
  error = select.error();
  Close();
  return false;
}

bool OdbcRecordDatabase::ForEach(std::string_view fromDay, std::string_view toDay,
                                 const DatabaseRecordVisitor& visit, std::string& error) {
  if (!Open(error)) return false;
  const auto day = [](std::string_view text, std::string_view fallback, std::string_view clock) {
    return ParseRecordTime(std::string(text.empty() ? fallback : text) + std::string(clock));
  };
  const auto from = day(fromDay, "0001-01-01", "T00:00:00.000");
  const auto to = day(toDay, "9999-12-31", "T23:59:59.999");
  if (!from || !to) {
    error = "days are given as YYYY-MM-DD";
    return false;
  }
  LocalTime after = *from;
  std::string afterId;  // "" sorts before every ID: the first chunk starts at `from`
  BoardRecord record;
  for (;;) {
    Statement select(dbc_, kSelectRecords);
    // The first chunk takes records that start exactly at `from` too.
    select.Time(*to).Time(after).Time(after).Text(afterId);
    bool duplicate = false, pending = false;
    std::size_t records = 0;
    if (select.Execute()) {
      while (select.Fetch()) {
        const std::string id = select.GetText(1).value_or("");
        if (!pending || id != record.id.View()) {
          if (pending) visit(record, duplicate);
          duplicate = ReadRecordColumns(select, id, record);
          pending = true;
          ++records;
        }
        ReadImageColumns(select, record);
      }
    }
    SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT);
    if (!select.ok()) {
      error = select.error();
      Close();
      return false;
    }
    if (pending) visit(record, duplicate);
    if (records < kRecordsPerChunk) return true;
    after = record.start;
    afterId = std::string(record.id.View());
  }
}

bool OdbcRecordDatabase::ReadRecordColumns(Statement& s, const std::string& id, BoardRecord& r) {
  r = BoardRecord{};
  r.id.Assign(id);
  r.station.Assign(s.GetText(2).value_or(""));
  r.port = static_cast<std::int32_t>(s.GetNumber(3).value_or(0));
  r.model.Assign(s.GetText(4).value_or(""));
  r.start = s.GetTime(5);
  r.end = s.GetTime(6);
  r.durationMs = static_cast<std::uint64_t>(s.GetNumber(7).value_or(0));
  r.reason = BurnEndFromCode(s.GetText(8).value_or("")).value_or(BurnEnd::kNone);
  r.message.Assign(s.GetText(9).value_or(""));
  if (const auto mainId = s.GetNumber(10)) {
    r.chip.known = true;
    r.chip.mainId = static_cast<std::uint16_t>(*mainId);
    r.chip.extId = static_cast<std::uint32_t>(s.GetNumber(11).value_or(0));
    r.chip.part.Assign(s.GetText(12).value_or(""));
    r.chip.pageSize = static_cast<std::uint32_t>(s.GetNumber(13).value_or(0));
    r.chip.blockSize = static_cast<std::uint32_t>(s.GetNumber(14).value_or(0));
    r.chip.spareSize = static_cast<std::uint32_t>(s.GetNumber(15).value_or(0));
    r.chip.blocks = static_cast<std::uint32_t>(s.GetNumber(16).value_or(0));
  }
  if (const auto uid = s.GetText(17)) r.hasUid = ParseHex(*uid, r.uid);
  r.uidText.Assign(s.GetText(18).value_or(""));
  r.options.formatAfter = s.GetNumber(19).value_or(0) != 0;
  r.options.eraseChip = s.GetNumber(20).value_or(0) != 0;
  r.options.fsFormat = s.GetNumber(21).value_or(0) != 0;
  r.options.verify = s.GetNumber(22).value_or(0) != 0;
  const bool duplicate = s.GetNumber(23).value_or(0) != 0;
  r.identity.job.Assign(s.GetText(24).value_or(""));
  r.identity.lot.Assign(s.GetText(25).value_or(""));
  r.identity.workOrder.Assign(s.GetText(26).value_or(""));
  r.identity.operatorName.Assign(s.GetText(27).value_or(""));
  return duplicate;
}

void OdbcRecordDatabase::ReadImageColumns(Statement& s, BoardRecord& r) {
  const auto file = s.GetText(28);
  if (!file || r.imageCount >= r.images.size()) return;
  ImageRecord& m = r.images[r.imageCount++];
  m.file.Assign(*file);
  m.size = static_cast<std::uint64_t>(s.GetNumber(29).value_or(0));
  if (const auto sha = s.GetText(30)) m.hashed = ParseHex(*sha, m.sha256);
  m.firstPage = static_cast<std::uint32_t>(s.GetNumber(31).value_or(0));
  m.endPage = static_cast<std::uint32_t>(s.GetNumber(32).value_or(0));
  m.blocksSkipped = static_cast<std::uint32_t>(s.GetNumber(33).value_or(0));
  m.written = s.GetNumber(34).value_or(0) != 0;
  const std::string verify = s.GetText(35).value_or("");
  for (std::size_t code = 0; code < kVerifyCodes.size(); ++code) {
    if (kVerifyCodes[code] == verify) m.verify = static_cast<VerifyOutcome>(code);
  }
}

}  // namespace korvex::odbc
