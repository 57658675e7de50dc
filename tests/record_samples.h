#pragma once
// Board records as a burn would fill them, for the record tests: a host whose clock
// moves on by a millisecond at every look, and one record per call.

#include <atomic>
#include <string_view>

#include "nand/identity_pages.h"
#include "null_host.h"
#include "records/board_record.h"

namespace korvex::testing {

class ClockHost : public NullHost {
 public:
  // 2026-12-03 08:00:00.000 plus one millisecond per call (within the day).
  LocalTime GetLocalTime() override {
    std::uint64_t ms = ticks_++;
    LocalTime t{2026, 12, 3, 8, 0, 0, 0, 4};
    t.millisecond = static_cast<std::uint16_t>(ms % 1000), ms /= 1000;
    t.second = static_cast<std::uint16_t>(ms % 60), ms /= 60;
    t.minute = static_cast<std::uint16_t>(ms % 60), t.hour = static_cast<std::uint16_t>(8 + ms / 60);
    return t;
  }

 private:
  std::atomic<std::uint64_t> ticks_{0};
};

// A record from claim to end, with what a burn learns between them: chip, UID,
// nand.bin and img_boot.bin.
inline void FillSampleRecord(BoardRecord& r, Host& host, std::string_view station, int port,
                             BurnEnd reason, std::string_view message = {}) {
  BeginBoardRecord(r, host, station, port, "Qx7135", {false, true, false, true});
  SetChip(r, 0xECD3, 0x589551, "SAMSUNG_K9F1G08U0B", 2048, 128 * 1024, 64, 2048);
  Uid uid{};
  host.RandomBytes(uid);
  SetUid(r, uid, FormatUidText(uid).View());
  for (const auto& [file, first, end, skipped] :
       {std::tuple{"C:/line/nand.bin", 0u, 3u, 0u}, {"C:/line/img_boot.bin", 1536u, 1669u, 1u}}) {
    ImageRecord& image = *AddImage(r, file);
    image.size = (end - first) * 2048, image.firstPage = first, image.endPage = end;
    image.blocksSkipped = skipped, image.written = true, image.verify = VerifyOutcome::kPassed;
    image.hashed = true, image.sha256[0] = static_cast<std::uint8_t>(first);
  }
  FinishBoardRecord(r, host, reason, message);
}

}  // namespace korvex::testing
