// A claimed port against simulated boards that already run stage 2: the zone writer
// and the identity pages on their own, then whole burns, judged by
// the request trace, the NAND bytes, the log, the progress rows and the messages.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/line_job.h"
#include "app/port_progress.h"
#include "app/port_workers.h"
#include "boot/boot_record.h"
#include "boot/station_model.h"
#include "device/device_open.h"
#include "host/paths.h"
#include "nand/burn_board.h"
#include "nand/read_back.h"
#include "nand/chip_lookup.h"
#include "nand/identity_pages.h"
#include "nand/image_zone.h"
#include "nandtable/nand_cfg.h"
#include "records/record_json.h"
#include "records/record_keeper.h"
#include "records/sha256.h"
#include "station/production_log.h"
#include "null_host.h"
#include "recording_host.h"
#include "sim_board_fixture.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;
using Blocks = std::vector<std::uint32_t>;
using testing::Pattern;
constexpr WindowHandle kWindow = 0x4711;
constexpr std::int32_t kPort = 2;
constexpr std::size_t kNoImage = kImageCount;
constexpr std::uint32_t kPage = 2048;
constexpr std::uint32_t kBlock = 64 * kPage;

struct Row {
  std::uint32_t type;
  std::intptr_t value;
  bool operator==(const Row&) const = default;
};

// What a burn reported, in order; `onProgress` plays the station's part in between.
struct RecordedEvents final : BurnEvents {
  void Progress(ProgressType type, std::intptr_t value) override {
    rows.push_back({type, value});
    if (onProgress) onProgress(type, value);
  }
  void Log(std::string_view line) override { lines.emplace_back(line); }
  void Counted() override { ++counted; }
  void UidMade(const Uid& made, std::string_view text) override { uid = made, uidText = text; }
  void ImageDone(const ImageWritten& written) override { images.push_back(written); }
  void ChipIdentified(const DeviceSession&) override {}
  void Ended(BurnEnd ending, const DeviceSession&) override { end = ending, ++ends; }
  bool Unplugged() override { return unplugged; }
  void Clear() {
    rows.clear(), lines.clear(), uidText.clear();
    counted = 0, uid = {}, end = BurnEnd::kNone, ends = 0, unplugged = false, images.clear();
  }

  std::vector<Row> rows;
  Lines lines;
  int counted = 0;
  Uid uid{};
  std::string uidText;
  std::vector<ImageWritten> images;
  BurnEnd end = BurnEnd::kNone;
  int ends = 0;
  bool unplugged = false;
  std::function<void(ProgressType, std::intptr_t)> onProgress;
};

sim::FaultPlan Fails(Blocks programFail, Blocks bad = {}) {
  sim::FaultPlan plan;
  plan.programFailBlocks = std::move(programFail);
  plan.badBlocks = std::move(bad);
  return plan;
}

class PortBurn : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(EnsureNandTable(host_));
    events_.onProgress = [this](ProgressType type, std::intptr_t value) {
      if (type == kProgressLabel) label_ = static_cast<std::size_t>(value);
      // The station's part when a board goes away in the middle of an image.
      if (type == kProgressImage && label_ == unplugDuring_ && sim_.IsPlugged(0)) {
        sim_.Unplug(0);
        events_.unplugged = noticeUnplug_;
      }
    };
    // Only the station's own worker talks to the window.
    sim_.SetWindowProcedure([this](WindowHandle window, std::uint32_t, std::uintptr_t wParam,
                                   std::intptr_t lParam) {
      EXPECT_EQ(window, kWindow);
      EXPECT_EQ(static_cast<std::int32_t>(wParam & 0xFF), port_);
      windowRows_.push_back({static_cast<std::uint32_t>(wParam >> 16), lParam});
      return std::intptr_t{0};
    });
  }
  void TearDown() override { ResetPortRecords(); }

  // A board of `model` (a chip of 2048-byte pages in 128 KiB blocks unless given),
  // claimed on `port` as the scan does.
  PortContext& Claim(int model, sim::FaultPlan faults = {}, sim::ChipSpec chip = {},
                     std::int32_t port = kPort) {
    const std::filesystem::path config =
        ModelFilePath(host_, kCpuModels[static_cast<std::size_t>(model)], kConfig2KFileName);
    testing::WriteText(config, "[PLL]\nEXTCLK 12\nCPUSPEED 336\nPHMDIV 3\n[SDRAM]\nBUSWIDTH 32\n"
                               "BANKS 4\n[NAND]\nPAGESIZE 2048\nPAGEPERBLOCK 64\nOOBSIZE 64\n[END]\n");
    sim::BoardSpec board;
    board.model = model;
    board.chip = chip;
    board.faults = std::move(faults);
    board.startInStage2 = true;
    sim_.Plug(0, board);
    port_ = port;
    PortContext& context = g_portContexts[static_cast<std::size_t>(port)];
    context.BindFixedSessionFields(host_);
    context.session.port = static_cast<std::uint8_t>(port);
    context.session.devicePath.Assign(sim_.SymbolicLinkOf(0));
    context.session.cpuModel = model;
    context.session.model = kCpuModels[static_cast<std::size_t>(model)];
    context.settings.hwndMain = kWindow;
    context.settings.port = port;
    events_.Clear();
    return context;
  }
  // The session as a burn holds it before nand.bin: chip known, 2048-byte view sent.
  DeviceSession& Ready(PortContext& context) {
    DeviceSession& s = context.session;
    s.targetEnable[0] = 1;
    EXPECT_EQ(OpenDevice(s), kOpenOk);
    EXPECT_EQ(LookupNandPart(s), ChipLookup::kFound);
    EXPECT_EQ(Init_CFG(ModelFilePath(s, kConfig2KFileName), s), kConfigSent);
    sim_.ClearTrace(0);
    return s;
  }
  std::filesystem::path File(std::string_view name, const Bytes& data) {
    testing::WriteBytes(dir_.path() / name, data);
    return dir_.path() / name;
  }
  int Write(DeviceSession& s, ImageId image, const Bytes& data) {
    SelectZone(s, image);
    ok_.fill(0xEE);
    return WriteImageZone(s, kImageZones[image].firstPage, kOptionNoOob, ok_.data(),
                          File("image.bin", data), events_, report_);
  }
  Bytes Image(PortContext& context, ImageId image, std::size_t size) {
    const Bytes data = Pattern(size, static_cast<std::uint8_t>(image * 31 + 1));
    context.settings.imagePaths[JobSlotOf(image)].Assign(PathToUtf8(File(kImageFileNames[image], data)));
    context.settings.includeFlags[JobSlotOf(image)] = 1;
    return data;
  }
  // Opens as the scan does, burns, and checks that the burn closed the handle.
  void Burn(PortContext& context) {
    ASSERT_EQ(OpenDevice(context.session), kOpenOk);
    EXPECT_EQ(BurnBoard(context, events_), 0u);
    EXPECT_FALSE(sim_.CloseDevice(context.session.device.handle));
  }
  Bytes Nand(std::uint64_t page, std::size_t length) const {
    return sim_.ReadNand(0, page * kPage, length);
  }
  // Trace lines that begin with `start`, or the line behind each of them.
  Lines Trace(std::string_view start, bool next = false) const {
    const Lines trace = sim_.TraceText(0);
    Lines found;
    for (std::size_t i = 0; i + next < trace.size(); ++i) {
      if (trace[i].rfind(start, 0) == 0) found.push_back(trace[i + next]);
    }
    return found;
  }
  // This month's log file without the time stamps.
  Lines LogFileLines() {
    const LocalTime time = host_.GetLocalTime();
    Lines lines = testing::ReadLines(dir_.path() / PathFromUtf8(LogFileName(time)));
    for (std::string& line : lines) line.erase(0, LogLinePrefix(time).size());
    return lines;
  }

  testing::TempDir dir_;
  sim::SimHost sim_{1, dir_.path()};
  testing::RecordingHost host_{sim_, dir_.path()};
  std::int32_t port_ = kPort;
  RecordedEvents events_;
  std::vector<Row>& rows_ = events_.rows;
  std::vector<Row> windowRows_;
  std::size_t label_ = kNoImage;
  std::size_t unplugDuring_ = kNoImage + 1;
  bool noticeUnplug_ = true;
  std::array<std::uint8_t, kTargetTableSize> ok_{};
  ZoneReport report_;
};

// A zone is erased whole, then filled block by block; the last write is padded with
// zeros to whole pages and the page behind it stays blank.
TEST_F(PortBurn, ZonesAreErasedWholeAndFilledBlockByBlockWithAPaddedRest) {
  struct {
    ImageId image;
    std::size_t size;
    Lines trace;  // whole, or from its start: the first block and the block count
    Lines writes;
    std::vector<Row> rows;
    std::uint32_t endPage;
  } const cases[] = {
      {kNandBin, 5000, {"req 1 0x0", "req 2 0x10", "req 7 0x5", "read 8", "write 6144", "req 1 0x0", "req 2 0x3",
                        "req 7 0x2017", "read 8"}, {"write 6144"}, {{5, 100}}, 3},
      {kNandBin, 300000, {"req 1 0x0", "req 2 0x10"}, {"write 131072", "write 131072", "write 38912"},
       {{5, 0}, {5, 50}, {5, 100}}, 147},
      {kLoaderBin, 4096, {"req 1 0x10", "req 2 0x4"}, {"write 6144"}, {{5, 100}}, 1027},
      {kResBin, 0, {"req 1 0x308", "req 2 0x2f8"}, {}, {{5, 100}}, 49664},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    DeviceSession& s = Ready(Claim(kModelQx7135));
    const Bytes data = Pattern(c.size, 7);
    ASSERT_EQ(Write(s, c.image, data), kZoneOk);
    const Lines trace = sim_.TraceText(0);
    EXPECT_EQ(c.trace.size() > 2 ? trace : Lines(trace.begin(), trace.begin() + 2), c.trace);
    EXPECT_EQ(Trace("write"), c.writes);
    EXPECT_EQ(rows_, c.rows);
    EXPECT_EQ(ok_[0], 1);
    EXPECT_EQ(report_.endPage, c.endPage);
    const std::uint32_t first = kImageZones[c.image].firstPage;
    const std::size_t padding = (c.endPage - first) * std::size_t{kPage} - c.size;
    EXPECT_EQ(Nand(first, c.size), data);
    EXPECT_EQ(sim_.ReadNand(0, first * std::uint64_t{kPage} + c.size, padding), Bytes(padding, 0));
    EXPECT_EQ(Nand(c.endPage, kPage), Bytes(kPage, 0xFF));
  }
}

// Blocks 16..19 are the loader zone. A factory bad block is skipped by the board; a
// failed write is tried again one block further until a try begins past the zone or
// the board's next page lies past it.
TEST_F(PortBurn, LoaderZoneSkipsUnusableBlocksUntilItIsUsedUp) {
  const Lines toThe1280{"req 1 0x400", "req 1 0x440", "req 1 0x480", "req 1 0x4c0", "req 1 0x500"};
  struct {
    Blocks bad, programFail;
    std::size_t size;
    Lines starts;
    std::uint32_t endPage;
    Lines messages;
  } const cases[] = {
      {{17}, {}, 2 * kBlock, {"req 1 0x400", "req 1 0x440"}, 1216, {}},
      {{}, {17}, 2 * kBlock, {"req 1 0x400", "req 1 0x440", "req 1 0x480"}, 1216, {}},
      {{}, {19}, 4 * kBlock, toThe1280, 1344, {std::string(kLoaderZoneUsedUpText)}},
      {{}, {19, 20}, 3 * kBlock + 1000, toThe1280, 1280, {std::string(kLoaderZoneUsedUpInTailRetryText)}},
      {{}, {19}, 3 * kBlock + 1000, toThe1280, 1281, {std::string(kLoaderZoneUsedUpText)}},
  };
  for (const auto& c : cases) {
    DeviceSession& s = Ready(Claim(kModelQx7135, Fails(c.programFail, c.bad)));
    host_.ClearMessages();
    const Bytes data = Pattern(c.size, 3);
    ASSERT_EQ(Write(s, kLoaderBin, data), kZoneOk);
    EXPECT_EQ(Trace("write", true), c.starts);
    EXPECT_EQ(report_.endPage, c.endPage);
    EXPECT_EQ(ok_[0], c.messages.empty() ? 1 : 0);
    EXPECT_EQ(host_.MessageTexts(), c.messages);
    if (c.messages.empty()) {
      EXPECT_EQ(Nand(1152, kBlock), Bytes(data.begin() + kBlock, data.end()));
    }
  }
}

TEST(UniqueIdTest, CrcAndBytesOfAKnownMoment) {
  const std::string_view abc = "abc", digits = "123456789";
  EXPECT_EQ(Crc8Maxim(Bytes(abc.begin(), abc.end())), 0x42);
  EXPECT_EQ(Crc8Maxim(Bytes(digits.begin(), digits.end())), 0xA1);
  const Uid uid = BuildUid({2010, 3, 5, 14, 7, 9, 123, 5}, 0x1234, 0x0056, 0x7FFF);
  EXPECT_EQ(uid, (Uid{0x07, 0xDA, 0x03, 0x05, 0x0E, 0x07, 0x09, 0x00, 0x7B, 0x12, 0x34, 0x00,
                      0x56, 0x7F, 0xFF, 0x0C}));
  EXPECT_EQ(FormatUidText(uid).View(), "nandUID: 07da 0305 0e07 0900 7b12 3400 567f ff0c");

  // Two boards making their IDs at the same moment differ in the host's random bytes.
  testing::NullHost inner, reference;
  testing::RecordingHost host(inner, ".");
  Uid first{}, second{};
  UidText firstText, secondText;
  MakeUid(host, first.data(), firstText);
  MakeUid(host, second.data(), secondText);
  Bytes drawn(12);
  reference.RandomBytes(drawn);
  EXPECT_EQ(Bytes(first.begin(), first.begin() + 9), Bytes(second.begin(), second.begin() + 9));
  EXPECT_EQ(Bytes(first.begin() + 9, first.begin() + 15), Bytes(drawn.begin(), drawn.begin() + 6));
  EXPECT_EQ(Bytes(second.begin() + 9, second.begin() + 15), Bytes(drawn.begin() + 6, drawn.end()));
}

TEST_F(PortBurn, Model0GetsOnlyTheIdPageWrittenWithOption3) {
  DeviceSession& s = Ready(Claim(kModelQx7120));
  s.uid = BuildUid({2010, 3, 5, 14, 7, 9, 123, 5}, 1, 2, 3);
  s.uidText = FormatUidText(s.uid);
  EXPECT_EQ(WriteIdentityPages(s, events_).result, kPageWritten);
  EXPECT_EQ(Trace("req 1"), Lines{"req 1 0x3f"});
  EXPECT_EQ(Trace("req 7"), Lines{"req 7 0x3017"});
  EXPECT_EQ(Nand(63, 16), Bytes(s.uid.begin(), s.uid.end()));
  EXPECT_EQ(Nand(63, 17)[16], 0xFF);
  EXPECT_EQ(events_.lines, Lines{std::string(s.uidText.View()) + ": Write UID to page 63 finished!"});
}

TEST_F(PortBurn, AFullBurnFillsEveryZoneAndLogsEachStep) {
  PortContext& context = Claim(kModelQx7135);
  const std::size_t sizes[kImageCount] = {5000, 3000, 1000, 140000, 10, 6144};
  std::vector<Bytes> images;
  for (std::size_t i = 0; i < kImageCount; ++i) images.push_back(Image(context, ImageId(i), sizes[i]));
  Burn(context);

  for (std::size_t i = 0; i < kImageCount; ++i) {
    EXPECT_EQ(Nand(kImageZones[i].firstPage, sizes[i]), images[i]) << kImageFileNames[i];
  }
  const RecordedEvents& run = events_;
  EXPECT_EQ(Bytes(run.uid.begin(), run.uid.begin() + 9),  // the host's 2010-03-04 09:05:07.042
            (Bytes{0x07, 0xDA, 3, 4, 9, 5, 7, 0, 42}));
  EXPECT_EQ(run.uidText, FormatUidText(run.uid).View());
  EXPECT_EQ(Nand(63, 16), Bytes(run.uid.begin(), run.uid.end()));
  Lines expected{": Update nand.bin succeeded!", ": nand.bin Page from 0 to 3.",
                 ": Write nand ifo1 to page 61 finished!", ": Write nand info2 to page 62 finished!",
                 ": Write UID to page 63 finished!", ": Update loader.bin succeeded!",
                 ": loader.bin Page from 1024 to 1026.", ": Update def_boot.bin succeeded!",
                 ": def_boot.bin Page from 1280 to 1281.", ": Update img_boot.bin succeeded!",
                 ": img_boot.bin Page from 1536 to 1605.", ": Update minios.bin succeeded!",
                 ": minios.bin Page from 25088 to 25089.", ": Update res.bin succeeded!",
                 ": res.bin Page from 49664 to 49668.", ": system reset!"};
  for (std::string& line : expected) line.insert(0, run.uidText);
  EXPECT_EQ(run.lines, expected);
  EXPECT_EQ(rows_, (std::vector<Row>{{3, 0}, {3, 50}, {3, 100}, {2, 0}, {4, 0}, {5, 100}, {2, 0},
                                     {4, 1}, {5, 100}, {2, 0}, {4, 2}, {5, 100}, {2, 0}, {4, 3},
                                     {5, 0}, {5, 100}, {2, 0}, {4, 4}, {5, 100}, {2, 0}, {4, 5},
                                     {5, 100}}));
  EXPECT_EQ(Trace("req 0 0x0").size(), 2u);  // the boot's and the burn's identification
  EXPECT_EQ(run.counted, 1);
  EXPECT_EQ(run.end, BurnEnd::kBurned);
  EXPECT_TRUE(sim_.WasReset(0));
  EXPECT_EQ(host_.MessageTexts(), Lines{});
}

// A job's checks before anything is written: an image changed since the pre-flight,
// then hook_before saying no or not answering; each ends the board with its code and
// the operator's box, nothing written and no reset. A board that passes burns, and
// hook_after gets its record as the file holds it, or is told as failed.
TEST_F(PortBurn, AJobRefusesChangedImagesAndWhatItsHooksRefuseBeforeAnyWrite) {
  PortContext& context = Claim(kModelQx7135);
  Image(context, kNandBin, 5000);
  JobFile file;
  file.name = "R1";
  file.advanced = true;
  file.folder = dir_.path();
  file.given[kNandBin] = PathToUtf8(dir_.path() / "nand.bin");
  ResolveJobImages(file);
  std::uint64_t size = 0;
  ASSERT_TRUE(HashFile(file.paths[kNandBin], size, file.sha256[kNandBin]));
  const auto keeper = std::make_shared<RecordKeeper>(dir_.path(), "LINE3");
  keeper->SetIdentity({JobText("R1"), JobText("L7"), JobText("W9"), JobText("Ann")});
  constexpr std::uint32_t kAnswers = 300'000;  // a hook that answers does so long before, however loaded the machine
  const auto run = [&](const std::string& before, const std::string& after, std::uint32_t timeoutMs,
                       const std::function<void()>& afterPreflight = {}) {
    file.hookBefore = before, file.hookAfter = after, file.hookTimeoutMs = timeoutMs;
    file.hookTimeoutText = std::to_string(timeoutMs / 1000.0).substr(0, 3);
    LineJob job(file, keeper->identity(), "LINE3");
    EXPECT_EQ(job.PinImages(), Lines{});
    if (afterPreflight) afterPreflight();
    SetActiveLineJob(&job);
    Claim(kModelQx7135);
    host_.ClearMessages();
    g_portRuns[kPort].workerRunning = true;
    g_portSlots[kPort].state = kPortWorkerStarted;
    EXPECT_EQ(OpenDevice(context.session), kOpenOk);
    HandRecordsToPort(kPort, keeper);
    EXPECT_TRUE(host_.StartThread(ThreadFunc0, &context));
    sim_.JoinThreads();
    SetActiveLineJob(nullptr);
    // The worker reports its end to the window and lets the port go.
    EXPECT_EQ(windowRows_.back(), (Row{kProgressReset, 0}));
    EXPECT_FALSE(g_portRuns[kPort].workerRunning);
    return g_portRuns[kPort].end.load();
  };
  const auto nothingWritten = [&] {
    EXPECT_EQ(sim_.NandHighWater(0), 0u);
    EXPECT_FALSE(sim_.WasReset(0));
  };

  EXPECT_EQ(run("cat > board.json; echo 'work order W9 is closed' >&2; echo more >&2; exit 3", "", kAnswers),
            BurnEnd::kHookRefused);
  EXPECT_EQ(host_.MessageTexts(), Lines{"work order W9 is closed"});
  nothingWritten();
  const auto recordLines = [&] { return testing::ReadLines(dir_.path() / "records-2010-03.jsonl"); };
  BoardRecord record;
  ASSERT_TRUE(ParseRecordJson(recordLines().at(0), record));
  EXPECT_EQ(record.reason, BurnEnd::kHookRefused);
  EXPECT_EQ(record.message.View(), "work order W9 is closed");
  EXPECT_EQ(record.identity.operatorName.View(), "Ann");
  std::string uid;
  AppendHex(uid, record.uid);
  EXPECT_EQ(testing::ReadLines(dir_.path() / "board.json"),
            Lines{R"({"port":3,"uid":")" + uid + R"(","uidText":")" + std::string(record.uidText.View()) +
                  R"(","chip":{"mainId":"ecd3","extId":"589551","part":"SAMSUNG_K9K8G08U0A","pageSize":2048,)"
                  R"("blockSize":131072,"spareSize":64,"blocks":8192},"job":"R1","lot":"L7","workOrder":"W9",)"
                  R"("operator":"Ann","station":"LINE3"})"});

  EXPECT_EQ(run("sleep 5", "", 200), BurnEnd::kHookRefused);
  EXPECT_EQ(host_.MessageTexts(), Lines{"no answer within 0.2 s"});
  nothingWritten();

  EXPECT_EQ(run("exit 0", "cat > record.json", kAnswers), BurnEnd::kBurned);
  const Lines records = recordLines();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(testing::ReadLines(dir_.path() / "record.json"), Lines{records.back()});

  std::vector<std::string> told;
  SetHookFailureObserver([](void* target, int port, std::string_view text) {
    static_cast<std::vector<std::string>*>(target)->push_back(std::to_string(port) + " " + std::string(text));
  }, &told);
  EXPECT_EQ(run("", "exit 5", kAnswers), BurnEnd::kBurned);
  SetHookFailureObserver(nullptr, nullptr);
  EXPECT_EQ(told, Lines{"2 hook_after failed for port 3: hook_after exited with code 5"});
  EXPECT_EQ(LogFileLines().back(), "hook_after failed for port 3: hook_after exited with code 5");

  // The image changes after the pre-flight: the next board is refused before its hook.
  EXPECT_EQ(run("echo not asked > asked", "", kAnswers, [&] { testing::WriteBytes(file.paths[kNandBin], Pattern(5001, 9)); }),
            BurnEnd::kImageChanged);
  ASSERT_EQ(host_.MessageTexts().size(), 1u);
  EXPECT_TRUE(host_.MessageTexts()[0].starts_with("nand.bin changed during the shift: " +
                                                  PathToUtf8(file.paths[kNandBin]) + " now has SHA-256 "));
  nothingWritten();
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "asked"));
}

// Model 1 is not asked for its CPU again, and without nand.bin no ID is made.
TEST_F(PortBurn, Model1BurnsLoaderAloneWithoutAnIdOrASecondIdentification) {
  PortContext& context = Claim(kModelQx7130);
  Image(context, kLoaderBin, 3000);
  Burn(context);
  EXPECT_EQ(events_.lines, (Lines{": Update loader.bin succeeded!", ": loader.bin Page from 1024 to 1026.",
                                  ": system reset!"}));
  EXPECT_EQ(Nand(63, 16), Bytes(16, 0xFF));
  EXPECT_EQ(Trace("req 0 0x0").size(), 1u);
}

// An unknown chip: the lookup's message, then the burn's; nothing counted or written.
TEST_F(PortBurn, AnUnknownChipEndsTheBurnBeforeItIsCounted) {
  PortContext& context = Claim(kModelQx7135, {}, {0x1234, 0, sim::ChipGeometry{}});
  Image(context, kNandBin, 100);
  Burn(context);
  EXPECT_EQ(host_.MessageTexts(), (Lines{"Flash: ID=0x1234, ExtID=0. Use default para burning!",
                                         "Please check nand_cfg.h file!"}));
  EXPECT_EQ(host_.Messages().back().port, kPort);
  EXPECT_EQ(events_.counted, 0);
  EXPECT_EQ(events_.end, BurnEnd::kChipUnknown);
  EXPECT_EQ(sim_.NandHighWater(0), 0u);
  EXPECT_FALSE(sim_.WasReset(0));
}

// A zone without good blocks is the zone's message and a write error; a board that
// goes away is its image's disconnected line and nothing else, whether the station
// noticed first or the next exchange failed at the host.
TEST_F(PortBurn, ImgBootEndsTheBurnWhenItsZoneIsUsedUpOrTheBoardGoesAway) {
  Blocks wholeZone;
  for (std::uint32_t block = 24; block < 392; ++block) wholeZone.push_back(block);
  struct {
    bool unplug, noticed;
    Lines messages;
    std::string_view line;
    BurnEnd end;
  } const cases[] = {
      {false, false, {std::string(kImgBootZoneUsedUpText)}, ": img_boot.bin write Error!", BurnEnd::kZoneFull},
      {true, true, {}, ": img_boot.bin disconnected!", BurnEnd::kUnplugged},
      {true, false, {}, ": img_boot.bin disconnected!", BurnEnd::kLinkLost},
  };
  for (const auto& c : cases) {
    PortContext& context = Claim(kModelQx7135, Fails(c.unplug ? Blocks{} : wholeZone));
    Image(context, kNandBin, 5000);
    Image(context, kImgBootBin, 140000);
    const Bytes minios = Image(context, kMiniosBin, 10);
    unplugDuring_ = c.unplug ? kImgBootBin : kNoImage + 1;
    noticeUnplug_ = c.noticed;
    host_.ClearMessages();
    Burn(context);
    EXPECT_EQ(host_.MessageTexts(), c.messages);
    EXPECT_EQ(events_.lines.back(), events_.uidText + std::string(c.line));
    EXPECT_EQ(std::ranges::count(sim_.TraceText(0), "req 1 0x188"), 0);  // no minios.bin erase
    EXPECT_NE(Nand(25088, minios.size()), minios);
    EXPECT_FALSE(sim_.WasReset(0));
    EXPECT_EQ(events_.counted, 1);
    EXPECT_EQ(events_.end, c.end);
    EXPECT_EQ(events_.ends, 1);
  }
}

// An image that changed after the pre-flight and takes its whole zone even without a
// bad block is an image error, told as one, before its zone is touched.
TEST_F(PortBurn, AnImageThatOutgrewItsZoneIsAnImageErrorNeverUsedUpBlocks) {
  PortContext& context = Claim(kModelQx7135);
  Image(context, kLoaderBin, 512 * 2048);  // the zone's 512 pages, and the page a whole file adds
  Burn(context);
  EXPECT_EQ(host_.MessageTexts(), Lines{"loader.bin grew to 1048576 bytes after the start; it no longer fits its zone"});
  EXPECT_EQ(events_.lines.back(), events_.uidText + ": loader.bin write Error!");
  EXPECT_EQ(events_.end, BurnEnd::kOpenFailed);
  EXPECT_EQ(Nand(1024, 16), Bytes(16, 0xFF));
}

// With verification each write is read back: a block the firmware stepped over or a
// failed write retried further still verifies; a page that reads back different ends
// the board with its own message and line, never as a used-up zone.
TEST_F(PortBurn, VerifiedWritesAllowSkippedBlocksAndCatchACorruptPage) {
  struct {
    sim::FaultPlan faults;
    BurnEnd end;
    std::string_view message;  // empty: none
    std::string_view line;     // the log's last line, behind the ID
    std::uint32_t loaderSkipped;
    std::uint32_t secondBlockPage = 0;  // where loader.bin's second block went
  } const cases[] = {
      {Fails({}, {17}), BurnEnd::kBurned, "", ": system reset!", 1, 1152},  // skipped by the board
      {Fails({18}), BurnEnd::kBurned, "", ": system reset!", 1, 1088},      // the rest retried at 19
      {[] { sim::FaultPlan p; p.corruptPage = 1100; return p; }(), BurnEnd::kVerifyMismatch,
       "loader.bin verify failed: page 1100 reads back different from what was written!",
       ": loader.bin verify Error at page 1100!", 0},
      {[] { sim::FaultPlan p; p.corruptPage = 62; return p; }(), BurnEnd::kVerifyMismatch,
       "nand.bin verify failed: page 62 reads back different from what was written!",
       ": nand.bin verify Error at page 62!", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    PortContext& context = Claim(kModelQx7135, c.faults);
    context.EnableVerify(true);
    Image(context, kNandBin, 5000);
    const Bytes loader = Image(context, kLoaderBin, 2 * kBlock + 1000);
    host_.ClearMessages();
    Burn(context);
    EXPECT_EQ(events_.end, c.end);
    EXPECT_EQ(host_.MessageTexts(), c.message.empty() ? Lines{} : Lines{std::string(c.message)});
    if (c.end == BurnEnd::kBurned) {
      ASSERT_EQ(events_.images.size(), 2u);
      EXPECT_TRUE(events_.images[1].verified);
      EXPECT_EQ(events_.images[1].blocksSkipped, c.loaderSkipped);
      EXPECT_EQ(Nand(c.secondBlockPage, kBlock), Bytes(loader.begin() + kBlock, loader.begin() + 2 * kBlock));
    }
    EXPECT_EQ(events_.lines.back(), events_.uidText + std::string(c.line));
  }
}

// READ on a chip of 4096-byte pages: each page asked for by its own number, two pages
// read and one kept, a row per page, the board reset and its handle closed.
TEST_F(PortBurn, ReadBackCopiesPagesInTheChipsRealGeometry) {
  PortContext& context = Claim(kModelQx7135, {}, {0xECD5, 0x74B614, std::nullopt}, kReadBackPort);
  const Bytes pages = Pattern(5 * 4096, 3);
  sim_.WriteNand(0, 100 * 4096, pages);
  const std::filesystem::path output = dir_.path() / "pages.bin";
  context.settings.imagePaths[JobSlotOf(kNandBin)].Assign(PathToUtf8(output));
  context.settings.fromPage = 100;
  context.settings.toPage = 104;
  ReadBackPages(context, events_);

  EXPECT_EQ(testing::ReadBytes(output), Bytes(pages.begin(), pages.end() - 4096));
  EXPECT_EQ(rows_, (std::vector<Row>{{1, 25}, {1, 50}, {1, 75}, {1, 100}, {2, 100}}));
  EXPECT_EQ(Trace("req 1 "), (Lines{"req 1 0x64", "req 1 0x65", "req 1 0x66", "req 1 0x67"}));
  EXPECT_EQ(Trace("read 8192").size(), 4u);
  EXPECT_TRUE(sim_.WasReset(0));
  EXPECT_FALSE(sim_.CloseDevice(context.session.device.handle));
}

}  // namespace
}  // namespace korvex
