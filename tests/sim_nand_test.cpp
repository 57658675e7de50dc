// The stage-2 NAND operations of a virtual board against its layout contract: which
// byte of the chip every request touches.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "nandtable/default_nand_parts.h"
#include "nandtable/nand_cfg.h"
#include "sim/nand_chip.h"
#include "sim/sim_chips.h"
#include "sim_board_fixture.h"

namespace korvex::sim {
namespace {

using korvex::testing::Bytes;
using korvex::testing::kStatusUnread;
using korvex::testing::Stage2Board;
using korvex::testing::Wire;

constexpr std::uint32_t kPage = 2048;
constexpr std::uint32_t kBlock = 128 * 1024;  // of the small chip and of the 2048-byte view

// Runs of equal bytes, {count, value} each.
Bytes Runs(std::initializer_list<std::pair<std::size_t, std::uint8_t>> runs) {
  Bytes bytes;
  for (const auto& [count, value] : runs) bytes.insert(bytes.end(), count, value);
  return bytes;
}

// 2048-byte pages, 64 pages a block, 16 blocks: 1024 pages in all.
BoardSpec SmallChip() { return Stage2Board(ChipGeometry{kPage, kBlock, 64, 16}); }
// 4096-byte pages, 128 a block: a physical block is two blocks of the 2048-byte view.
BoardSpec BigPageChip() { return Stage2Board(ChipGeometry{4096, 2 * kBlock, 128, 32}); }

class SimNand : public ::testing::Test {
 protected:
  // Plugs (or replaces) the board on `port`; the one wire then talks to it.
  Wire& Plug(const BoardSpec& spec, int port = 0) {
    sim_.Plug(port, spec);
    return wire_.emplace(sim_, port);
  }
  Bytes Pages(std::uint64_t page, std::size_t count) const {
    return sim_.ReadNand(0, page * kPage, count * kPage);
  }

  SimHost sim_{2, "/nonexistent"};
  std::optional<Wire> wire_;
};

TEST_F(SimNand, ProgrammingOnlyClearsBits) {
  Wire& wire = Plug(Stage2Board());
  EXPECT_EQ(wire.Program(3, 1, Bytes(kPage, 0xF0)), 4u);
  EXPECT_EQ(wire.Program(3, 1, Bytes(kPage, 0x3C)), 4u);
  EXPECT_EQ(sim_.ReadNand(0, 0, 1), Bytes{0xFF});
  EXPECT_EQ(Pages(3, 1), Bytes(kPage, 0x30));
  EXPECT_EQ(sim_.NandHighWater(0), 4u * kPage);
  EXPECT_EQ(wire.ReadPages(3, 2), Runs({{kPage, 0x30}, {kPage, 0xFF}}));
}

TEST_F(SimNand, SpareBytesOfOptionZeroAreSkippedAndMissingDataProgramsNothing) {
  Wire& wire = Plug(SmallChip());
  ASSERT_EQ(wire.Configure(), 1u);
  // Page 10, its spare, then half of page 11 and nothing more.
  EXPECT_EQ(wire.Program(10, 3, Runs({{kPage, 0x11}, {64, 0x00}, {1024, 0x22}}), 0), 13u);
  EXPECT_EQ(Pages(10, 3), Runs({{kPage, 0x11}, {1024, 0x22}, {1024 + kPage, 0xFF}}));
  EXPECT_EQ(sim_.NandHighWater(0), 13u * kPage);
}

TEST_F(SimNand, EraseSetsViewBlocksButLeavesBadBlocks) {
  BoardSpec spec = SmallChip();
  spec.faults.badBlocks = {2};
  Wire& wire = Plug(spec);
  sim_.WriteNand(0, 0, Bytes(5 * kBlock, 0x00));
  EXPECT_EQ(wire.Operate(1, 3, 5), 1u);
  EXPECT_EQ(sim_.ReadNand(0, 0, 5 * kBlock),
            Runs({{kBlock, 0x00}, {kBlock, 0xFF}, {kBlock, 0x00}, {kBlock, 0xFF}, {kBlock, 0}}));

  // A 2048-byte view of a 4096-byte chip: view block 1 is the second half of block 0.
  Plug(BigPageChip());
  sim_.WriteNand(0, 0, Bytes(2 * kBlock, 0x00));
  ASSERT_EQ(wire.Configure(), 1u);
  EXPECT_EQ(wire.Operate(1, 1, 5), 1u);
  EXPECT_EQ(sim_.ReadNand(0, 0, 2 * kBlock), Runs({{kBlock, 0x00}, {kBlock, 0xFF}}));
}

// A format clears only the user-data area from view page 98304 on, past res.bin's
// zone: the images and the ID page stay, and a bad block there keeps its bytes.
TEST_F(SimNand, FormatClearsOnlyTheUserAreaPastTheImageZones) {
  const struct {
    int model;
    ChipSpec chip;
    std::uint32_t viewPage, formatWord;
    std::uint64_t blockSize;
  } cases[] = {
      {2, {0xECD3, 0x589551, std::nullopt}, 2048, 0x19, kBlock},
      {0, {0xECD7, 0x78B655, std::nullopt}, 4096, 0x1A, 4 * kBlock},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    BoardSpec spec = Stage2Board();
    spec.model = c.model;
    spec.chip = c.chip;
    const std::uint64_t userStart = 98304ull * c.viewPage;
    const std::uint64_t badBlock = userStart / c.blockSize + 5;
    spec.faults.badBlocks = {static_cast<std::uint32_t>(badBlock)};
    Wire& wire = Plug(spec);
    ASSERT_EQ(wire.Configure(c.viewPage), 1u);
    // Page 0, the ID page, res.bin's last byte, the first user byte, the bad block,
    // the chip's last byte (both chips have 8192 blocks).
    const std::uint64_t offsets[] = {0,         63 * 2048, userStart - 1, userStart, badBlock * c.blockSize,
                                     8192 * c.blockSize - 1};
    for (const std::uint64_t offset : offsets) sim_.WriteNand(0, offset, Bytes{0x00});
    EXPECT_EQ(wire.Operate(0, 0, c.formatWord), 1u);
    Bytes after;
    for (const std::uint64_t offset : offsets) after.push_back(sim_.ReadNand(0, offset, 1).at(0));
    EXPECT_EQ(after, (Bytes{0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF}));
  }
  // Without a page size the board cannot tell where the user area starts.
  ASSERT_EQ(wire_->Configure(0), 1u);
  EXPECT_FALSE(wire_->Request(7, 0x1A));
}

TEST_F(SimNand, ProgramStepsOverBadPhysicalBlocksOfTheRealChip) {
  BoardSpec spec = BigPageChip();
  spec.faults.badBlocks = {1};
  Wire& wire = Plug(spec);
  ASSERT_EQ(wire.Configure(), 1u);
  Bytes data;
  for (std::uint8_t page = 1; page <= 16; ++page) data.insert(data.end(), kPage, page);
  // View pages 120..127 fill the end of physical block 0; block 1 (view pages 128..255)
  // is bad, so the rest goes to view page 256, the start of block 2.
  EXPECT_EQ(wire.Program(120, 16, data), 264u);
  EXPECT_EQ(Pages(120, 8), Bytes(data.begin(), data.begin() + 8 * kPage));
  EXPECT_EQ(Pages(128, 128), Bytes(128 * kPage, 0xFF));
  EXPECT_EQ(Pages(256, 8), Bytes(data.begin() + 8 * kPage, data.end()));
  EXPECT_EQ(sim_.NandHighWater(0), 264u * kPage);
  EXPECT_EQ(sim_.BadBlocks(0), std::vector<std::uint32_t>{1});
}

TEST_F(SimNand, AFailedOrCutProgramKeepsThePagesWritten) {
  BoardSpec spec = SmallChip();
  spec.faults.programFailBlocks = {2};
  Wire& wire = Plug(spec);
  EXPECT_EQ(wire.Program(126, 4, Bytes(4 * kPage, 0x5A)), 0u);
  EXPECT_EQ(Pages(126, 3), Runs({{2 * kPage, 0x5A}, {kPage, 0xFF}}));
  // Erasing the block works; only programs into it fail.
  EXPECT_EQ(wire.Operate(2, 1, 5), 1u);
  EXPECT_EQ(wire.Program(120, 1, Bytes(kPage, 0x00)), 121u);

  // Past the chip's end: the pages up to it are kept.
  Plug(SmallChip());
  EXPECT_EQ(wire.Program(1022, 4, Bytes(4 * kPage, 0x5A)), 0u);
  EXPECT_EQ(Pages(1022, 2), Bytes(2 * kPage, 0x5A));
  EXPECT_EQ(sim_.NandHighWater(0), 1024u * kPage);
  EXPECT_EQ(wire.ReadPages(1023, 2), Runs({{kPage, 0x5A}, {kPage, 0xFF}}));

  // An unplug when the program reaches a page: no answer, the pages before it kept.
  spec = SmallChip();
  spec.faults.unplugAtPage = 130;
  Plug(spec);
  EXPECT_EQ(wire.Program(128, 4, Bytes(4 * kPage, 0x00)), kStatusUnread);
  EXPECT_FALSE(sim_.IsPlugged(0));
  EXPECT_EQ(Pages(128, 3), Runs({{2 * kPage, 0x00}, {kPage, 0xFF}}));
}

TEST_F(SimNand, IdReplyIsFiveBytesOnModelsOneToThreeAndTwoHalvesOnModelZero) {
  BoardSpec spec = Stage2Board();
  spec.chip.mainId = 0xECD3, spec.chip.extId = 0x589551;
  Wire& wire = Plug(spec);
  ASSERT_TRUE(wire.Request(7, 0x0000));
  EXPECT_EQ(wire.Read(8), (Bytes{0xEC, 0xD3, 0x51, 0x95, 0x58, 0, 0, 0}));
  EXPECT_EQ(wire.Read(8), (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));

  spec.model = 0;
  spec.chip.mainId = 0xADD3, spec.chip.extId = 0x34A514;
  Plug(spec);
  ASSERT_TRUE(wire.Request(7, 0x0000));
  EXPECT_EQ(wire.Read(4), (Bytes{0xD3, 0x00, 0xAD, 0x00}));
  EXPECT_EQ(wire.Status(), 1u);
  ASSERT_TRUE(wire.Request(7, 0x0009));
  EXPECT_EQ(wire.Read(4), (Bytes{0x34, 0xA5, 0x14, 0x00}));
  EXPECT_EQ(wire.Status(), 1u);
}

// The simulator's chips are its own list, yet the station's lookup in its built-in
// table must find the same geometry for each of them (the Toshiba part it lacks).
TEST(SimNandChip, GeometryComesFromTheSimulatorsListAndAgreesWithTheStationsTable) {
  using G = std::array<std::uint32_t, 4>;  // page, block, spare, blocks
  const auto resolve = [](const ChipSpec& chip) {
    const ChipGeometry g = ResolveChipGeometry(chip);
    return G{g.pageSize, g.blockSize, g.spareSize, g.totalBlocks};
  };
  EXPECT_EQ(resolve({}), (G{2048, kBlock, 64, 8192}));  // 0xECD3 / 0x589551
  EXPECT_EQ(resolve({0xECD3, 0x589551, ChipGeometry{512, 16 * 1024, 16, 4096}}),
            (G{512, 16 * 1024, 16, 4096}));
  // No wildcard and no default: keys the list lacks are refused, a made-up chip needs
  // its own geometry.
  EXPECT_THROW(resolve({0xECD7, 0x123456, std::nullopt}), std::invalid_argument);
  EXPECT_EQ(resolve({0x0101, 0x010101, ChipGeometry{}}), (G{2048, kBlock, 64, 1024}));

  const std::vector<std::uint8_t> table = DefaultNandTableBytes();
  for (const SimChip& chip : SimChips()) {
    SCOPED_TRACE(chip.key);
    const NandMatch match = MatchNandPart(table, chip.mainId(), chip.extId());
    if (chip.key == "98DA:761590") {
      EXPECT_EQ(match.outcome, NandMatchOutcome::kNoMatch);
      continue;
    }
    ASSERT_EQ(match.outcome, NandMatchOutcome::kFound);
    const NandGeometry& station = match.geometry;
    EXPECT_EQ((G{station.pageSize, station.blockSize, station.spareSize, station.totalBlocks}),
              resolve({chip.mainId(), chip.extId(), std::nullopt}));
  }
}

TEST(SimNandChip, RandomBadBlocksAreReproducibleAndAvoidBlockZero) {
  const auto drawn = DrawRandomBadBlocks(42, 6, 64, {});
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
  EXPECT_EQ(std::count(bad.begin(), bad.end(), 5u), 1);
}

// Two stores stand for two boards that hold the same pages. Each step changes one of
// them; both must read like a plain byte array given the same steps, and the process
// must hold exactly the distinct non-blank pages they have between them.
TEST(SimSparseStore, SharedPagesChangeOnlyWhereChangedAndAreFreedWithTheLastHolder) {
  constexpr std::size_t kSpan = 2 * SparseStore::kPageSize;
  Bytes image(SparseStore::kPageSize);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 131 + 7);
  const Bytes mask(SparseStore::kPageSize, 0xF0), zeros(16, 0x00), blank(SparseStore::kPageSize, 0xFF);
  enum Op { kAnd, kErase, kWrite };
  struct Step { int store; Op op; std::size_t offset; const Bytes* data; std::size_t count; std::size_t shared; };
  const Step steps[] = {
      {0, kAnd, 0, &image, 0, 1},          // board 0 burns a page
      {1, kAnd, 0, &image, 0, 1},          // board 1 burns the same page: still one copy
      {0, kAnd, 0, &mask, 0, 2},           // board 0 programs it again: its own copy
      {0, kAnd, 0, &blank, 0, 2},          // 0xFF programs nothing
      {1, kErase, 0, nullptr, 2048, 1},    // board 1's reference released
      {0, kErase, 1024, nullptr, 1024, 1}, // half a page erased
      {0, kAnd, 2040, &zeros, 0, 2},       // across a page boundary
      {1, kWrite, 0, &image, 0, 3},
      {0, kErase, 0, nullptr, kSpan, 1},
  };
  const std::size_t before = SparseStore::SharedPageCount();
  {
    std::array<SparseStore, 2> stores;
    std::array<Bytes, 2> expected{Bytes(kSpan, 0xFF), Bytes(kSpan, 0xFF)};
    for (std::size_t i = 0; i < std::size(steps); ++i) {
      const Step& step = steps[i];
      SparseStore& store = stores[static_cast<std::size_t>(step.store)];
      Bytes& model = expected[static_cast<std::size_t>(step.store)];
      const std::size_t count = step.data != nullptr ? step.data->size() : step.count;
      for (std::size_t at = 0; at < count; ++at) {
        std::uint8_t& byte = model[step.offset + at];
        byte = step.op == kErase ? 0xFF : step.op == kWrite ? (*step.data)[at] : byte & (*step.data)[at];
      }
      if (step.op == kAnd) store.And(step.offset, step.data->data(), count);
      if (step.op == kWrite) store.Write(step.offset, step.data->data(), count);
      if (step.op == kErase) store.Erase(step.offset, count);
      for (std::size_t s = 0; s < stores.size(); ++s) {
        Bytes read(kSpan);
        stores[s].Read(0, read.data(), kSpan);
        EXPECT_EQ(read, expected[s]) << "step " << i << ", store " << s;
      }
      EXPECT_EQ(SparseStore::SharedPageCount() - before, step.shared) << "step " << i;
    }
  }
  EXPECT_EQ(SparseStore::SharedPageCount(), before);
}

}  // namespace
}  // namespace korvex::sim
