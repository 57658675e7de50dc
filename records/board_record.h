#pragma once
// The board record: one per claimed board, from the claim to the end of its burn.
// It says which station and port burned which chip with which images, the board's
// unique ID, how the burn ended and why. Fixed-size, so a port can keep one in its
// preallocated context and fill it without allocating; written to the local record
// file (records/record_store.h) and from there to the line's database.
//
// At burn time:
//   BoardRecord& r = ...;                       // the port's own, reused per board
//   BeginBoardRecord(r, host, "LINE3", port, "Qx7135", options);   // at claim
//   SetChip(r, mainId, extId, partName, geometry);                 // after the lookup
//   SetUid(r, uid, uidText);                                       // when it is made
//   ImageRecord& image = AddImage(r, path);   // then fill its pages, skips, verify
//   ImageDigests (records/image_digests.h) for its size and digest
//   FinishBoardRecord(r, host, BurnEnd::kBurned, {});           // at the end
//   keeper.Write(r);                                                // records/record_keeper.h

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "device/bounded_string.h"
#include "host/host.h"
#include "station/burn_end.h"
#include "station/port_context.h"

namespace korvex {

// A record's times are the station's local time to the millisecond, as the log's.
// Text form: "2026-12-03T14:05:07.042".
using RecordTime = BoundedString<24>;
RecordTime FormatRecordTime(const LocalTime& time);
std::optional<LocalTime> ParseRecordTime(std::string_view text);
// Milliseconds from one local time to a later one (0 when `to` is earlier).
std::uint64_t MillisecondsBetween(const LocalTime& from, const LocalTime& to);

enum class VerifyOutcome : std::uint8_t { kNotRun, kPassed, kMismatch };
inline constexpr std::array<std::string_view, 3> kVerifyCodes{"not-run", "passed", "mismatch"};

using Sha256Digest = std::array<std::uint8_t, 32>;

struct ImageRecord {
  ImagePath file;              // as the station was given it
  std::uint64_t size = 0;      // bytes
  Sha256Digest sha256{};
  bool hashed = false;         // false when the file could not be read
  std::uint32_t firstPage = 0;
  std::uint32_t endPage = 0;   // the page after the last one written
  std::uint32_t blocksSkipped = 0;
  bool written = false;        // the whole file went into its zone
  VerifyOutcome verify = VerifyOutcome::kNotRun;
};

struct ChipRecord {
  bool known = false;          // false until the chip's ID was read
  std::uint16_t mainId = 0;
  std::uint32_t extId = 0;     // 24 bits
  BoundedString<64> part;      // the table row's name, empty when no row matched
  std::uint32_t pageSize = 0;
  std::uint32_t blockSize = 0; // bytes
  std::uint32_t spareSize = 0;
  std::uint32_t blocks = 0;
};

struct BurnOptions {
  bool formatAfter = false;
  bool eraseChip = false;
  bool fsFormat = false;
  bool verify = false;
};

// Which release, lot and work order a board belongs to and who burned it; empty
// when the station runs without a job or the operator gave none.
inline constexpr std::size_t kJobTextCapacity = 64;
using JobText = BoundedString<kJobTextCapacity>;
struct JobIdentity {
  JobText job;
  JobText lot;
  JobText workOrder;
  JobText operatorName;
};

inline constexpr std::size_t kStationNameCapacity = 33;
using StationName = BoundedString<kStationNameCapacity>;
using RecordId = BoundedString<96>;

struct BoardRecord {
  RecordId id;
  StationName station;
  std::int32_t port = 0;       // 1..8, as the operator's screen numbers the ports
  BoundedString<24> model;     // the CPU model's name, e.g. "Qx7135"
  LocalTime start;
  LocalTime end;
  std::uint64_t durationMs = 0;
  ChipRecord chip;
  bool hasUid = false;
  std::array<std::uint8_t, kUidSize> uid{};
  UidText uidText;
  std::array<ImageRecord, kImageCount> images{};
  std::size_t imageCount = 0;  // images[0..imageCount) were attempted, in burn order
  BurnOptions options;
  JobIdentity identity;
  BurnEnd reason = BurnEnd::kNone;
  BoundedString<256> message;  // what the operator was shown or the log said

  bool Passed() const { return reason == BurnEnd::kBurned; }
};

// A station name may name files and appears in every record's ID: 1..32 letters,
// digits, '-', '_' or '.'.
bool IsValidStationName(std::string_view name);

// Starts a record at the claim: clears it, stamps the start time and makes the ID
// from the station name, the start time, the port and 64 random bits of the host's
// random source (the operating system's on a station), so a record inserted twice is
// recognised as the same and two stations of one name never make the same ID.
// `stationPort` is the station's own 0..7; the record keeps the operator's 1..8.
void BeginBoardRecord(BoardRecord& record, Host& host, std::string_view station,
                      std::int32_t stationPort, std::string_view model, const BurnOptions& options);

void SetChip(BoardRecord& record, std::uint16_t mainId, std::uint32_t extId, std::string_view part,
             std::uint32_t pageSize, std::uint32_t blockSize, std::uint32_t spareSize,
             std::uint32_t blocks);
void SetUid(BoardRecord& record, const std::array<std::uint8_t, kUidSize>& uid,
            std::string_view text);

// The next image's entry (cleared, file set), or nullptr once all six are taken.
ImageRecord* AddImage(BoardRecord& record, std::string_view file);

// Stamps the end time and duration, the reason and the operator's text.
void FinishBoardRecord(BoardRecord& record, Host& host, BurnEnd reason,
                       std::string_view message);

// Writes text into out[0..capacity) as well-formed UTF-8: each byte that is not part
// of a UTF-8 character (a GBK path, say) becomes U+FFFD, and the text is cut before
// the first character that would not fit whole. Returns the bytes written.
std::size_t FitUtf8(std::string_view text, char* out, std::size_t capacity);

// A record's text field: always well-formed UTF-8, cut to whole characters, so
// every reader and the database take it back whatever bytes the station was given.
template <std::size_t N>
void AssignText(BoundedString<N>& field, std::string_view text) {
  std::array<char, N> fitted;
  field.Assign({fitted.data(), FitUtf8(text, fitted.data(), N - 1)});
}

// Appends the lower-case hex of bytes, e.g. the UID's 32 digits.
void AppendHex(std::string& out, std::span<const std::uint8_t> bytes);
// The bytes of exactly out.size() * 2 hex digits; false on anything else.
bool ParseHex(std::string_view text, std::span<std::uint8_t> out);

}  // namespace korvex
