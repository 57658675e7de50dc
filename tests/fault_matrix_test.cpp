// The fault matrix: each fault the simulator knows, at each stage of a burn where it
// means something, on one port of a line of eight. The failing port shows exactly its
// row's message boxes, log lines and end; the seven others burn as on a clean line;
// and once the operator has pulled the board (a scripted event), a board plugged into
// the freed port burns as they did. In process, at memory speed, on a scripted clock.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/burn_counter.h"
#include "app/model_selection.h"
#include "app/station_core.h"
#include "app/port_workers.h"
#include "app/station_close.h"
#include "app/station_settings_model.h"
#include "nandtable/nand_cfg.h"
#include "sim/placeholder_home.h"
#include "sim/sim_host.h"
#include "sim/sim_options.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using Pieces = std::map<std::uint64_t, std::vector<std::uint8_t>>;

constexpr std::uint64_t kPiece = 2048;  // sim::SimHost::NandPieces: one store page a piece
constexpr std::uint64_t kUidOffset = 63 * 2048;     // the ID page, page 63 of nand.bin's zone

// A clean board's lines behind its ID, with the small images below.
const Lines kCleanLog = {
    ": Update nand.bin succeeded!",           ": nand.bin Page from 0 to 10.",
    ": Write nand ifo1 to page 61 finished!", ": Write nand info2 to page 62 finished!",
    ": Write UID to page 63 finished!",       ": Update loader.bin succeeded!",
    ": loader.bin Page from 1024 to 1122.",   ": Update img_boot.bin succeeded!",
    ": img_boot.bin Page from 1536 to 1683.", ": Update minios.bin succeeded!",
    ": minios.bin Page from 25088 to 25123.", ": Update res.bin succeeded!",
    ": res.bin Page from 49664 to 49733.",    ": system reset!"};
// A board gone mid-boot: the boot's own boxes on the way, then a lost link, never the
// burn's "download failed" box that blames the files.
const Lines kBootRomGone = {"QX7120_USB_SET_DATA_ADDRESS fw.bin failed", "API_BootReg::Boot fail"};
const Lines kStage2NotSent = {"download korvex.bin failed", "API_BootReg::Boot fail"};
const Lines kNoCpuAnswer = {"读取CPU型号失败"};
const Lines kBootRecordLost = {};
const Lines kNandGone = {": nand.bin disconnected!"}, kImgBootGone = {": img_boot.bin disconnected!"},
            kBoardGone = {": board disconnected!"};

struct Cell {
  const char* kind;
  const char* stage;
  int port;            // as operators count
  const char* fault;   // the port's --sim-fault
  const char* replug;  // what goes into the freed port: the same board ("plug") or a new one
  const char* end;
  Lines messages;
  std::size_t cleanLines;  // the failing board's log: this many of a clean board's lines ...
  Lines log;               // ... then these
  Lines beforeUid{};       // the failing board's lines before it had a UID
};

// Exchanges of a clean burn: 1..5 boot ROM, 6..11 stage 1, 12..15 stage 2 and its
// record, 16..18 chip ID, 23..26 nand.bin's zone erase, 27..31 its write, 32..46 the
// identity pages, 69 an img_boot.bin write, 105 the last status, 106 the reset.
const Cell kMatrix[] = {
    {"unplug-after", "boot ROM", 1, "unplug-after=1", "plug", "link-lost", kBootRomGone, 0, {}, kBoardGone},
    {"unplug-after", "stage 1", 2, "unplug-after=7", "plug", "link-lost", kStage2NotSent, 0, {}, kBoardGone},
    // A board gone at any step of the boot or the chip ID read is a lost link, never a
    // failed boot or an unknown chip.
    {"unplug-after", "stage 2", 3, "unplug-after=12", "plug", "link-lost", kBootRecordLost, 0, {}, kBoardGone},
    {"unplug-after", "chip ID", 4, "unplug-after=16", "plug", "link-lost", {}, 0, {}, kBoardGone},
    // Gone at the CPU check after the chip was known: counted, and a lost link, never
    // a CPU mismatch.
    {"unplug-after", "CPU check", 7, "unplug-after=18", "plug", "link-lost", {}, 0, {}, kBoardGone},
    {"unplug-after", "zone erase", 5, "unplug-after=24", "plug", "link-lost", {}, 0, kNandGone},
    {"unplug-after", "image write", 6, "unplug-after=69", "plug", "link-lost", {}, 7, kImgBootGone},
    {"unplug-after", "identity pages", 7, "unplug-after=33", "plug", "link-lost", {}, 2, kNandGone},
    {"unplug-after", "reset", 8, "unplug-after=105", "plug", "link-lost", {}, 13, kBoardGone},
    {"unplug-at-page", "image write", 1, "unplug-at-page=1600", "plug", "link-lost", {}, 7, kImgBootGone},
    {"unplug-at-page", "identity pages", 2, "unplug-at-page=61", "plug", "link-lost", {}, 2, kNandGone},
    {"fail-request", "boot ROM", 3, "fail-request=0", "plug", "link-lost", kNoCpuAnswer, 0, {}, kBoardGone},
    {"fail-request", "stage 1", 4, "fail-request=4", "plug", "link-lost",
     {"QX7120_USB_PROG_START1 fw.bin failed", "API_BootReg::Boot fail"}, 0, {}, kBoardGone},
    {"fail-request", "stage 2", 5, "fail-request=5", "plug", "link-lost", kStage2NotSent, 0, {}, kBoardGone},
    {"fail-request", "chip ID", 6, "fail-request=7", "plug", "link-lost", {}, 0, {}, kBoardGone},
    {"fail-request", "zone erase", 7, "fail-request=7@2", "plug", "link-lost", {}, 0, kNandGone},
    {"fail-request", "image write", 8, "fail-request=7@11", "plug", "link-lost", {}, 7, kImgBootGone},
    {"fail-request", "identity pages", 1, "fail-request=7@4", "plug", "link-lost", {}, 2, kNandGone},
    {"fail-request", "reset", 2, "fail-request=8", "plug", "link-lost", {}, 13, kBoardGone},
    // The record of loader.bin's real geometry: without it the board would write the
    // image by the 2048-byte view of nand.bin.
    {"fail-request", "image record", 3, "fail-request=9@3", "plug", "link-lost", {}, 5, {": loader.bin disconnected!"}},
    {"hang-after", "boot ROM", 3, "hang-after=0", "plug", "link-lost", kNoCpuAnswer, 0, {}, kBoardGone},
    {"hang-after", "stage 1", 4, "hang-after=5", "plug", "link-lost",
     {"START_ADDR failed", "API_BootReg::Boot fail"}, 0, {}, kBoardGone},
    {"hang-after", "stage 2", 5, "hang-after=11", "plug", "link-lost", kBootRecordLost, 0, {}, kBoardGone},
    {"hang-after", "chip ID", 6, "hang-after=15", "plug", "link-lost", {}, 0, {}, kBoardGone},
    {"hang-after", "zone erase", 7, "hang-after=23", "plug", "link-lost", {}, 0, kNandGone},
    {"hang-after", "image write", 8, "hang-after=26", "plug", "link-lost", {}, 0, kNandGone},
    {"hang-after", "identity pages", 1, "hang-after=31", "plug", "link-lost", {}, 2, kNandGone},
    {"hang-after", "reset", 2, "hang-after=105", "plug", "link-lost", {}, 13, kBoardGone},
    // A transfer that moves fewer bytes than asked ends the board as a lost link: bulk
    // read 2 is the chip ID's reply, bulk write 5 the first block of nand.bin, read 9
    // the status of the UID page's write.
    {"short-read", "chip ID", 4, "short-read=2", "plug", "link-lost", {}, 0, {}, kBoardGone},
    {"short-write", "image write", 5, "short-write=5", "plug", "link-lost", {}, 0, kNandGone},
    {"short-read", "identity pages", 6, "short-read=9", "plug", "link-lost", {}, 4, kNandGone},
    // The board skips bad blocks itself, into def_boot.bin's zone; then the zone is used up.
    {"bad-block storm", "image write", 3, "bad=16;17;18;19", "plug-new", "zone-full",
     {"Loader.bin zone have too many bad blocks,Nand is not usable!"}, 5,
     {": loader.bin write Error!", ": ERROR:loader.bin Page from 1024 to 1344."}},
    {"program-fail", "image write", 4, "program-fail=776", "plug-new", "burned", {}, 12,
     {": res.bin Page from 49664 to 49797.", ": system reset!"}},
    // loader.bin's tail retried block by block until a retry begins past the zone.
    {"program-fail", "image write", 5, "program-fail=17;18;19;20", "plug-new", "zone-full",
     {"loader.bin zone have too many bad blocks,Nand is not usable!"}, 5,
     {": loader.bin write Error!", ": ERROR:loader.bin Page from 1024 to 1280."}},
    {"program-fail", "identity pages", 6, "program-fail=0", "plug-new", "write-error", {}, 1,
     {": nand.bin Page from 0 to 74.", ": Write UID to page 61 Error!"}},
};

struct ImageFile {
  const char* name;
  std::size_t size;
  std::uint32_t firstPage;  // where a clean burn puts it
};
// Normal mode: nand.bin's folder holds the others; def_boot.bin stays out.
constexpr ImageFile kImages[] = {{"nand.bin", 20000, 0},         {"loader.bin", 200000, 1024},
                                 {"img_boot.bin", 300000, 1536}, {"minios.bin", 70000, 25088},
                                 {"res.bin", 140000, 49664}};

std::vector<std::uint8_t> ImageBytes(const ImageFile& image) {
  std::vector<std::uint8_t> bytes(image.size);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + image.size);
  return bytes;
}

// The ID page's 16 bytes as the station printed them.
std::vector<std::uint8_t> UidBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = text.find(':') + 1; i + 1 < text.size(); ++i) {
    if (text[i] == ' ') continue;
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    ++i;
  }
  return bytes;
}

// What a line of eight left behind.
struct LineResult {
  std::vector<std::pair<int, std::string>> messages;  // port from 0, text
  std::map<std::string, Lines> logByUid;               // board lines by the ID they carry
  Lines otherLog;                                      // lines behind no ID: the close line
  std::array<std::string, kPortCount> uids, firstUids;
  std::array<Pieces, kPortCount> nand;
  std::string failedEnd;
  int reclaimed = -1;
};

bool AnyWorkerRunning() {
  return std::ranges::any_of(g_portRuns, [](const PortRun& run) { return run.workerRunning.load(); });
}

// Waits until `done`; a board that never lets its worker go fails the case (and is
// pulled) rather than holding up the suite.
void Settle(sim::SimHost& sim, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the workers did not settle";
      for (int k = 0; k < static_cast<int>(kPortCount); ++k) sim.Unplug(k);
      return;
    }
    std::this_thread::sleep_for(1ms);
  }
}

class FaultMatrix : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    home_ = new testing::TempDir;
    std::string error;
    ASSERT_TRUE(sim::WritePlaceholderHome(home_->path(), error)) << error;
    for (const ImageFile& image : kImages) testing::WriteBytes(Folder() / image.name, ImageBytes(image));
  }
  static void TearDownTestSuite() { delete home_; }
  static std::filesystem::path Folder() { return home_->path() / "small"; }

  // Eight boards with `fault` on port `port` (none for 0); the operator pulls that board
  // at 10 s and `replug` happens at 20 s, on the line's scripted clock.
  static LineResult Run(int port, const std::string& fault, const std::string& replug) {
    ResetPortRecords();
    g_burnCounter = 0;
    ReopenStation();
    for (const auto& entry : std::filesystem::directory_iterator(home_->path())) {
      if (entry.path().extension() == ".txt") std::filesystem::remove(entry.path());
    }
    LineResult result;
    std::mutex messagesLock;
    std::atomic<std::chrono::milliseconds> now{0ms};
    sim::SimHost sim(kPortCount, home_->path());
    sim.SetInstantSleep(true);
    sim.SetEventClock([&now] { return now.load(); });
    sim.SetMessageBoxHandler([&](const MessageBoxRequest& request) {
      std::lock_guard lock(messagesLock);
      result.messages.emplace_back(request.port, std::string(request.text));
      return MessageAnswer::Ok;
    });
    sim::SimOptionParser parser("--sim", "--model", kPortCount);
    std::string error;
    const std::string p = std::to_string(port);
    std::vector<std::pair<const char*, std::string>> options = {{"--sim", "8"}};
    if (port != 0) {
      options.insert(options.end(), {{"--sim-fault", p + ":" + fault},
                                     {"--sim-event", "10s:unplug:" + p},
                                     {"--sim-event", "20s:" + replug + ":" + p}});
    }
    for (const auto& [name, value] : options) EXPECT_TRUE(parser.Read(name, value, error)) << error;
    const auto line = parser.Finish(error);
    EXPECT_TRUE(line) << error;
    if (!line) return result;
    SelectCpuModel(line->board.model);
    sim.StartLine(*line);
    auto station = StationCore::BringUp(sim, RecordKeeper::None());
    EXPECT_TRUE(station);
    if (!station) return result;
    PortScheduler& scheduler = station->scheduler();
    StationSettings settings;
    ChooseNandBin(settings, (Folder() / "nand.bin").string(), false);
    EXPECT_EQ(scheduler.Scan(settings).claimed, 8);
    // A hung board holds its worker until pulled; every other worker ends by itself.
    const bool hangs = fault.starts_with("hang-after");
    Settle(sim, [&] { return hangs ? sim.IsHung(port - 1) : !AnyWorkerRunning(); });
    // The pull happens at a touch of the host off the scan, so a worker waiting on
    // the board sees its link fail before any scan sees the port empty.
    now = 10s;
    sim.GetLocalTime();
    Settle(sim, [] { return !AnyWorkerRunning(); });
    for (std::size_t k = 0; k < kPortCount; ++k) result.firstUids[k] = g_portRuns[k].Uid().View();
    if (port != 0) result.failedEnd = BurnEndCode(g_portRuns[port - 1].end);
    scheduler.Scan(settings);
    now = 20s;
    result.reclaimed = scheduler.Scan(settings).claimed;
    Settle(sim, [] { return !AnyWorkerRunning(); });
    sim.JoinThreads();
    std::uint32_t windowCopy = g_burnCounter;
    WriteCloseLineLast(sim, windowCopy);

    for (std::size_t k = 0; k < kPortCount; ++k) {
      result.uids[k] = g_portRuns[k].Uid().View();
      result.nand[k] = sim.NandPieces(static_cast<int>(k));
    }
    for (const auto& entry : std::filesystem::directory_iterator(home_->path())) {
      if (entry.path().extension() != ".txt") continue;
      std::ifstream file(entry.path());
      for (std::string line; std::getline(file, line);) {
        line = line.substr(line.find(" : ") + 3);
        const std::size_t idEnd = line.find(": ", std::string_view("nandUID: ").size());
        if (line.starts_with("nandUID: ") && idEnd != std::string::npos) {
          result.logByUid[line.substr(0, idEnd)].push_back(line.substr(idEnd));
        } else {
          result.otherLog.push_back(line);
        }
      }
    }
    return result;
  }

  // A clean board's NAND with `uid` on its ID page.
  static Pieces CleanNand(const std::string& uid) {
    static const Pieces reference = [] {
      const LineResult clean = Run(0, "", "plug");
      Pieces nand = clean.nand[0];
      for (const ImageFile& image : kImages) {
        const auto bytes = ImageBytes(image);
        for (std::size_t i = 0; i < bytes.size(); i += 4093) {
          const std::uint64_t at = std::uint64_t{image.firstPage} * 2048 + i;
          const auto piece = nand.find(at - at % kPiece);
          EXPECT_TRUE(piece != nand.end() && piece->second[at % kPiece] == bytes[i]) << image.name << " byte " << i;
        }
      }
      return nand;
    }();
    Pieces nand = reference;
    const std::vector<std::uint8_t> bytes = UidBytes(uid);
    std::copy(bytes.begin(), bytes.end(), nand.at(kUidOffset - kUidOffset % kPiece).begin() + kUidOffset % kPiece);
    return nand;
  }

  static testing::TempDir* home_;
};

testing::TempDir* FaultMatrix::home_ = nullptr;

TEST_F(FaultMatrix, TheFailingPortShowsItsCaseAndEveryOtherBoardBurnsAsOnACleanLine) {
  for (const Cell& cell : kMatrix) {
    SCOPED_TRACE(std::string(cell.kind) + " at " + cell.stage + ", port " + std::to_string(cell.port));
    const LineResult run = Run(cell.port, cell.fault, cell.replug);
    const std::size_t failing = static_cast<std::size_t>(cell.port - 1);
    EXPECT_EQ(run.failedEnd, cell.end);

    std::vector<std::pair<int, std::string>> messages;
    for (const std::string& text : cell.messages) messages.emplace_back(cell.port - 1, text);
    EXPECT_EQ(run.messages, messages);

    Lines failingLog(kCleanLog.begin(), kCleanLog.begin() + static_cast<std::ptrdiff_t>(cell.cleanLines));
    failingLog.insert(failingLog.end(), cell.log.begin(), cell.log.end());
    // A board is counted once booted with its chip known.
    const bool counted = std::ranges::none_of(std::array{"boot ROM", "stage 1", "stage 2", "chip ID"},
                                              [&](std::string_view stage) { return cell.stage == stage; });
    std::map<std::string, Lines> expectedLog;
    for (std::size_t k = 0; k < kPortCount; ++k) {
      if (k != failing) {
        expectedLog[run.uids[k]] = kCleanLog;
        EXPECT_EQ(run.nand[k], CleanNand(run.uids[k])) << "port " << k + 1;
      }
    }
    if (!failingLog.empty()) expectedLog[run.firstUids[failing]] = failingLog;
    // The freed port took the next board, which burned like the others (at memory
    // speed, possibly within the millisecond of the failed board's ID, and so with it).
    EXPECT_EQ(run.reclaimed, 1);
    Lines& next = expectedLog[run.uids[failing]];
    next.insert(next.end(), kCleanLog.begin(), kCleanLog.end());
    EXPECT_EQ(run.nand[failing], CleanNand(run.uids[failing]));
    EXPECT_EQ(run.logByUid, expectedLog);
    Lines otherLog = cell.beforeUid;
    otherLog.push_back("Update NUM is " + std::to_string(counted ? 9 : 8) + ", someone close the tool of the korvex!");
    EXPECT_EQ(run.otherLog, otherLog);
  }
}

}  // namespace
}  // namespace korvex
