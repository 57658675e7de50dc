#include "records/odbc/odbc_record_database.h"

#include <utility>

namespace korvex::odbc {
namespace {

constexpr const char* kInsertRecord =
    "INSERT INTO board_records (id, station, port, model, started_at, ended_at, duration_ms,"
    " result, reason, message, chip_main_id, chip_ext_id, chip_part, page_size, block_size,"
    " spare_size, blocks, uid, uid_text, format_after, erase_chip, fs_format, verify,"
    " duplicate_uid, job, lot, work_order, operator_name)"
    " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

constexpr const char* kInsertImage =
    "INSERT INTO board_images (record_id, position, file, size, sha256, first_page, end_page,"
    " blocks_skipped, written, verify) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

}  // namespace

InsertResult OdbcRecordDatabase::Insert(const BoardRecord& record) {
  InsertResult result;
  if (!Open(result.error)) return result;
  // A second try covers a race with another station or a second sync: the
  // integrity error it gets means the row it is about to add is there now.
  std::string state;
  for (int attempt = 0; attempt < 2; ++attempt) {
    state.clear();
    result = TryInsert(record, state);
    if (result.outcome == InsertOutcome::kFailed) {
      SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    } else if (!Ok(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT))) {
      // Only a commit the server confirmed counts as sent: a server that went away
      // in between gets the record again, and its ID tells if it arrived after all.
      result = {InsertOutcome::kFailed, {}, {}, Diagnostics(SQL_HANDLE_DBC, dbc_, &state)};
    }
    if (result.outcome != InsertOutcome::kFailed || !state.starts_with("23")) break;
  }
  // Class 22 is the record's own data (a day that does not exist, a value out of
  // range): the connection is fine, and the records after it go on.
  if (result.outcome == InsertOutcome::kFailed && state.starts_with("22")) {
    result.outcome = InsertOutcome::kRejected;
    return result;
  }
  if (result.outcome == InsertOutcome::kFailed) Close();
  return result;
}

InsertResult OdbcRecordDatabase::TryInsert(const BoardRecord& r, std::string& state) {
  InsertResult result;
  const std::string id(r.id.View());
  Statement known(dbc_, "SELECT COUNT(*) FROM board_records WHERE id = ?");
  known.Text(id);
  if (!known.Execute() || !known.Fetch()) {
    Fail(known, result, state);
    return result;
  }
  if (known.GetNumber(1).value_or(0) > 0) return {InsertOutcome::kAlreadyStored, {}, {}, {}};

  std::string uid;
  if (r.hasUid) AppendHex(uid, r.uid);
  bool duplicate = false;
  if (r.Passed() && r.hasUid && !FindFirstBurn(r, id, uid, duplicate, result, state)) return result;
  if (!InsertRecordRow(r, id, uid, duplicate, result, state)) return result;
  if (!InsertImageRows(r, id, result, state)) return result;
  result.outcome = result.duplicateId.empty() ? InsertOutcome::kInserted : InsertOutcome::kDuplicateUid;
  return result;
}

bool OdbcRecordDatabase::Fail(const Statement& s, InsertResult& result, std::string& state) {
  result.outcome = InsertOutcome::kFailed;
  result.error = s.error();
  state = s.state();
  return false;
}

bool OdbcRecordDatabase::FindFirstBurn(const BoardRecord& r, const std::string& id, const std::string& uid,
                                       bool& duplicate, InsertResult& result, std::string& state) {
  Statement first(dbc_, "SELECT id, started_at FROM board_records WHERE uid = ? AND result = 'passed'"
                        " AND duplicate_uid = 0");
  first.Text(uid);
  if (!first.Execute()) return Fail(first, result, state);
  if (!first.Fetch()) {
    if (first.ok()) return true;  // no earlier burn
    return Fail(first, result, state);
  }
  std::string firstId = first.GetText(1).value_or("");
  const LocalTime firstStart = first.GetTime(2);
  // The earlier burn is the first, whichever station sent its record first.
  const std::string mine = FormatRecordTime(r.start).CStr(), theirs = FormatRecordTime(firstStart).CStr();
  if (std::pair(theirs, firstId) <= std::pair(mine, id)) {
    duplicate = true;
    result.firstId = std::move(firstId);
    result.duplicateId = id;
    return true;
  }
  Statement mark(dbc_, "UPDATE board_records SET duplicate_uid = 1 WHERE id = ?");
  mark.Text(firstId);
  if (!mark.Execute()) return Fail(mark, result, state);
  result.firstId = id;
  result.duplicateId = std::move(firstId);
  return true;
}

bool OdbcRecordDatabase::InsertRecordRow(const BoardRecord& r, const std::string& id, const std::string& uid,
                                         bool duplicate, InsertResult& result, std::string& state) {
  const ChipRecord& c = r.chip;
  Statement insert(dbc_, kInsertRecord);
  insert.Text(id).Text(r.station.View()).Number(r.port).Text(r.model.View());
  insert.Time(r.start).Time(r.end).Number(static_cast<std::int64_t>(r.durationMs));
  insert.Text(r.Passed() ? "passed" : "failed").Text(BurnEndCode(r.reason)).Text(r.message.View());
  insert.Number(c.mainId, !c.known).Number(c.extId, !c.known).Text(c.part.View(), !c.known);
  insert.Number(c.pageSize, !c.known).Number(c.blockSize, !c.known);
  insert.Number(c.spareSize, !c.known).Number(c.blocks, !c.known);
  insert.Text(uid, !r.hasUid).Text(r.uidText.View(), !r.hasUid);
  insert.Number(r.options.formatAfter).Number(r.options.eraseChip);
  insert.Number(r.options.fsFormat).Number(r.options.verify).Number(duplicate);
  const JobIdentity& job = r.identity;
  insert.Text(job.job.View()).Text(job.lot.View()).Text(job.workOrder.View()).Text(job.operatorName.View());
  return insert.Execute() || Fail(insert, result, state);
}

bool OdbcRecordDatabase::InsertImageRows(const BoardRecord& r, const std::string& id, InsertResult& result,
                                         std::string& state) {
  for (std::size_t i = 0; i < r.imageCount; ++i) {
    const ImageRecord& m = r.images[i];
    std::string sha;
    AppendHex(sha, m.sha256);
    Statement image(dbc_, kInsertImage);
    image.Text(id).Number(static_cast<std::int64_t>(i)).Text(m.file.View());
    image.Number(static_cast<std::int64_t>(m.size)).Text(sha, !m.hashed);
    image.Number(m.firstPage).Number(m.endPage).Number(m.blocksSkipped).Number(m.written);
    image.Text(kVerifyCodes[static_cast<std::size_t>(m.verify)]);
    if (!image.Execute()) return Fail(image, result, state);
  }
  return true;
}

}  // namespace korvex::odbc
