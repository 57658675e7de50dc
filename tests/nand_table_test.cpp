// The built-in part list, the table file at start-up and the chip lookup.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "device/device_session.h"
#include "nandtable/default_nand_parts.h"
#include "nand/chip_lookup.h"
#include "nandtable/nand_cfg.h"
#include "null_host.h"
#include "recording_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using testing::RecordingHost;
using testing::WriteBytes;

std::vector<std::uint8_t> TableOf(const std::vector<NandPartRecord>& records) {
  std::vector<std::uint8_t> bytes;
  for (const NandPartRecord& record : records) {
    const NandPartBytes one = SerializeNandPart(record);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  return bytes;
}

NandPartRecord Part(std::uint32_t mainId, std::uint32_t extId, std::uint32_t pageSize, std::uint32_t blockSize) {
  NandPartRecord record;
  record.words[kWordMainId] = mainId, record.words[kWordExtId] = extId;
  record.words[kWordPageSize] = pageSize, record.words[kWordBlockSize] = blockSize;
  return record;
}

// The built-in rows against themselves: every name reference names a part, one
// reference per name, and the geometry of each row holds together.
TEST(DefaultNandParts, NamesAndGeometryHoldTogether) {
  std::map<std::string_view, std::uint32_t> refByName;
  std::set<std::uint32_t> refs;
  for (std::size_t i = 0; i < kDefaultNandParts.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    const NandPartRecord& row = kDefaultNandParts[i];
    const std::optional<std::string_view> name = NandPartName(row.nameRef());
    ASSERT_TRUE(name.has_value());
    EXPECT_EQ(refByName.emplace(*name, row.nameRef()).first->second, row.nameRef());
    refs.insert(row.nameRef());
    EXPECT_LE(row.mainId(), 0xFFFFu);
    EXPECT_TRUE(row.pageSize() == 2048 || row.pageSize() == 4096) << row.pageSize();
    EXPECT_EQ(row.blockSize() % (64 * row.pageSize()), 0u);  // 64, 128 or 256 pages
    EXPECT_TRUE(std::has_single_bit(row.totalBlocks())) << row.totalBlocks();
    EXPECT_LE(row.goodBlocks(), row.totalBlocks());
    EXPECT_GT(row.goodBlocks(), row.totalBlocks() / 10 * 9);
    EXPECT_TRUE(row.rowCycles() == 2 || row.rowCycles() == 3);
    EXPECT_TRUE(row.spareSize() > 0 && row.spareSize() <= row.pageSize() / 8);
  }
  EXPECT_EQ(refByName.size(), 82u);
  EXPECT_EQ(refs.size(), 82u);
  EXPECT_EQ(NandPartName(0), std::nullopt);
}

class NandTableFileTest : public ::testing::Test {
 protected:
  std::filesystem::path TablePath() const { return dir_.path() / "nand_cfg.bin"; }
  std::vector<std::uint8_t> FileBytes() const { return testing::ReadBytes(TablePath()); }

  testing::TempDir dir_;
  testing::NullHost inner_;
  RecordingHost host_{inner_, dir_.path()};
};

TEST_F(NandTableFileTest, MissingTableIsCreatedAndAnExistingOneKept) {
  EXPECT_EQ(NandTablePath(host_), TablePath());
  EXPECT_TRUE(EnsureNandTable(host_));
  EXPECT_EQ(FileBytes(), DefaultNandTableBytes());

  const std::vector<std::uint8_t> edited = {'e', 'd', 'i', 't'};
  WriteBytes(TablePath(), edited);
  EXPECT_TRUE(EnsureNandTable(host_));
  EXPECT_EQ(FileBytes(), edited);
  EXPECT_TRUE(host_.Messages().empty());
}

// Row 13 (SAMSUNG_K9K8G08U0A) of the file the station writes, byte by byte: each field
// at its own offset, little-endian. The lookups below read geometry back through the
// record's accessors.
TEST_F(NandTableFileTest, EachFieldOfARowSitsAtItsOwnByteOffsetInTheFile) {
  ASSERT_TRUE(EnsureNandTable(host_));
  const std::vector<std::uint8_t> file = FileBytes();
  constexpr std::size_t kRow = 13 * 64;
  ASSERT_GE(file.size(), kRow + 64);
  const struct { std::size_t offset; std::array<std::uint8_t, 4> bytes; } fields[] = {
      {0, {0xD3, 0xEC, 0x00, 0x00}},   // main ID 0xECD3
      {4, {0x51, 0x95, 0x58, 0x00}},   // ext ID 0x589551
      {36, {0x00, 0x08, 0x00, 0x00}},  // page size 2048
      {40, {0x00, 0x00, 0x02, 0x00}},  // block size 128 KiB
      {44, {0x40, 0x00, 0x00, 0x00}},  // spare size 64
      {48, {0x03, 0x00, 0x00, 0x00}},  // row cycles 3
      {52, {0x60, 0x1F, 0x00, 0x00}},  // good blocks 8032
      {56, {0x00, 0x20, 0x00, 0x00}},  // total blocks 8192
      {60, {0x09, 0x00, 0x00, 0x4E}},  // name reference: tag 'N', name 9
  };
  for (const auto& field : fields) {
    EXPECT_TRUE(std::equal(field.bytes.begin(), field.bytes.end(), file.begin() + kRow + field.offset))
        << "offset " << field.offset;
  }
  EXPECT_EQ(NandPartName(ParseNandPart(file, 13).nameRef()), "SAMSUNG_K9K8G08U0A");
}

TEST_F(NandTableFileTest, TableThatCannotBeCreatedIsReported) {
  // A program folder that is a plain file refuses the table even to root.
  const std::filesystem::path notAFolder = dir_.path() / "station";
  WriteBytes(notAFolder, {1});
  RecordingHost host(inner_, notAFolder);
  EXPECT_FALSE(EnsureNandTable(host));
  ASSERT_EQ(host.Messages().size(), 1u);
  EXPECT_EQ(host.Messages()[0].text, "建立nandflash信息列表失败");
  EXPECT_EQ(host.Messages()[0].caption, "");  // the system's default
  EXPECT_EQ(host.Messages()[0].port, kNoPort);
}

TEST(MatchNandPart, DefaultTable) {
  const struct {
    std::uint16_t mainId;
    std::uint32_t extId;
    std::optional<std::size_t> chosenRow;  // none: no match
    std::size_t matches, stopIndex;
  } cases[] = {
      {0xECF1, 0x123456, 2, 1, 92},  // wildcard row
      {0xECF1, 0, 2, 1, 92},
      {0xECD7, 0x78B655, 5, 2, 5},   // wildcard row 4 counted, exact row 5 wins
      {0xECD7, 0x123456, 4, 1, 92},  // only the wildcard fits
      {0xECD5, 0x682555, 6, 1, 6},   // never rows 7, 15, 54, 55 or 56
      {0xECD3, 0x589551, 13, 1, 13}, {0x98D5, 0x74BA94, 91, 1, 91},
      {0xECD5, 0x1682555, std::nullopt, 0, 92},  // bits above 23 are not the chip's
      {0x1234, 0x56, std::nullopt, 0, 92},
  };
  const std::vector<std::uint8_t> table = DefaultNandTableBytes();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.mainId) + "/" + std::to_string(c.extId));
    const NandMatch match = MatchNandPart(table, c.mainId, c.extId);
    EXPECT_EQ(match.outcome, c.chosenRow ? NandMatchOutcome::kFound : NandMatchOutcome::kNoMatch);
    EXPECT_EQ(match.recordCount, 92u);
    EXPECT_EQ(match.chosenRow, c.chosenRow);
    EXPECT_EQ(match.matches, c.matches);
    EXPECT_EQ(match.stopIndex, c.stopIndex);
  }
  EXPECT_EQ(MatchNandPart(table, 0xECD5, 0x682555).geometry, (NandGeometry{2048, 262144, 64, 3, 7992, 8192}));
  EXPECT_EQ(MatchNandPart({}, 0xECD3, 0x642514).outcome, NandMatchOutcome::kTooManyMatches);
}

TEST(MatchNandPart, LaterWildcardReplacesAnEarlierOne) {
  const std::vector<std::uint8_t> table = TableOf(
      {Part(0xADF1, 0, 2048, 1), Part(0xADF1, 0x1500, 2048, 2), Part(0xADF1, 0, 2048, 3), Part(0x1111, 0x1, 2048, 4)});
  EXPECT_EQ(MatchNandPart(table, 0xADF1, 0x9999).geometry.blockSize, 3u);
}

class LookupNandPartTest : public NandTableFileTest {
 protected:
  LookupNandPartTest() { session_.device.host = &host_, session_.port = 5; }
  DeviceSession session_;
};

TEST_F(LookupNandPartTest, KnownChipWritesItsGeometryIntoTheSession) {
  ASSERT_TRUE(EnsureNandTable(host_));
  EXPECT_TRUE(LookupNandPartWithId(session_, 0xECD7, 0x78B655));
  EXPECT_TRUE(host_.Messages().empty());
  EXPECT_EQ((std::array<std::uint32_t, 7>{session_.pageSize, session_.blockSize, session_.spareSize, session_.rowCycles,
                                          session_.goodBlocks, session_.totalBlocks, session_.is2KPage}),
            (std::array<std::uint32_t, 7>{4096, 524288, 128, 3, 7992, 8192, 0}));
}

TEST_F(LookupNandPartTest, FailuresShowTheirMessageOnThePort) {
  std::vector<std::uint8_t> hundredBytes = TableOf({Part(0x2CD7, 0x843E94, 4096, 0x80000)});
  const NandPartBytes ecf1 = SerializeNandPart(kDefaultNandParts[2]);
  hundredBytes.insert(hundredBytes.end(), ecf1.begin(), ecf1.begin() + 36);
  const struct {
    std::vector<std::uint8_t> file;
    std::uint16_t mainId;
    std::uint32_t extId;
    std::string message;
  } cases[] = {
      {TableOf({kDefaultNandParts[1]}), 0xECD3, 0x642514,
       "k = 1, IDCounter = 1, dwNandID = 0xecd3, dwNandExtID = 0x642514, i = 0."},
      {TableOf({kDefaultNandParts[2]}), 0xECF1, 0, "k = 1, IDCounter = 1, dwNandID = 0xecf1, dwNandExtID = 0, i = 1."},
      // The 36 bytes past the only whole record would match if they were read.
      {hundredBytes, 0xECF1, 0x1, "Flash: ID=0xecf1, ExtID=0x1. Use default para burning!"},
      {TableOf({kDefaultNandParts[0], Part(0x1111, 0x222, 0, 0x40000)}), 0x1111, 0x222,
       "ERROR:BlockSize = 0x40000, nandpagesize = 0."},
      {TableOf({kDefaultNandParts[0], Part(0x1111, 0x222, 2048, 0)}), 0x1111, 0x222,
       "ERROR:BlockSize = 0, nandpagesize = 0x800."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    WriteBytes(TablePath(), c.file);
    host_.ClearMessages();
    EXPECT_FALSE(LookupNandPartWithId(session_, c.mainId, c.extId));
    ASSERT_EQ(host_.Messages().size(), 1u);
    EXPECT_EQ(host_.Messages()[0].text, c.message);
    EXPECT_EQ(host_.Messages()[0].caption, "Korvex");
    EXPECT_EQ(host_.Messages()[0].port, 5);
  }
  // A zero size is reported after the geometry has reached the session.
  EXPECT_EQ(session_.pageSize, 2048u);
  EXPECT_EQ(session_.blockSize, 0u);
}

TEST_F(LookupNandPartTest, IdReadThatFailsOrDeliversNothing) {
  ASSERT_TRUE(EnsureNandTable(host_));
  // An unknown model fails inside the ID read, whose message is the only one; with
  // no target enabled the keys stay 0 and the lookup names them.
  const struct {
    std::uint8_t targetEnabled;
    std::int32_t cpuModel;
    std::string message;
  } cases[] = {{1, 7, "cpu id version error!"}, {0, 2, "Flash: ID=0, ExtID=0. Use default para burning!"}};
  for (const auto& c : cases) {
    std::uint8_t enable[kTargetTableSize] = {c.targetEnabled};
    session_.targetEnable = enable;
    session_.cpuModel = c.cpuModel;
    host_.ClearMessages();
    EXPECT_EQ(LookupNandPart(session_), ChipLookup::kNotFound);
    EXPECT_EQ(host_.MessageTexts(), std::vector<std::string>{c.message});
    EXPECT_EQ(session_.pageSize, 0u);
  }
}

TEST_F(LookupNandPartTest, PageSizeDecidesThe2KFlag) {
  const struct {
    std::uint32_t pageSize, flagBefore, flagAfter;
  } cases[] = {{4096, 1, 0}, {2048, 0, 1}, {512, 1, 1}, {512, 0, 0}};
  for (const auto& c : cases) {
    WriteBytes(TablePath(), TableOf({kDefaultNandParts[0], Part(0x1111, 0x222, c.pageSize, 0x20000)}));
    session_.is2KPage = c.flagBefore;
    EXPECT_TRUE(LookupNandPartWithId(session_, 0x1111, 0x222));
    EXPECT_EQ(session_.is2KPage, c.flagAfter) << c.pageSize << " from " << c.flagBefore;
  }
}

}  // namespace
}  // namespace korvex
