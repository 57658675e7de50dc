#pragma once
// The board's 16-byte unique ID (local time, three random values, CRC-8) and the
// identity pages written behind the start of the nand.bin zone: two NAND
// information pages with the chip's geometry and one page with the unique ID.

#include <array>
#include <cstdint>
#include <span>

#include "station/port_context.h"
#include "device/device_session.h"
#include "host/host.h"
#include "nand/burn_events.h"
#include "nand/write_verify.h"

namespace korvex {

using Uid = std::array<std::uint8_t, kUidSize>;

inline constexpr int kPageWritten = 1;
inline constexpr int kPageNotWritten = 0;
inline constexpr int kPageLinkLost = -1;  // the write failed at the host: the board is gone
inline constexpr int kPageVerifyFailed = -2;  // read back different (verification on)

// Pages of the 2048-byte view, inside the nand.bin zone.
inline constexpr std::uint32_t kInfoPage1 = 61;
inline constexpr std::uint32_t kInfoPage2 = 62;
inline constexpr std::uint32_t kUidPage = 63;
inline constexpr std::uint32_t kIdentityPageBytes = 2048;

// CRC-8/MAXIM (reflected polynomial 0x8C, initial 0, no final XOR).
std::uint8_t Crc8Maxim(std::span<const std::uint8_t> bytes);

// The ID of a given time and random values: year and milliseconds big-endian, the
// randoms big-endian, the CRC of bytes 0..14 last.
Uid BuildUid(const LocalTime& time, std::uint16_t random1, std::uint16_t random2,
             std::uint16_t random3);

// "nandUID: " and eight groups of four lower-case hex digits.
UidText FormatUidText(const Uid& uid);

// A new ID from the host's local time and three 16-bit values of the host's random
// source.
void MakeUid(Host& host, std::uint8_t out[kUidSize], UidText& text);

// Writes the information page (page size, spare size, pages per block of the chip,
// 32-bit little-endian, then 0xFF) at `page` with `option`, judged by WriteAndCheck.
// okFlags (targetCount entries) is the write's result table: entry 0 ends as 1 when
// the board took the page, else 0.
PageWrite WriteInfoPage(DeviceSession& session, std::uint32_t page, std::int32_t option,
                        std::uint8_t* okFlags);

// Writes the session's uid (then 0xFF) at `page` with `option`, judged by
// WriteAndCheck. Only a write that went in touches okFlags[0] (it becomes 1).
PageWrite WriteUidPage(DeviceSession& session, std::uint32_t page, std::int32_t option,
                       std::uint8_t* okFlags);

// How the identity pages ended: a kPage result and the page it ended on.
struct IdentityWrite {
  int result = kPageWritten;
  std::uint32_t page = 0;
};

// The identity pages behind a successful nand.bin, each logged: on models 1..3 the
// information page to pages 61 and 62 (option 2), then on every model the ID page
// to page 63 (option 3 on model 0, else 2). The first page not written is logged as
// such and ends the sequence (kPageNotWritten); a lost link ends it unlogged
// (kPageLinkLost). With verification each page is read back; a difference is logged and
// ends it (kPageVerifyFailed). kPageWritten when every page went in.
IdentityWrite WriteIdentityPages(DeviceSession& session, BurnEvents& events);

}  // namespace korvex
