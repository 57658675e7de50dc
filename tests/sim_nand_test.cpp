// The stage-2 NAND operations of a virtual board against its layout contract: which
// byte of the chip every request touches.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "device/byte_order.h"
#include "sim/nand_chip.h"
#include "sim/sim_host.h"
#include "temp_dir.h"

namespace korvex::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kStatusUnread = 0xDEADBEEF;

// One open device with the NAND exchanges in the orders the station uses.
class NandWire {
 public:
  NandWire(SimHost& sim, int port) : sim_(sim) {
    std::uint32_t error = 0;
    handle_ = sim.OpenDevice(sim.SymbolicLinkOf(port), error);
  }
  bool Request(std::uint32_t n, std::uint32_t argument) {
    RequestBuffer in{};
    RequestBuffer out{};
    PutLe32(in, 0, argument);
    return sim_.DeviceIoControl(handle_, 0x220000 + 4 * n, in, out);
  }
  bool Write(const Bytes& bytes) {
    std::uint32_t written = 0;
    return sim_.WriteDevice(handle_, bytes.data(), static_cast<std::uint32_t>(bytes.size()), written);
  }
  Bytes Read(std::uint32_t count) {
    Bytes bytes(count);
    std::uint32_t read = 0;
    if (!sim_.ReadDevice(handle_, bytes.data(), count, read)) return {};
    bytes.resize(read);
    return bytes;
  }
  std::uint32_t Status() {
    const Bytes status = Read(8);
    return status.size() == 8 ? GetLe32(status, 0) : kStatusUnread;
  }
  void Configure(std::uint32_t pageSize, std::uint32_t pagesPerBlock, std::uint32_t oob) {
    Bytes record(88, 0);
    PutLe32(record, 12, pageSize);
    PutLe32(record, 16, pagesPerBlock);
    PutLe32(record, 28, oob);
    ASSERT_TRUE(Write(record));
    ASSERT_TRUE(Request(9, 1));
    ASSERT_EQ(Status(), 1u);
  }
  // Data, address, length, request 7 with option and opcode 7, status.
  std::uint32_t Program(std::uint32_t page, std::uint32_t pages, const Bytes& data,
                        std::uint32_t option = 2) {
    Write(data);
    Request(1, page);
    Request(2, pages);
    if (!Request(7, option << 12 | 0x10 | 7)) return kStatusUnread;
    return Status();
  }
  std::uint32_t Erase(std::uint32_t block, std::uint32_t blocks) {
    Request(1, block);
    Request(2, blocks);
    if (!Request(7, 0x0005)) return kStatusUnread;
    return Status();
  }
  Bytes ReadPages(std::uint32_t page, std::uint32_t pages, std::uint32_t pageSize) {
    Request(1, page);
    Request(2, pages);
    if (!Request(7, 0x2006)) return {};
    Bytes data = Read(pages * pageSize);
    EXPECT_EQ(Status(), 1u);
    return data;
  }

 private:
  SimHost& sim_;
  HostHandle handle_ = kInvalidHandle;
};

Bytes Filled(std::size_t count, std::uint8_t value) { return Bytes(count, value); }

// These scenarios talk to the stage-2 firmware from the start.
BoardSpec Stage2Board() {
  BoardSpec spec;
  spec.startInStage2 = true;
  return spec;
}

// 2048-byte pages, 64 pages a block, 16 blocks: 1024 pages in all.
BoardSpec SmallChip() {
  BoardSpec spec = Stage2Board();
  spec.chip.geometry = ChipGeometry{2048, 128 * 1024, 64, 16};
  return spec;
}

TEST(SimNand, ProgrammingOnlyClearsBits) {
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, Stage2Board());
  NandWire wire(sim, 0);
  EXPECT_EQ(wire.Program(3, 1, Filled(2048, 0xF0)), 4u);
  EXPECT_EQ(wire.Program(3, 1, Filled(2048, 0x3C)), 4u);
  EXPECT_EQ(sim.ReadNand(0, 0, 1), Bytes{0xFF});
  EXPECT_EQ(sim.ReadNand(0, 3 * 2048, 2048), Filled(2048, 0x30));
  EXPECT_EQ(sim.ReadNand(0, 4 * 2048, 4), Filled(4, 0xFF));
  EXPECT_EQ(sim.NandHighWater(0), 4u * 2048);
  EXPECT_EQ(wire.ReadPages(3, 2, 2048), [] {
    Bytes expected = Filled(2048, 0x30);
    expected.resize(4096, 0xFF);
    return expected;
  }());
}

TEST(SimNand, SpareBytesOfOptionsZeroAndOneAreSkippedAndMissingDataProgramsNothing) {
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, SmallChip());
  NandWire wire(sim, 0);
  wire.Configure(2048, 64, 64);
  Bytes data = Filled(2048, 0x11);
  data.resize(2112, 0x00);                   // spare of page 0
  data.resize(2112 + 1024, 0x22);            // half of page 1, then nothing
  EXPECT_EQ(wire.Program(10, 3, data, 0), 13u);
  EXPECT_EQ(sim.ReadNand(0, 10 * 2048, 2048), Filled(2048, 0x11));
  Bytes page11 = Filled(1024, 0x22);
  page11.resize(2048, 0xFF);
  EXPECT_EQ(sim.ReadNand(0, 11 * 2048, 2048), page11);
  EXPECT_EQ(sim.ReadNand(0, 12 * 2048, 2048), Filled(2048, 0xFF));
  EXPECT_EQ(sim.NandHighWater(0), 13u * 2048);
}

TEST(SimNand, EraseSetsViewBlocksButLeavesBadBlocks) {
  BoardSpec spec = SmallChip();
  spec.faults.badBlocks = {2};
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, spec);
  sim.WriteNand(0, 0, Filled(5 * 128 * 1024, 0x00));
  NandWire wire(sim, 0);
  EXPECT_EQ(wire.Erase(1, 3), 1u);
  EXPECT_EQ(sim.ReadNand(0, 128 * 1024 - 1, 2), (Bytes{0x00, 0xFF}));
  EXPECT_EQ(sim.ReadNand(0, 2 * 128 * 1024, 128 * 1024), Filled(128 * 1024, 0x00));
  EXPECT_EQ(sim.ReadNand(0, 3 * 128 * 1024, 128 * 1024), Filled(128 * 1024, 0xFF));
  EXPECT_EQ(sim.ReadNand(0, 4 * 128 * 1024, 1), Bytes{0x00});
}

TEST(SimNand, A2048ByteViewOfA4096ByteChipHalvesItsBlocks) {
  BoardSpec spec = Stage2Board();
  spec.chip.geometry = ChipGeometry{4096, 256 * 1024, 128, 32};
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, spec);
  sim.WriteNand(0, 0, Filled(256 * 1024, 0x00));
  NandWire wire(sim, 0);
  wire.Configure(2048, 64, 64);
  EXPECT_EQ(wire.Erase(1, 1), 1u);  // view block 1: second half of physical block 0
  EXPECT_EQ(sim.ReadNand(0, 128 * 1024 - 1, 2), (Bytes{0x00, 0xFF}));
}

TEST(SimNand, ProgramStepsOverBadPhysicalBlocksOfTheRealChip) {
  BoardSpec spec = Stage2Board();
  spec.chip.geometry = ChipGeometry{4096, 256 * 1024, 128, 32};
  spec.faults.badBlocks = {1};
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, spec);
  NandWire wire(sim, 0);
  wire.Configure(2048, 64, 64);
  Bytes data;
  for (std::uint8_t page = 1; page <= 16; ++page) data.insert(data.end(), 2048, page);
  // View pages 120..127 fill the end of physical block 0; block 1 (view pages 128..255)
  // is bad, so the rest goes to view page 256, the start of block 2.
  EXPECT_EQ(wire.Program(120, 16, data), 264u);
  for (std::uint8_t i = 0; i < 8; ++i) {
    EXPECT_EQ(sim.ReadNand(0, (120u + i) * 2048, 2048), Filled(2048, i + 1)) << int{i};
    EXPECT_EQ(sim.ReadNand(0, (256u + i) * 2048, 2048), Filled(2048, i + 9)) << int{i};
  }
  EXPECT_EQ(sim.ReadNand(0, 256 * 1024, 256 * 1024), Filled(256 * 1024, 0xFF));
  EXPECT_EQ(sim.NandHighWater(0), 264u * 2048);
  EXPECT_EQ(sim.BadBlocks(0), std::vector<std::uint32_t>{1});
}

TEST(SimNand, ProgramFailureAnswersZeroAndKeepsThePagesWritten) {
  BoardSpec spec = SmallChip();
  spec.faults.programFailBlocks = {2};
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, spec);
  NandWire wire(sim, 0);
  EXPECT_EQ(wire.Program(126, 4, Filled(4 * 2048, 0x5A)), 0u);
  EXPECT_EQ(sim.ReadNand(0, 126 * 2048, 2 * 2048), Filled(2 * 2048, 0x5A));
  EXPECT_EQ(sim.ReadNand(0, 128 * 2048, 2048), Filled(2048, 0xFF));
  // Erasing the block works; only programs into it fail.
  EXPECT_EQ(wire.Erase(2, 1), 1u);
  EXPECT_EQ(wire.Program(120, 1, Filled(2048, 0x00)), 121u);
}

TEST(SimNand, ProgramPastTheChipsEndAnswersZero) {
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, SmallChip());
  NandWire wire(sim, 0);
  EXPECT_EQ(wire.Program(1022, 4, Filled(4 * 2048, 0x5A)), 0u);
  EXPECT_EQ(sim.ReadNand(0, 1022 * 2048, 2 * 2048), Filled(2 * 2048, 0x5A));
  EXPECT_EQ(sim.NandHighWater(0), 1024u * 2048);
  Bytes expected = Filled(2048, 0x5A);
  expected.resize(4096, 0xFF);
  EXPECT_EQ(wire.ReadPages(1023, 2, 2048), expected);
}

TEST(SimNand, UnplugAtAPageFailsTheProgramThere) {
  BoardSpec spec = SmallChip();
  spec.faults.unplugAtPage = 130;
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, spec);
  NandWire wire(sim, 0);
  EXPECT_EQ(wire.Program(128, 4, Filled(4 * 2048, 0x00)), kStatusUnread);
  EXPECT_FALSE(sim.IsPlugged(0));
  EXPECT_EQ(sim.ReadNand(0, 128 * 2048, 2 * 2048), Filled(2 * 2048, 0x00));
  EXPECT_EQ(sim.ReadNand(0, 130 * 2048, 2048), Filled(2048, 0xFF));
  EXPECT_EQ(sim.TraceText(0), (std::vector<std::string>{"write 8192", "req 1 0x80", "req 2 0x4",
                                                        "req 7 0x2017 FAILED"}));
}

TEST(SimNand, IdReplyOfModelsOneToThree) {
  SimHost sim(1, "/nonexistent");
  BoardSpec spec = Stage2Board();
  spec.model = 2;
  spec.chip.mainId = 0xECD3;
  spec.chip.extId = 0x589551;
  sim.Plug(0, spec);
  NandWire wire(sim, 0);
  ASSERT_TRUE(wire.Request(7, 0x0000));
  EXPECT_EQ(wire.Read(8), (Bytes{0xEC, 0xD3, 0x51, 0x95, 0x58, 0, 0, 0}));
  EXPECT_EQ(wire.Read(8), (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(SimNand, IdReplyOfModelZeroComesInTwoHalves) {
  SimHost sim(1, "/nonexistent");
  BoardSpec spec = Stage2Board();
  spec.model = 0;
  spec.chip.mainId = 0xADD3;
  spec.chip.extId = 0x34A514;
  sim.Plug(0, spec);
  NandWire wire(sim, 0);
  ASSERT_TRUE(wire.Request(7, 0x0000));
  EXPECT_EQ(wire.Read(4), (Bytes{0xD3, 0x00, 0xAD, 0x00}));
  EXPECT_EQ(wire.Status(), 1u);
  ASSERT_TRUE(wire.Request(7, 0x0009));
  EXPECT_EQ(wire.Read(4), (Bytes{0x34, 0xA5, 0x14, 0x00}));
  EXPECT_EQ(wire.Status(), 1u);
}

TEST(SimNand, FormatOpcodesFollowTheModel) {
  for (const int model : {0, 2}) {
    BoardSpec spec = SmallChip();
    spec.model = model;
    spec.faults.badBlocks = {3};
    SimHost sim(1, "/nonexistent");
    sim.Plug(0, spec);
    sim.WriteNand(0, 0, Filled(16 * 128 * 1024, 0x00));
    NandWire wire(sim, 0);
    const std::uint32_t format = model == 0 ? 10 : 9;
    ASSERT_TRUE(wire.Request(7, format + 1));  // file-system format: NAND untouched
    EXPECT_EQ(wire.Status(), 1u);
    EXPECT_EQ(sim.ReadNand(0, 0, 1), Bytes{0x00}) << model;
    ASSERT_TRUE(wire.Request(7, format));
    EXPECT_EQ(wire.Status(), 1u);
    EXPECT_EQ(sim.ReadNand(0, 0, 3 * 128 * 1024), Filled(3 * 128 * 1024, 0xFF)) << model;
    EXPECT_EQ(sim.ReadNand(0, 3 * 128 * 1024, 128 * 1024), Filled(128 * 1024, 0x00)) << model;
    EXPECT_EQ(sim.ReadNand(0, 4 * 128 * 1024, 12 * 128 * 1024), Filled(12 * 128 * 1024, 0xFF));
  }
}

TEST(SimNand, DumpHoldsTheChipUpToItsHighWater) {
  korvex::testing::TempDir dir;
  SimHost sim(2, dir.path());
  EXPECT_FALSE(sim.DumpNand(1, dir.path()));  // never plugged
  sim.Plug(1, SmallChip());
  NandWire wire(sim, 1);
  EXPECT_EQ(wire.Program(0, 2, Filled(4096, 0x12)), 2u);
  EXPECT_EQ(wire.Program(5, 1, Filled(2048, 0x34)), 6u);
  ASSERT_TRUE(sim.DumpNand(1, dir.path()));
  std::ifstream file(dir.path() / "board-1.nand", std::ios::binary);
  const Bytes dumped{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  Bytes expected = Filled(4096, 0x12);
  expected.resize(5 * 2048, 0xFF);
  expected.resize(6 * 2048, 0x34);
  EXPECT_EQ(dumped, expected);
}

TEST(SimNandChip, GeometryComesFromTheBuiltInPartList) {
  ChipSpec exact;  // 0xECD3 / 0x589551: 2048-byte pages, 128 KiB blocks, 8192 blocks
  const ChipGeometry known = ResolveChipGeometry(exact);
  EXPECT_EQ(known.pageSize, 2048u);
  EXPECT_EQ(known.blockSize, 128u * 1024);
  EXPECT_EQ(known.spareSize, 64u);
  EXPECT_EQ(known.totalBlocks, 8192u);

  ChipSpec wildcard{0xECF1, 0x123456, std::nullopt};  // only a row with ext ID 0 knows it
  EXPECT_EQ(ResolveChipGeometry(wildcard).totalBlocks, 1024u);

  ChipSpec unknown{0x0101, 0x010101, std::nullopt};
  EXPECT_EQ(ResolveChipGeometry(unknown).totalBlocks, ChipGeometry{}.totalBlocks);

  exact.geometry = ChipGeometry{512, 16 * 1024, 16, 4096};
  EXPECT_EQ(ResolveChipGeometry(exact).pageSize, 512u);
}

TEST(SimNandChip, RandomBadBlocksAreReproducibleAndAvoidBlockZero) {
  const auto drawn = DrawRandomBadBlocks(42, 6, 64, {});
  EXPECT_EQ(drawn, DrawRandomBadBlocks(42, 6, 64, {}));
  EXPECT_EQ(drawn, (std::vector<std::uint32_t>{49, 60, 41, 61, 42, 5}));
  EXPECT_NE(drawn, DrawRandomBadBlocks(43, 6, 64, {}));
  // Every block but 0 in a tiny chip, each once.
  auto all = DrawRandomBadBlocks(1, 100, 8, {3});
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (std::vector<std::uint32_t>{1, 2, 4, 5, 6, 7}));

  BoardSpec spec = SmallChip();
  spec.faults.badBlocks = {5};
  spec.faults.randomBadBlocks = 3;
  spec.faults.seed = 9;
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, spec);
  const auto bad = sim.BadBlocks(0);
  EXPECT_EQ(bad.size(), 4u);
  EXPECT_NE(std::find(bad.begin(), bad.end(), 5u), bad.end());
  EXPECT_EQ(std::find(bad.begin(), bad.end(), 0u), bad.end());
}

TEST(SimNandChip, UnusableBoardsAreRefusedAtThePlug) {
  SimHost sim(1, "/nonexistent");
  BoardSpec spec = SmallChip();
  spec.faults.badBlocks = {16};
  EXPECT_THROW(sim.Plug(0, spec), std::invalid_argument);
  spec = SmallChip();
  spec.chip.geometry->blockSize = 3000;
  EXPECT_THROW(sim.Plug(0, spec), std::invalid_argument);
  spec = SmallChip();
  spec.model = 4;
  EXPECT_THROW(sim.Plug(0, spec), std::invalid_argument);
  EXPECT_FALSE(sim.IsPlugged(0));
}

TEST(SimNandParallel, EightWorkersProgramEightBoardsAtOnce) {
  constexpr int kBoards = 8;
  SimHost sim(kBoards, "/nonexistent");
  for (int port = 0; port < kBoards; ++port) sim.Plug(port, SmallChip());
  std::vector<std::thread> workers;
  std::vector<Bytes> readBack(kBoards);
  for (int port = 0; port < kBoards; ++port) {
    workers.emplace_back([&sim, &readBack, port] {
      NandWire wire(sim, port);
      const Bytes block = Filled(64 * 2048, static_cast<std::uint8_t>(port));
      for (std::uint32_t b = 0; b < 8; ++b) wire.Program(b * 64, 64, block);
      readBack[port] = wire.ReadPages(7 * 64, 64, 2048);
    });
  }
  // Meanwhile the station's main thread keeps scanning the registry.
  for (int i = 0; i < 200; ++i) {
    RegKey key = 0;
    std::string path(kInterfaceClassKey);
    ASSERT_EQ(sim.RegOpenKeyRead(path, key), kRegSuccess);
    char name[261];
    EXPECT_EQ(sim.RegEnumKeyName(key, static_cast<std::uint32_t>(i % kBoards), name, sizeof name),
              kRegSuccess);
    sim.RegCloseKey(key);
  }
  for (auto& worker : workers) worker.join();
  for (int port = 0; port < kBoards; ++port) {
    EXPECT_EQ(readBack[port], Filled(64 * 2048, static_cast<std::uint8_t>(port))) << port;
    EXPECT_EQ(sim.NandHighWater(port), 8u * 64 * 2048);
  }
}

}  // namespace
}  // namespace korvex::sim
