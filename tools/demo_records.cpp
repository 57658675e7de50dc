#include "tools/demo_records.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "device/cpu_model.h"
#include "host/seeded_random.h"
#include "nand/burn_texts.h"
#include "nand/identity_pages.h"
#include "nand/image_zone.h"
#include "nand/nand_texts.h"
#include "records/sha256.h"

namespace korvex {
namespace {

struct DemoPart {
  const char* name;
  std::uint16_t mainId;
  std::uint32_t extId;
  std::uint32_t pageSize, blockSize, spareSize, blocks;
  double share;           // of the boards
  double badBlocksMean;   // blocks stepped over per board
};
constexpr std::array<DemoPart, 3> kParts{{
    {"SAMSUNG_K9F1G08U0M", 0xECF1, 0x801540, 2048, 128 * 1024, 64, 1024, 0.5, 0.4},
    {"HYNIX_HY27UF081G2M", 0xADF1, 0x801D00, 2048, 128 * 1024, 64, 1024, 0.3, 1.2},
    {"Micr_MT29F16G08MAA", 0x2CD5, 0x943E74, 4096, 512 * 1024, 218, 4096, 0.2, 4.5},
}};

// Images of normal mode, in burn order, with their sizes.
struct DemoImage {
  ImageId image;
  std::uint64_t size;
};
constexpr std::array<DemoImage, 5> kImages{{{kNandBin, 6144},
                                            {kLoaderBin, 5632},
                                            {kImgBootBin, 141312},
                                            {kMiniosBin, 18432},
                                            {kResBin, 9216}}};

class Dice {
 public:
  explicit Dice(std::uint64_t seed) : random_(seed) {}
  double Uniform() {
    std::array<std::uint8_t, 4> bytes{};
    random_.Fill(bytes);
    const std::uint32_t v = std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                            std::uint32_t{bytes[2]} << 8 | bytes[3];
    return (static_cast<double>(v) + 0.5) / 4294967296.0;
  }
  double Normal(double mean, double deviation) {
    constexpr double kTwoPi = 6.283185307179586;
    return mean + deviation * std::sqrt(-2 * std::log(Uniform())) * std::cos(kTwoPi * Uniform());
  }
  std::uint32_t Poisson(double mean) {
    std::uint32_t k = 0;
    for (double p = Uniform(); p > std::exp(-mean); p *= Uniform()) ++k;
    return k;
  }
  std::uint16_t Word() { return static_cast<std::uint16_t>(Uniform() * 65536); }

 private:
  SeededRandom random_;
};

LocalTime AddMilliseconds(LocalTime t, std::uint64_t ms) {
  // The demo never crosses midnight: a shift ends in the evening.
  std::uint64_t total = ((t.hour * 60ull + t.minute) * 60 + t.second) * 1000 + t.millisecond + ms;
  t.millisecond = static_cast<std::uint16_t>(total % 1000), total /= 1000;
  t.second = static_cast<std::uint16_t>(total % 60), total /= 60;
  t.minute = static_cast<std::uint16_t>(total % 60), total /= 60;
  t.hour = static_cast<std::uint16_t>(std::min<std::uint64_t>(total, 23));
  return t;
}

LocalTime NextDay(LocalTime t) {
  constexpr std::uint16_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
  const std::uint16_t length = t.month == 2 && leap ? 29 : kDays[t.month - 1];
  if (++t.day > length) {
    t.day = 1;
    if (++t.month > 12) t.month = 1, ++t.year;
  }
  return t;
}

// How a board ends, drawn from its port's troubles and its chip.
BurnEnd DrawOutcome(Dice& dice, std::size_t port, std::uint32_t badBlocks) {
  if (badBlocks > 9) return BurnEnd::kZoneFull;
  const double u = dice.Uniform();
  if (port == 5) {  // the worn cable
    if (u < 0.06) return BurnEnd::kLinkLost;
    if (u < 0.10) return BurnEnd::kUnplugged;
  }
  if (port == 2 && u < 0.05) return BurnEnd::kBootFailed;
  const double v = dice.Uniform();
  if (v < 0.010) return BurnEnd::kBootFailed;
  if (v < 0.018) return BurnEnd::kVerifyMismatch;
  if (v < 0.024) return BurnEnd::kUnplugged;
  if (v < 0.028) return BurnEnd::kChipUnknown;
  if (v < 0.031) return BurnEnd::kConfigFailed;
  if (v < 0.033) return BurnEnd::kOpenFailed;
  return BurnEnd::kBurned;
}

std::string WithoutColon(std::string_view logText) {
  return std::string(logText.starts_with(": ") ? logText.substr(2) : logText);
}

using ImageDigests = std::array<Sha256Digest, kImages.size()>;

ImageDigests DemoDigests() {
  ImageDigests digests{};
  for (std::size_t i = 0; i < kImages.size(); ++i) {
    Sha256 hash;
    hash.Update("demo image " + std::string(kImageFileNames[kImages[i].image]));
    digests[i] = hash.Final();
  }
  return digests;
}

const DemoPart& DrawPart(Dice& dice) {
  double u = dice.Uniform();
  for (const DemoPart& p : kParts) {
    if ((u -= p.share) < 0) return p;
  }
  return kParts.back();
}

// How far the burn got: before the chip, before the images, or into them.
struct DemoProgress {
  bool booted = false;
  bool chipKnown = false;
  std::size_t imagesTried = 0;
  std::size_t failingImage = kImages.size();
};

DemoProgress DrawProgress(Dice& dice, BurnEnd reason) {
  DemoProgress p;
  p.booted = reason != BurnEnd::kBootFailed;
  p.chipKnown = p.booted && reason != BurnEnd::kChipUnknown;
  if (p.chipKnown && reason != BurnEnd::kConfigFailed) {
    p.failingImage = reason == BurnEnd::kBurned ? kImages.size()
                                                : static_cast<std::size_t>(dice.Uniform() * kImages.size());
    if (reason == BurnEnd::kZoneFull) p.failingImage = 2;  // img_boot.bin's zone is the big one
    p.imagesTried = std::min(p.failingImage + 1, kImages.size());
  }
  return p;
}

// The images the burn got to, from `clock` on; their time is added to `seconds`.
void AddDemoImages(Dice& dice, BoardRecord& r, const DemoPart& part, const DemoProgress& progress,
                   std::uint32_t badBlocks, const ImageDigests& digests, LocalTime clock, double& seconds) {
  std::uint32_t skippedLeft = badBlocks;
  for (std::size_t i = 0; i < progress.imagesTried; ++i) {
    const ImageZone& zone = kImageZones[kImages[i].image];
    ImageRecord& m = *AddImage(r, "D:/line/images/" + std::string(kImageFileNames[kImages[i].image]));
    m.size = kImages[i].size, m.sha256 = digests[i], m.hashed = true;
    const std::uint32_t pages = static_cast<std::uint32_t>((m.size + part.pageSize - 1) / part.pageSize);
    const std::uint32_t skipped = i == 2 ? skippedLeft : std::min<std::uint32_t>(skippedLeft, dice.Uniform() < 0.2);
    skippedLeft -= skipped;
    m.blocksSkipped = skipped;
    m.firstPage = zone.firstPage;
    const bool failsHere = i == progress.failingImage;
    m.written = !failsHere || r.reason == BurnEnd::kVerifyMismatch;
    m.endPage = zone.firstPage + (failsHere && !m.written ? pages / 2 : pages) +
                skipped * (part.blockSize / part.pageSize);
    m.verify = !m.written ? VerifyOutcome::kNotRun
               : failsHere ? VerifyOutcome::kMismatch
                           : VerifyOutcome::kPassed;
    seconds += static_cast<double>(m.size) / 4096.0 * 0.35 + skipped * 0.8;
    if (kImages[i].image == kNandBin) {
      const Uid made = BuildUid(clock, dice.Word(), dice.Word(), dice.Word());
      SetUid(r, made, FormatUidText(made).View());
    }
  }
}

// The station's message for how the board ended.
void SetDemoMessage(BoardRecord& r, std::size_t failingImage) {
  const std::string_view image =
      failingImage < kImages.size() ? kImageFileNames[kImages[failingImage].image] : "";
  const std::size_t logIndex =
      failingImage < kImages.size() ? static_cast<std::size_t>(kImages[failingImage].image) : 0;
  switch (r.reason) {
    case BurnEnd::kBootFailed: r.message.Assign(kTextDownloadFailed); break;
    case BurnEnd::kChipUnknown: r.message.Assign(kTextChipUnknown); break;
    case BurnEnd::kConfigFailed: r.message.Assign(kTextImageConfigureFailed); break;
    case BurnEnd::kZoneFull: r.message.Assign(kImgBootZoneUsedUpText); break;
    case BurnEnd::kLinkLost: r.message.Assign(WithoutColon(kImageLogTexts[logIndex].writeError)); break;
    case BurnEnd::kUnplugged: r.message.Assign(WithoutColon(kImageLogTexts[logIndex].unplugged)); break;
    case BurnEnd::kOpenFailed: r.message.Assign(WithoutColon(kImageLogTexts[logIndex].openFailed)); break;
    case BurnEnd::kVerifyMismatch:
      r.message.Assign("read-back of " + std::string(image) + " differs from the image");
      break;
    default: break;
  }
}

// One board on `port` (from 0) that starts at `clock`.
void DrawBoard(Dice& dice, BoardRecord& r, std::size_t port, LocalTime clock, const ImageDigests& digests) {
  r.station.Assign(kDemoStationName);
  r.port = static_cast<std::int32_t>(port) + 1;  // the operator's numbering
  r.model.Assign(kCpuModels[kModelQx7135].comboText);
  r.options = {false, false, false, true};
  r.start = clock;
  r.id.Assign("DEMO-" + std::string(FormatRecordTime(clock).View()) + "-p" + std::to_string(port + 1));

  const DemoPart& part = DrawPart(dice);
  const std::uint32_t badBlocks = dice.Poisson(part.badBlocksMean);
  r.reason = DrawOutcome(dice, port, badBlocks);
  const DemoProgress progress = DrawProgress(dice, r.reason);
  const bool chipKnown = progress.chipKnown;
  if (progress.booted) {  // an unknown chip still has its ID read
    SetChip(r, part.mainId, chipKnown ? part.extId : 0x123456, chipKnown ? part.name : "",
            chipKnown ? part.pageSize : 0, chipKnown ? part.blockSize : 0,
            chipKnown ? part.spareSize : 0, chipKnown ? part.blocks : 0);
  }
  double seconds = 4 + dice.Normal(1.5, 0.4);
  AddDemoImages(dice, r, part, progress, badBlocks, digests, clock, seconds);
  if (r.reason == BurnEnd::kBurned) seconds += dice.Normal(6, 1.5);
  SetDemoMessage(r, progress.failingImage);
  r.durationMs = static_cast<std::uint64_t>(std::max(1.0, seconds) * 1000);
  r.end = AddMilliseconds(clock, r.durationMs);
}

// One day's boards, in the order a station writes them.
std::vector<BoardRecord> DrawDay(Dice& dice, const DemoPlan& plan, LocalTime day, const ImageDigests& digests) {
  std::vector<BoardRecord> today;
  for (std::size_t port = 0; port < kPortCount; ++port) {
    LocalTime clock = day;
    clock.hour = 8, clock.minute = static_cast<std::uint16_t>(port * 3), clock.second = 0;
    for (int board = 0; board < plan.boardsPerPortAndDay; ++board) {
      clock = AddMilliseconds(clock, static_cast<std::uint64_t>(20000 + dice.Uniform() * 90000));
      BoardRecord& r = today.emplace_back();
      DrawBoard(dice, r, port, clock, digests);
      clock = r.end;
    }
  }
  // A station writes each record as its board ends, the ports interleaved.
  std::sort(today.begin(), today.end(), [](const BoardRecord& a, const BoardRecord& b) {
    return FormatRecordTime(a.end).View() < FormatRecordTime(b.end).View();
  });
  return today;
}

}  // namespace

std::size_t WriteDemoRecords(RecordStore& store, const DemoPlan& plan) {
  Dice dice(plan.seed);
  const ImageDigests digests = DemoDigests();
  std::size_t written = 0;
  LocalTime day = plan.firstDay;
  for (int d = 0; d < plan.days; ++d, day = NextDay(day)) {
    for (const BoardRecord& r : DrawDay(dice, plan, day, digests)) written += store.Append(r) ? 1u : 0u;
  }
  return written;
}

}  // namespace korvex
