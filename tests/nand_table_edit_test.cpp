// The table dialog's operations: list, add and delete records of nand_cfg.bin.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <vector>

#include "device/device_session.h"
#include "file_size_limit.h"
#include "nandtable/default_nand_parts.h"
#include "nandtable/nand_cfg.h"
#include "nandtable/nand_table_edit.h"
#include "null_host.h"
#include "recording_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

std::vector<std::uint8_t> RecordBytes(const NandPartRecord& record) {
  const NandPartBytes bytes = SerializeNandPart(record);
  return {bytes.begin(), bytes.end()};
}

class NandTableEditTest : public ::testing::Test {
 protected:
  std::filesystem::path TablePath() const { return dir_.path() / "nand_cfg.bin"; }
  std::vector<std::uint8_t> FileBytes() const { return testing::ReadBytes(TablePath()); }
  void WriteFile(const std::vector<std::uint8_t>& bytes) { testing::WriteBytes(TablePath(), bytes); }

  testing::TempDir dir_;
  testing::NullHost inner_;
  testing::RecordingHost host_{inner_, dir_.path()};
  std::vector<NandTableRow> rows_;
  const NandPartFields burnable_{"", "ecda", "1", "2048", "128", "64", "1024"};
};

TEST_F(NandTableEditTest, RefreshListsEveryRecord) {
  ASSERT_TRUE(EnsureNandTable(host_));
  EXPECT_EQ(RefreshNandTable(host_, rows_), NandRefreshResult::kListed);
  ASSERT_EQ(rows_.size(), 92u);
  EXPECT_EQ(rows_[0], (NandTableRow{"Micr_MT29F32G08CBAAA", "2cd7", "843e94", "4096", "512", "218", "8192"}));
  EXPECT_EQ(rows_[2], (NandTableRow{"SAMSUNG_K9F1G08U0M", "ecf1", "0", "2048", "128", "64", "1024"}));
  EXPECT_EQ(rows_[56][2], "3682555");
  EXPECT_TRUE(host_.Messages().empty());

  WriteFile({});  // a failed refresh leaves the list empty
  EXPECT_EQ(RefreshNandTable(host_, rows_), NandRefreshResult::kReadFailed);
  EXPECT_TRUE(rows_.empty());
}

// A table that is missing, empty, a folder or far larger than any table (no reader
// takes the size it is given) stops each operation with one message; a missing or
// empty file is left as it was.
TEST_F(NandTableEditTest, UnusableTableStopsEveryOperationWithOneMessage) {
  enum Table { kMissing, kEmpty, kFolder, kHuge };
  enum Operation { kRefresh, kAdd, kDelete, kLookup };
  using RR = NandRefreshResult;
  using AR = NandAddResult;
  using DR = NandDeleteResult;
  DeviceSession session;
  session.device.host = &host_;
  session.port = 2;
  const auto run = [&](Operation operation) {
    if (operation == kRefresh) return static_cast<int>(RefreshNandTable(host_, rows_));
    if (operation == kAdd) return static_cast<int>(AddNandPart(host_, burnable_));
    if (operation == kDelete) return static_cast<int>(DeleteNandParts(host_, {0}));
    return LookupNandPartWithId(session, 0xECD3, 0x589551) ? 1 : 0;
  };
  constexpr auto n = [](auto result) { return static_cast<int>(result); };
  const std::string missing = "nand_cfg.bin不存在!!", unreadable = "读取nand_cfg.bin失败!!!";
  const struct { Table table; Operation operation; int result; std::string message; } cases[] = {
      {kMissing, kRefresh, n(RR::kNoTable), missing},      {kMissing, kAdd, n(AR::kNoTable), missing},
      {kMissing, kDelete, n(DR::kNoTable), missing},       {kEmpty, kDelete, n(DR::kReadFailed), unreadable},
      {kEmpty, kRefresh, n(RR::kReadFailed), "nand_cfg.bin读取失败!!"},
      {kFolder, kRefresh, n(RR::kUnreadable), unreadable}, {kHuge, kRefresh, n(RR::kUnreadable), unreadable},
      {kFolder, kAdd, n(AR::kReadFailed), unreadable},     {kHuge, kAdd, n(AR::kReadFailed), unreadable},
      {kFolder, kDelete, n(DR::kReadFailed), unreadable},  {kHuge, kDelete, n(DR::kReadFailed), unreadable},
      {kMissing, kLookup, 0, "找不到nand_cfg.bin!!!"},     {kEmpty, kLookup, 0, unreadable},
      {kFolder, kLookup, 0, unreadable},                   {kHuge, kLookup, 0, unreadable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("table " + std::to_string(c.table) + ", operation " + std::to_string(c.operation));
    std::filesystem::remove_all(TablePath());
    if (c.table == kEmpty) WriteFile({});
    if (c.table == kFolder) std::filesystem::create_directory(TablePath());
    if (c.table == kHuge) WriteFile(std::vector<std::uint8_t>(1024 * 1024 + 64));
    host_.ClearMessages();
    EXPECT_EQ(run(c.operation), c.result);
    ASSERT_EQ(host_.Messages().size(), 1u);
    EXPECT_EQ(host_.Messages()[0].text, c.message);
    EXPECT_EQ(host_.Messages()[0].caption, "Korvex");
    EXPECT_EQ(host_.Messages()[0].port, c.operation == kLookup ? 2 : kNoPort);
    if (c.table > kEmpty) continue;
    EXPECT_EQ(std::filesystem::exists(TablePath()), c.table == kEmpty);
    EXPECT_TRUE(FileBytes().empty());
  }
}

TEST(ParseFieldNumber, ReadsLikeStrtoul) {
  const struct { const char* text; int base; std::uint32_t value; } cases[] = {
      // Hex keys with and without 0x, blanks and empty fields are the add tests' cases.
      {" \t2048", 10, 2048}, {"2048 Bytes", 10, 2048}, {"0x", 16, 0}, {"0xg1", 16, 0}, {"0x10", 10, 0},
      {"+7", 10, 7}, {"-1", 10, 0xFFFFFFFF}, {"ffffffff", 16, 0xFFFFFFFF}, {"1ffffffff", 16, 0xFFFFFFFF},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseFieldNumber(c.text, c.base), c.value) << c.text << " base " << c.base;
}

// Fields that give a record the station can burn are appended; a missing field adds
// nothing and says nothing (the shells name their own field); geometry the station
// cannot burn adds nothing and is explained.
TEST_F(NandTableEditTest, AddAppendsTheParsedRecordOrRefuses) {
  using R = NandAddResult;
  const std::string notPow2 = " is not a power of two from 512 to 16384 bytes";
  struct Case {
    NandPartFields fields;
    R result;
    std::array<std::uint32_t, 4> keysPageBlock{};  // words 0, 1, 9, 10 of the new record
    std::string message{};  // the reason shown for geometry the station cannot burn
  };
  const Case cases[] = {
      {{"", "0xECD3", "0x642514", "4096", "512", "128", "8192"}, R::kAdded, {0xECD3, 0x642514, 4096, 524288}},
      {{"", "12345", "1", "2048", "128", "64", "1024"}, R::kAdded, {0x12345, 0x1, 2048, 131072}},
      {{"", " adf1", "", "2048", "128", "64", "1024"}, R::kAdded, {0xADF1, 0, 2048, 131072}},
      // The smallest page: 256 pages a block, and 2 blocks leave 1 good one.
      {{"", "ecda", "1", "512", "128", "64", "2"}, R::kAdded, {0xECDA, 1, 512, 131072}},
      {{"", "ecda", "1", "16384", "1024", "64", "1024"}, R::kAdded, {0xECDA, 1, 16384, 1048576}},
      {{"", "", "1", "2048", "128", "64", "1024"}, R::kMissingMainId},
      {{"", "ecd3", "1", "", "128", "64", "1024"}, R::kMissingPageSize},
      {{"", "ecd3", "1", "2048", "K", "64", "1024"}, R::kMissingBlockSize},
      {{"", "ecd3", "1", "2048", "4194304", "64", "1024"}, R::kMissingBlockSize},
      {{"", "ecd3", "1", "2048", "128", "0", "1024"}, R::kMissingSpareSize},
      {{"", "ecd3", "1", "2048", "128", "64", " "}, R::kMissingTotalBlocks},
      {{"", "ecda", "1", "3000", "128", "64", "1024"}, R::kPageSizeNotBurnable, {}, "page size 3000" + notPow2},
      {{"", "ecda", "1", "32768", "1024", "64", "1024"}, R::kPageSizeNotBurnable, {}, "page size 32768" + notPow2},
      // 4194305 KiB in bytes wraps to 1 KiB in the record's 32 bits.
      {{"", "ecda", "1", "512", "4194305", "64", "1024"}, R::kBlockOverOneWrite, {},
       "a block of 4194305 KiB is more than the 1024 KiB one write carries"},
      {{"", "ecda", "1", "4096", "2", "64", "1024"}, R::kBlockNotWholePages, {},
       "a block of 2 KiB is not a whole number of 4096-byte pages"},
      {{"", "ecda", "1", "512", "256", "64", "1024"}, R::kBlockOverSmallestZone, {},
       "a block of 512 pages is more than the 256 pages of the smallest image zone"},
      {{"", "ecda", "1", "2048", "128", "64", "1"}, R::kNoGoodBlocks, {},
       "1 block in all leaves no good block (999 of every 1024 count as good)"},
  };
  const std::vector<std::uint8_t> before = RecordBytes(kDefaultNandParts[0]);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields.mainId + " " + c.fields.pageSize + "/" + c.fields.blockSize + "/" + c.fields.totalBlocks);
    WriteFile(before);
    host_.ClearMessages();
    EXPECT_EQ(AddNandPart(host_, c.fields), c.result);
    const std::vector<std::string> shown{"The record was not added: " + c.message + "."};
    EXPECT_EQ(host_.MessageTexts(), c.message.empty() ? std::vector<std::string>{} : shown);
    const std::vector<std::uint8_t> bytes = FileBytes();
    if (c.result != R::kAdded) {
      EXPECT_EQ(bytes, before);
      continue;
    }
    ASSERT_EQ(bytes.size(), 128u);
    const NandPartRecord added = ParseNandPart(bytes, 1);
    EXPECT_EQ((std::array<std::uint32_t, 4>{added.mainId(), added.extId(), added.pageSize(), added.blockSize()}),
              c.keysPageBlock);
  }
}

TEST_F(NandTableEditTest, AddedRecordCarriesTheDefaults) {
  WriteFile(RecordBytes(kDefaultNandParts[0]));
  ASSERT_EQ(AddNandPart(host_, {"K9G8G08U0M", "ecd3", "642514", "2048", "256", "64", "4096"}), NandAddResult::kAdded);
  EXPECT_EQ(ParseNandPart(FileBytes(), 1).words,
            (std::array<std::uint32_t, 16>{0xECD3, 0x642514, 0, 0, 0, 0, 0, 0, 0, 2048, 262144, 64, 3, 3996, 4096, 0}));
  EXPECT_EQ(DefaultGoodBlocks(1000), 975u);
}

TEST_F(NandTableEditTest, DeleteRemovesTheSelectedRecordsOnly) {
  ASSERT_TRUE(EnsureNandTable(host_));
  const std::vector<std::uint8_t> before = FileBytes();
  EXPECT_EQ(DeleteNandParts(host_, {}), NandDeleteResult::kNothingSelected);
  EXPECT_EQ(FileBytes(), before);

  EXPECT_EQ(DeleteNandParts(host_, {5, 3}), NandDeleteResult::kDeleted);
  std::vector<std::uint8_t> expected = before;
  expected.erase(expected.begin() + 5 * 64, expected.begin() + 6 * 64);
  expected.erase(expected.begin() + 3 * 64, expected.begin() + 4 * 64);
  EXPECT_EQ(FileBytes(), expected);

  // Bytes past the last whole record are not written back.
  std::vector<std::uint8_t> partial = DefaultNandTableBytes();
  partial.resize(2 * 64 + 36);
  WriteFile(partial);
  EXPECT_EQ(DeleteNandParts(host_, {0}), NandDeleteResult::kDeleted);
  EXPECT_EQ(FileBytes(), RecordBytes(kDefaultNandParts[1]));
  EXPECT_TRUE(host_.Messages().empty());
}

TEST_F(NandTableEditTest, AddAfterACutRecordDropsItAndKeepsTheRowsAligned) {
  std::vector<std::uint8_t> cut = DefaultNandTableBytes();
  cut.resize(2 * 64 + 10);
  WriteFile(cut);
  const NandPartFields fields{"", "ecda", "123456", "2048", "128", "64", "1024"};
  ASSERT_EQ(AddNandPart(host_, fields), NandAddResult::kAdded);
  EXPECT_EQ(host_.MessageTexts(), std::vector<std::string>{"nand_cfg.bin ended in 10 bytes of a cut-off record; "
                                                           "they were dropped and the new record added as row 2."});
  const std::vector<std::uint8_t> bytes = FileBytes();
  ASSERT_EQ(bytes.size(), 3 * 64u);
  EXPECT_TRUE(std::equal(cut.begin(), cut.begin() + 128, bytes.begin()));
  EXPECT_EQ(ParseNandPart(bytes, 2).words, NandPartFromFields(fields).words);
}

// A disk that fills up while the table is written leaves the old table whole.
TEST_F(NandTableEditTest, FullDiskLeavesTheTableAsItWas) {
  const struct {
    const char* what;
    std::uintmax_t limit;  // what the file may grow to in bytes
    bool tableBefore;
    std::function<bool()> fails;
  } cases[] = {
      {"delete", 1000, true, [&] { return DeleteNandParts(host_, {0}) == NandDeleteResult::kWriteFailed; }},
      {"add", 92 * 64 + 32, true, [&] { return AddNandPart(host_, burnable_) == NandAddResult::kWriteFailed; }},
      {"create", 1000, false, [&] { return !EnsureNandTable(host_); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(TablePath());
    if (c.tableBefore) {
      ASSERT_TRUE(EnsureNandTable(host_));
    }
    const int child = testing::RunWithFileSizeLimit(c.limit, [&] {
      if (!c.fails()) return 1;
      const std::string expected = c.tableBefore ? "写nand_cfg.bin失败!!!" : "建立nandflash信息列表失败";
      return host_.MessageTexts() == std::vector<std::string>{expected} ? 0 : 2;
    });
    EXPECT_EQ(child, 0);
    EXPECT_EQ(std::filesystem::exists(TablePath()), c.tableBefore);
    if (c.tableBefore) {
      EXPECT_EQ(FileBytes(), DefaultNandTableBytes());
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), c.tableBefore ? 1 : 0)
        << "nothing left beside the table";
  }
}

}  // namespace
}  // namespace korvex
