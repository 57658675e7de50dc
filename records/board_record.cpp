#include "records/board_record.h"

#include <algorithm>
#include <cstdio>

#include "records/json_reader.h"

namespace korvex {
namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t MillisecondsOf(const LocalTime& t) {
  const std::int64_t days = DaysFromCivil(t.year, t.month, t.day);
  return ((days * 24 + t.hour) * 60 + t.minute) * 60'000 + t.second * 1000 + t.millisecond;
}

constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::size_t FitUtf8(std::string_view text, char* out, std::size_t capacity) {
  constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
  std::size_t used = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    const std::string_view piece = length == 0 ? kReplacement : text.substr(i, length);
    if (used + piece.size() > capacity) break;
    std::copy(piece.begin(), piece.end(), out + used);
    used += piece.size();
    i += length == 0 ? 1 : length;
  }
  return used;
}

RecordTime FormatRecordTime(const LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", t.year % 10000u,
                t.month % 100u, t.day % 100u, t.hour % 100u, t.minute % 100u, t.second % 100u,
                t.millisecond % 1000u);
  return RecordTime(text);
}

std::optional<LocalTime> ParseRecordTime(std::string_view text) {
  // Fixed positions: YYYY-MM-DDTHH:MM:SS.mmm
  constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd.ddd";
  if (text.size() != kShape.size()) return std::nullopt;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return std::nullopt;
  }
  const auto number = [text](std::size_t at, std::size_t length) {
    std::uint16_t value = 0;
    for (std::size_t i = at; i < at + length; ++i) value = static_cast<std::uint16_t>(value * 10 + (text[i] - '0'));
    return value;
  };
  LocalTime t;
  t.year = number(0, 4), t.month = number(5, 2), t.day = number(8, 2);
  t.hour = number(11, 2), t.minute = number(14, 2), t.second = number(17, 2);
  t.millisecond = number(20, 3);
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 || t.second > 60) {
    return std::nullopt;
  }
  // A day that does not exist (2026-02-31) is no time: the database would refuse it.
  constexpr std::uint16_t kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  if (t.day > kDays[t.month - 1] || (t.month == 2 && t.day == 29 && !leap)) return std::nullopt;
  return t;
}

std::uint64_t MillisecondsBetween(const LocalTime& from, const LocalTime& to) {
  const std::int64_t difference = MillisecondsOf(to) - MillisecondsOf(from);
  return difference > 0 ? static_cast<std::uint64_t>(difference) : 0;
}

bool IsValidStationName(std::string_view name) {
  if (name.empty() || name.size() >= kStationNameCapacity) return false;
  for (const char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

void BeginBoardRecord(BoardRecord& record, Host& host, std::string_view station,
                      std::int32_t stationPort, std::string_view model, const BurnOptions& options) {
  record = BoardRecord{};
  record.station.Assign(station);
  record.port = stationPort + 1;
  AssignText(record.model, model);
  record.options = options;
  record.start = host.GetLocalTime();
  std::array<std::uint8_t, 8> random{};
  host.RandomBytes(random);
  const LocalTime& t = record.start;
  char id[128];
  std::snprintf(id, sizeof id, "%s-%04u%02u%02uT%02u%02u%02u%03u-p%d-", record.station.CStr(),
                t.year % 10000u, t.month % 100u, t.day % 100u, t.hour % 100u, t.minute % 100u,
                t.second % 100u, t.millisecond % 1000u, record.port);
  std::string text = id;
  AppendHex(text, random);
  record.id.Assign(text);
}

void SetChip(BoardRecord& record, std::uint16_t mainId, std::uint32_t extId, std::string_view part,
             std::uint32_t pageSize, std::uint32_t blockSize, std::uint32_t spareSize,
             std::uint32_t blocks) {
  ChipRecord& chip = record.chip;
  chip.known = true;
  chip.mainId = mainId;
  chip.extId = extId & 0xFFFFFFu;
  AssignText(chip.part, part);
  chip.pageSize = pageSize, chip.blockSize = blockSize, chip.spareSize = spareSize;
  chip.blocks = blocks;
}

void SetUid(BoardRecord& record, const std::array<std::uint8_t, kUidSize>& uid,
            std::string_view text) {
  record.hasUid = true;
  record.uid = uid;
  record.uidText.Assign(text);
}

ImageRecord* AddImage(BoardRecord& record, std::string_view file) {
  if (record.imageCount >= record.images.size()) return nullptr;
  ImageRecord& image = record.images[record.imageCount++];
  image = ImageRecord{};
  AssignText(image.file, file);
  return &image;
}

void FinishBoardRecord(BoardRecord& record, Host& host, BurnEnd reason,
                       std::string_view message) {
  record.end = host.GetLocalTime();
  record.durationMs = MillisecondsBetween(record.start, record.end);
  record.reason = reason;
  AssignText(record.message, message);
}

void AppendHex(std::string& out, std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t b : bytes) {
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 15];
  }
}

bool ParseHex(std::string_view text, std::span<std::uint8_t> out) {
  if (text.size() != out.size() * 2) return false;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return true;
}

}  // namespace korvex
