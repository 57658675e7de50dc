#include "records/record_store.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <mutex>

#include "host/durable_file.h"
#include "records/record_json.h"

namespace korvex {
namespace {

// One lock for every store of the process: two stores on one folder must not both
// decide that a file needs its newline.
std::mutex& StoreMutex() {
  static std::mutex mutex;
  return mutex;
}

bool EndsWithNewline(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in || in.tellg() <= 0) return true;  // absent or empty: nothing to close
  in.seekg(-1, std::ios::end);
  return in.get() == '\n';
}

}  // namespace

std::string RecordFileName(const LocalTime& time) {
  char name[32];
  std::snprintf(name, sizeof name, "records-%04u-%02u.jsonl", time.year % 10000u,
                time.month % 100u);
  return name;
}

RecordStore::RecordStore(std::filesystem::path folder, AppendFunction append)
    : folder_(std::move(folder)), append_(append != nullptr ? append : &AppendDurably) {}

bool RecordStore::Append(const BoardRecord& record) {
  // Reused per thread, so a worker's records do not allocate once it has written one.
  thread_local std::string line;
  const std::filesystem::path file = folder_ / RecordFileName(record.end);
  std::lock_guard lock(StoreMutex());
  line.clear();
  if (!EndsWithNewline(file)) line += '\n';
  AppendRecordJson(line, record);
  return append_(file, line);
}

std::vector<std::filesystem::path> RecordFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    // records-YYYY-MM.jsonl
    if (name.size() == 21 && name.starts_with("records-") && name.ends_with(".jsonl") &&
        entry.is_regular_file(error)) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::uint64_t ReadRecordFile(const std::filesystem::path& file, std::uint64_t from,
                             const RecordVisitor& visit, RecordReadStats& stats,
                             const std::function<void(std::uint64_t offset)>& bad) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return from;
  in.seekg(static_cast<std::streamoff>(from));
  std::uint64_t offset = from;
  std::string line;
  while (std::getline(in, line)) {
    if (in.eof()) break;  // no newline yet: not a whole line
    const std::uint64_t end = offset + line.size() + 1;
    BoardRecord record;
    if (!line.empty() && ParseRecordJson(line, record)) {
      ++stats.records;
      if (!visit(record, end)) return offset;
    } else if (!line.empty()) {
      ++stats.tornLines;
      if (bad) bad(offset);
    }
    offset = end;
  }
  return offset;
}

RecordReadStats ForEachRecord(const std::filesystem::path& folder,
                              const std::function<void(const BoardRecord&)>& visit) {
  RecordReadStats stats;
  for (const auto& file : RecordFiles(folder)) {
    const std::uint64_t read = ReadRecordFile(file, 0, [&visit](const BoardRecord& record, std::uint64_t) {
      visit(record);
      return true;
    }, stats);
    std::error_code error;
    if (read < std::filesystem::file_size(file, error) && !error) ++stats.tornLines;
  }
  return stats;
}

}  // namespace korvex
