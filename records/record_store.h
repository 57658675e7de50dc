#pragma once
// The local record files: append-only JSON Lines, one file per month beside the
// production log ("records-2026-12.jsonl", by each record's end time). They need no
// server and are where every record goes first; the line's database is filled from
// them (records/record_sync.h).
//
// A record is one line written with one append and synced to the disk. A crash can
// leave the last line cut short; the next write starts with a newline then, so the
// torn line stays a line of its own that readers recognise and skip.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "records/board_record.h"

namespace korvex {

// "records-YYYY-MM.jsonl" of the time's month.
std::string RecordFileName(const LocalTime& time);

// How a record's line reaches the disk: AppendDurably (host/durable_file.h), or a
// test's stand-in for a full disk.
using AppendFunction = bool (*)(const std::filesystem::path& file, std::string_view bytes);

// Thread-safe: the eight workers append through one store at once.
class RecordStore {
 public:
  explicit RecordStore(std::filesystem::path folder, AppendFunction append = nullptr);

  // False when the file could not be written (the burn goes on; the caller tells the
  // operator and keeps the record).
  bool Append(const BoardRecord& record);

  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  AppendFunction append_;
};

// The record files in a folder, oldest month first.
std::vector<std::filesystem::path> RecordFiles(const std::filesystem::path& folder);

struct RecordReadStats {
  std::size_t records = 0;
  std::size_t tornLines = 0;  // lines that are not a whole record, a cut-short last one too
};

// Called with each whole record and the file offset just past its line; returning
// false stops the reading before that record.
using RecordVisitor = std::function<bool(const BoardRecord& record, std::uint64_t endOffset)>;

// Reads the file's whole lines from byte `from` on; a last line without its newline
// is left for later (it may still be being written, or is torn and gets its newline
// with the next record). Returns the offset after the last line taken.
// `bad` hears the offset of each whole line that is not a record.
std::uint64_t ReadRecordFile(const std::filesystem::path& file, std::uint64_t from,
                             const RecordVisitor& visit, RecordReadStats& stats,
                             const std::function<void(std::uint64_t offset)>& bad = {});

// Every record of every file in the folder, in file order; a last line without its
// newline counts as torn (a write cut short that no record followed yet).
RecordReadStats ForEachRecord(const std::filesystem::path& folder,
                              const std::function<void(const BoardRecord&)>& visit);

}  // namespace korvex
