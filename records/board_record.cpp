#include "records/board_record.h"

#include <cstdio>

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

// A text cut to its field's size loses whole characters, never half of one: the
// database takes only well-formed UTF-8.
template <std::size_t N>
void AssignWhole(BoundedString<N>& field, std::string_view text) {
  if (text.size() >= N) {
    text = text.substr(0, N - 1);
    std::size_t end = text.size();
    while (end > 0 && (static_cast<unsigned char>(text[end - 1]) & 0xC0) == 0x80) --end;
    if (end > 0 && static_cast<unsigned char>(text[end - 1]) >= 0xC0) {
      const auto lead = static_cast<unsigned char>(text[end - 1]);
      const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
      if (end - 1 + length > text.size()) text = text.substr(0, end - 1);
    }
  }
  field.Assign(text);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

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
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 60) {
    return std::nullopt;
  }
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
                      std::int32_t port, std::string_view model, const BurnOptions& options) {
  record = BoardRecord{};
  record.station.Assign(station);
  record.port = port;
  AssignWhole(record.model, model);
  record.options = options;
  record.start = host.GetLocalTime();
  std::array<std::uint8_t, 4> random{};
  host.RandomBytes(random);
  const LocalTime& t = record.start;
  char id[128];
  std::snprintf(id, sizeof id, "%s-%04u%02u%02uT%02u%02u%02u%03u-p%d-%02x%02x%02x%02x",
                record.station.CStr(), t.year % 10000u, t.month % 100u, t.day % 100u,
                t.hour % 100u, t.minute % 100u, t.second % 100u, t.millisecond % 1000u, port,
                random[0], random[1], random[2], random[3]);
  record.id.Assign(id);
}

void SetChip(BoardRecord& record, std::uint16_t mainId, std::uint32_t extId, std::string_view part,
             std::uint32_t pageSize, std::uint32_t blockSize, std::uint32_t spareSize,
             std::uint32_t blocks) {
  ChipRecord& chip = record.chip;
  chip.known = true;
  chip.mainId = mainId;
  chip.extId = extId & 0xFFFFFFu;
  AssignWhole(chip.part, part);
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
  AssignWhole(image.file, file);
  return &image;
}

void FinishBoardRecord(BoardRecord& record, Host& host, BurnEnd reason,
                       std::string_view message) {
  record.end = host.GetLocalTime();
  record.durationMs = MillisecondsBetween(record.start, record.end);
  record.reason = reason;
  AssignWhole(record.message, message);
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
