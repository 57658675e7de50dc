#include "nand/identity_pages.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "device/cpu_model.h"
#include "protocol/byte_order.h"
#include "nand/burn_log.h"
#include "nand/burn_texts.h"
#include "nand/nand_ops.h"
#include "nand/write_verify.h"
#include "station/printf_text.h"

namespace korvex {

namespace {

constexpr std::array<std::uint8_t, 256> MakeCrc8Table() {
  std::array<std::uint8_t, 256> table{};
  for (unsigned value = 0; value < 256; ++value) {
    unsigned crc = value;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0x8C : crc >> 1;
    table[value] = static_cast<std::uint8_t>(crc);
  }
  return table;
}
constexpr std::array<std::uint8_t, 256> kCrc8Table = MakeCrc8Table();
static_assert(kCrc8Table[1] == 0x5E && kCrc8Table[2] == 0xBC);

void PutBe16(Uid& uid, std::size_t offset, std::uint16_t value) {
  uid[offset] = static_cast<std::uint8_t>(value >> 8);
  uid[offset + 1] = static_cast<std::uint8_t>(value);
}

// One identity page: 0xFF over the whole buffer, the content in front.
PageWrite WriteIdentityPage(DeviceSession& session, std::uint32_t page, std::int32_t option,
                            std::span<const std::uint8_t> content, std::uint8_t* results) {
  std::fill_n(session.dataBuffer, kDataBufferSize, std::uint8_t{0xFF});
  std::copy(content.begin(), content.end(), session.dataBuffer);
  return WriteAndCheck(session, page, std::span(session.dataBuffer, kIdentityPageBytes), option,
                       results);
}

// What the log and the caller hear of one identity page; nullopt when it went in.
std::optional<int> IdentityPageEnd(DeviceSession& session, BurnEvents& events,
                                   const PageWrite& write, std::uint32_t page) {
  switch (write.step) {
    case WriteStep::kAdvance: return std::nullopt;
    case WriteStep::kLinkLost: return kPageLinkLost;
    case WriteStep::kVerifyFailed:
      LogBoardLine(events, session, PrintfText(kLogVerifyFailed, "nand.bin", static_cast<int>(page)));
      return kPageVerifyFailed;
    case WriteStep::kSkipBlock:
    case WriteStep::kImageError: break;
  }
  LogBoardPages(events, session, kLogIdentityPageFailed, page);
  return kPageNotWritten;
}

}  // namespace

std::uint8_t Crc8Maxim(std::span<const std::uint8_t> bytes) {
  std::uint8_t crc = 0;
  for (const std::uint8_t b : bytes) crc = kCrc8Table[crc ^ b];
  return crc;
}

Uid BuildUid(const LocalTime& time, std::uint16_t random1, std::uint16_t random2,
             std::uint16_t random3) {
  Uid uid{};
  PutBe16(uid, 0, time.year);
  uid[2] = static_cast<std::uint8_t>(time.month);
  uid[3] = static_cast<std::uint8_t>(time.day);
  uid[4] = static_cast<std::uint8_t>(time.hour);
  uid[5] = static_cast<std::uint8_t>(time.minute);
  uid[6] = static_cast<std::uint8_t>(time.second);
  PutBe16(uid, 7, time.millisecond);
  PutBe16(uid, 9, random1);
  PutBe16(uid, 11, random2);
  PutBe16(uid, 13, random3);
  uid[15] = Crc8Maxim(std::span(uid).first(15));
  return uid;
}

UidText FormatUidText(const Uid& u) {
  char text[64];
  std::snprintf(text, sizeof text,
                "nandUID: %02x%02x %02x%02x %02x%02x %02x%02x %02x%02x %02x%02x %02x%02x %02x%02x",
                u[0], u[1], u[2], u[3], u[4], u[5], u[6], u[7], u[8], u[9], u[10], u[11], u[12],
                u[13], u[14], u[15]);
  return UidText(text);
}

void MakeUid(Host& host, std::uint8_t out[kUidSize], UidText& text) {
  const LocalTime now = host.GetLocalTime();
  // Boards of one scan, and of other stations on the line, reach this point in the
  // same millisecond; only the system's random source keeps their IDs apart.
  std::array<std::uint8_t, 6> random{};
  host.RandomBytes(random);
  const auto value = [&random](std::size_t i) {
    return static_cast<std::uint16_t>(random[2 * i] << 8 | random[2 * i + 1]);
  };
  const Uid uid = BuildUid(now, value(0), value(1), value(2));
  std::copy(uid.begin(), uid.end(), out);
  text = FormatUidText(uid);
}

PageWrite WriteInfoPage(DeviceSession& session, std::uint32_t page, std::int32_t option,
                        std::uint8_t* okFlags) {
  std::array<std::uint8_t, 12> info{};
  PutLe32(info, 0, session.pageSize);
  PutLe32(info, 4, session.spareSize);
  PutLe32(info, 8, ChipPagesPerBlock(session));
  // The write's own result table is the caller's flag: a failure clears it.
  return WriteIdentityPage(session, page, option, info, okFlags);
}

PageWrite WriteUidPage(DeviceSession& session, std::uint32_t page, std::int32_t option,
                       std::uint8_t* okFlags) {
  std::array<std::uint8_t, 256> results{};
  const PageWrite write = WriteIdentityPage(session, page, option, session.uid, results.data());
  if (write.step == WriteStep::kAdvance) okFlags[0] = 1;
  return write;
}

IdentityWrite WriteIdentityPages(DeviceSession& session, BurnEvents& events) {
  struct IdentityPage {
    std::uint32_t page;
    bool isInfo;
    std::string_view logLine;
  };
  constexpr std::array<IdentityPage, 3> kPages{{{kInfoPage1, true, kLogInfo1Written},
                                                {kInfoPage2, true, kLogInfo2Written},
                                                {kUidPage, false, kLogUidWritten}}};
  // Model 0 boards get no information pages, and their ID page goes with the option
  // their nand.bin went with.
  const bool model0 = session.cpuModel == kModelQx7120;
  std::array<std::uint8_t, 256> okFlags{};
  for (std::size_t i = model0 ? 2 : 0; i < kPages.size(); ++i) {
    const IdentityPage& p = kPages[i];
    const std::int32_t option = model0 && !p.isInfo ? kOptionNoOobModel0 : kOptionNoOob;
    const PageWrite write = p.isInfo ? WriteInfoPage(session, p.page, option, okFlags.data())
                                     : WriteUidPage(session, p.page, option, okFlags.data());
    if (const auto ended = IdentityPageEnd(session, events, write, p.page)) return {*ended, p.page};
    LogBoardPages(events, session, p.logLine, p.page);
  }
  return {kPageWritten, 0};
}

}  // namespace korvex
