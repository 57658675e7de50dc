// The built-in part list, the table file at start-up and the chip lookup.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
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

using testing::NullHost;
using testing::RecordingHost;
using testing::TempDir;

// Every built-in row as the part list is published: name, main/ext ID in hex, and
// page/block KiB/spare/row cycles/good blocks/total blocks.
constexpr const char* kListedParts[] = {
    "Micr_MT29F32G08CBAAA 2CD7/843E94 4096/512/218/3/7992/8192",
    "SAMSUNG_K9G8G08U0M ECD3/642514 2048/256/64/3/3996/4096",
    "SAMSUNG_K9F1G08U0M ECF1/0 2048/128/64/3/1004/1024",
    "SAMSUNG_K9GAG08U0M ECD5/74B614 4096/512/128/3/3996/4096",
    "SAMSUNG_K9LBG08U0M ECD7/0 4096/512/128/3/7992/8192",
    "SAMSUNG_K9LBG08U0M ECD7/78B655 4096/512/128/3/7992/8192",
    "SAMSUNG_K9HBG08U1M ECD5/682555 2048/256/64/3/7992/8192",
    "SAMSUNG_K9HBG08U1M ECD5/1682555 2048/256/64/3/15984/16384",
    "HYNIX_HY27UU08AG5M ADD3/64A514 2048/256/64/3/3996/4096",
    "HYNIX_HY27UU08AG5M ADD3/164A514 2048/256/64/3/7992/8192",
    "HY27UT088G2M ADD3/64A514 2048/256/64/3/3996/4096",
    "SAMSUNG_K9LBG08U0M ECD7/78B655 4096/512/64/3/7992/8192",
    "SAMSUNG_K9G8G08U0A ECD3/64A514 2048/256/64/3/3996/4096",
    "SAMSUNG_K9K8G08U0A ECD3/589551 2048/128/64/3/8032/8192",
    "SAMSUNG_K9G8G08U0B ECD3/64A514 2048/256/64/3/3996/4096",
    "SAMSUNG_K9LAG08U0M ECD5/682555 2048/256/64/3/7992/8192",
    "SAMSUNG_********** ECD5/68A555 2048/256/64/3/7992/8192",
    "SAMSUNG_K9LBG08U0M ECD7/78B655 4096/512/128/3/7992/8192",
    "SAMSUNG_K9LBG08U0D ECD7/3829D5 4096/512/218/3/7992/8192",
    "HYNIX_HY27UT088G2A ADD3/34A514 2048/256/64/3/3996/4096",
    "HYNIX_HY27UF081G2M ADF1/1500 2048/128/64/2/1004/1024",
    "HYNIX_HY27UU08AG5A ADD3/134A514 2048/256/64/3/7992/8192",
    "HYNIX_HY27UV08BG5A ADD5/138A555 2048/256/64/3/15984/16384",
    "HYNIX_HY27UU088G5M ADDC/1002584 2048/256/64/3/3978/4096",
    "HYNIX_HY27UU08AG5M ADD3/164A514 2048/256/64/3/7992/8192",
    "Micr_MT29F16G08MAA 2CD3/743E94 4096/512/128/3/3936/4096",
    "Micr_MT29F32G08QAA 2CD5/743E94 4096/512/128/3/7872/8192",
    "Micr_MT29F64G08TAA 2CD5/783ED5 4096/512/128/3/15744/16384",
    "INTEL_29F16G08AAMC1 89D5/743E94 4096/512/128/3/3936/4096",
    "INTEL_29F32G08CAMC1 89D5/1743E94 4096/512/128/3/7872/8192",
    "INTEL_29F64G08FAMC1 89D7/1783ED5 4096/512/128/3/15744/16384",
    "INTEL_29F32G08AAMDB 8968/A94604 4096/1024/218/3/3936/4096",
    "INTEL_29F32G08AAMDB 2C68/A94604 4096/1024/218/3/3936/4096",
    "INTEL_29F32G08AAMDB 8948/A54604 4096/1024/218/3/3936/4096",
    "HYNIX_HY27UT088G2A ADD3/34A514 2048/256/64/3/3996/4096",
    "HYNIX_HY27UT088G2M ADD3/64A514 2048/256/64/3/3996/4096",
    "HYNIX_HY27UU088G5A ADDC/1002584 2048/256/64/3/3978/4096",
    "HYNIX_HY27UV08AG5A ADD3/1002585 2048/256/64/3/7956/8192",
    "HYNIX_HY27UV08BG5M ADD5/138A555 2048/256/64/3/15984/16384",
    "HYNIX_HY27UT084G2M ADDC/2584 2048/256/64/3/1989/2048",
    "HYNIX_HY27UF081G2A ADF1/1D80 2048/128/64/2/1004/1024",
    "HYNIX_HY27UH08AGDM ADD3/10095C1 2048/128/64/3/16064/16384",
    "HYNIX_HY27UH08AG5M ADD3/10095C1 2048/128/64/3/16064/16384",
    "HYNIX_HY27UH088GDM ADDC/1500 2048/128/64/3/8032/8192",
    "HYNIX_HY27UH088G2M ADD3/1500 2048/128/64/3/8032/8192",
    "HYNIX_HY27UG088G5M ADDC/1009580 2048/128/64/3/8032/8192",
    "HYNIX_HY27UG088GDM ADDC/1009580 2048/128/64/3/8032/8192",
    "HYNIX_HY27UF084G2M ADDC/9580 2048/128/64/3/4016/4096",
    "HYNIX_HY27UG084G2M ADDC/1500 2048/128/64/3/4016/4096",
    "HYNIX_HY27UG084GDM ADDA/1500 2048/128/64/3/4016/4096",
    "HYNIX_HY27UF082G2M ADDA/AD1580 2048/128/64/3/2008/2048",
    "HYNIX_HY27UAG8T2ATR ADD5/442594 4096/512/218/3/3996/4096",
    "HYNIX_HY27UAG8T2ATR ADD7/749A94 4096/512/218/3/3996/4096",
    "SAMSUNG_K9L8G08U0M ECD3/582555 2048/256/64/3/3996/4096",
    "SAMSUNG_K9LAG08U0A ECD5/682555 2048/256/64/3/7992/8192",
    "SAMSUNG_K9HBG08U1A ECD5/1682555 2048/256/64/3/15984/16384",
    "SAMSUNG_K9MCG08U5M ECD5/3682555 2048/256/64/3/31968/32768",
    "SAMSUNG_K9HCG08U1M ECD7/178B655 4096/512/128/3/15984/16384",
    "SAMSUNG_K9LAG08U1M ECD3/1642514 2048/256/64/3/7992/8192",
    "SAMSUNG_K9K8G08U1M ECD3/1009510 2048/128/64/3/8032/8192",
    "SAMSUNG_K9WAG08U1M ECD3/1589551 2048/128/64/3/16064/16384",
    "SAMSUNG_K9W8G08U1M ECDC/1001500 2048/128/64/3/8032/8192",
    "SAMSUNG_K9F8G08U0M ECD3/64A610 4096/256/128/3/4016/4096",
    "SAMSUNG_K9NBG08U5M ECD3/3589551 2048/128/64/3/32128/32768",
    "SAMSUNG_K9HAG08U1M ECD3/1642514 2048/256/64/3/7992/8192",
    "SAMSUNG_K9GAG08U0D ECD5/342994 4096/512/218/3/3996/4096",
    "MICRON_MT29F8G08FACWP 2CDC/1001500 2048/128/64/3/8032/8192",
    "MICRON_MT29F8G08FABWP 2CDC/1001500 2048/128/64/3/8032/8192",
    "MICRON_MT29F8G08BAA 2CD3/5895D1 2048/128/64/3/8032/8192",
    "MICRON_MT29F8G08DAA 2CDC/1549590 2048/128/64/3/8032/8192",
    "MICRON_MT29F16G08FAA 2CD3/15895D1 2048/128/64/3/16064/16384",
    "MICRON_MT29F8G08AAA 2CD3/642E90 4096/256/128/3/4016/4096",
    "MICRON_MT29F16G08DAA 2CD3/1642E90 4096/256/128/3/8032/8192",
    "MICRON_MT29F32G08FAA 2CD5/1682ED1 4096/256/128/3/16064/16384",
    "MICRON_MT29F8G08MAAWC 2CD3/64A594 2048/256/64/3/4016/4096",
    "MICRON_MT29F16G08QAAWC 2CD3/164A594 2048/256/64/3/8032/8192",
    "MICRON_MT29F32G08TAAWC 2CD5/168A5D5 2048/256/64/3/16064/16384",
    "MICRON_29F128G08CJAAA 2CD9/883ED5 4096/512/218/3/31968/32768",
    "INTEL_29F16G08FANB1 89D3/15895D1 2048/128/64/3/16064/16384",
    "INTEL_29F08G08AAMB1 89D3/64A594 2048/256/64/3/3936/4096",
    "INTEL_29F16G08CAMB1 89D3/164A594 2048/256/64/3/7872/8192",
    "INTEL_29F32G08FAMB1 89D5/168A5D5 2048/256/64/3/15744/16384",
    "INTEL_29F08G08AAMB2 89D3/64A594 2048/256/64/3/3936/4096",
    "INTEL_29F16G08CAMB2 89D3/164A594 2048/256/64/3/7872/8192",
    "INTEL_29F32G08FAMB2 89D5/168A5D5 2048/256/64/3/15744/16384",
    "STMicro_NAND08GW3B2AN6 20D3/9581 2048/128/64/3/8032/8192",
    "STMicro_NAND08GW3C2AN1 20D3/6CA514 2048/256/64/3/4016/4096",
    "Intel_29F32G08AAMD2 89D7/843E94 4096/512/218/3/7992/8192",
    "Intel_29F128G08FAMD2 89D7/883ED5 4096/512/218/3/31968/32768",
    "Spectek_FBNL63A513KPG B5D7/843E94 4096/512/218/3/7992/8192",
    "HYNIX_H27UAG8T2MTR ADD5/44B614 4096/512/128/3/3996/4096",
    "TOSHIBA_TC58NVG4D1DTG00 98D5/74BA94 4096/512/218/2/3996/4096",
};
const std::set<std::size_t> kListedShadowedRows = {
    7,  9,  10, 11, 14, 15, 17, 21, 24, 29, 34, 35, 36, 38, 39, 42, 46, 47,
    48, 54, 55, 56, 57, 58, 60, 63, 64, 67, 70, 72, 75, 80, 82, 83, 84};

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> TableOf(const std::vector<NandPartRecord>& records) {
  std::vector<std::uint8_t> bytes;
  for (const NandPartRecord& record : records) {
    const NandPartBytes one = SerializeNandPart(record);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  return bytes;
}

NandPartRecord Part(std::uint32_t mainId, std::uint32_t extId, std::uint32_t pageSize,
                    std::uint32_t blockSize) {
  NandPartRecord record;
  record.words[kWordMainId] = mainId;
  record.words[kWordExtId] = extId;
  record.words[kWordPageSize] = pageSize;
  record.words[kWordBlockSize] = blockSize;
  return record;
}

TEST(DefaultNandParts, EveryRowIsTheListedPart) {
  ASSERT_EQ(std::size(kListedParts), kDefaultNandParts.size());
  std::map<std::string, std::uint32_t> refByName;
  std::set<std::uint32_t> refs;
  for (std::size_t i = 0; i < kDefaultNandParts.size(); ++i) {
    SCOPED_TRACE(kListedParts[i]);
    const NandPartRecord& row = kDefaultNandParts[i];
    char name[32] = {};
    std::array<unsigned, 8> listed{};
    ASSERT_EQ(9, std::sscanf(kListedParts[i], "%31s %x/%x %u/%u/%u/%u/%u/%u", name, &listed[0],
                             &listed[1], &listed[2], &listed[3], &listed[4], &listed[5],
                             &listed[6], &listed[7]));
    listed[3] *= 1024;
    EXPECT_EQ((std::array<unsigned, 8>{row.mainId(), row.extId(), row.pageSize(),
                                       row.blockSize(), row.spareSize(), row.rowCycles(),
                                       row.goodBlocks(), row.totalBlocks()}),
              listed);
    EXPECT_EQ(NandPartName(row.nameRef()), std::string_view(name));
    // One reference per distinct name, shared by every row of that name.
    const auto [known, fresh] = refByName.emplace(name, row.nameRef());
    EXPECT_EQ(known->second, row.nameRef());
    EXPECT_EQ(refs.insert(row.nameRef()).second, fresh);
  }
  EXPECT_EQ(refByName.size(), 82u);
  EXPECT_EQ(NandPartName(0), std::nullopt);
}

TEST(DefaultNandParts, TellingRowsCarryTheirWords2To8) {
  const std::map<std::size_t, std::array<std::uint32_t, 7>> rows = {
      {0, {1, 10, 5, 10, 10, 100, 60}},          {1, {2, 15, 5, 15, 15, 60, 60}},
      {2, {1, 15, 5, 15, 15, 100, 60}},          {4, {1, 12, 5, 12, 12, 100, 60}},
      {5, {1, 12, 5, 15, 15, 100, 60}},          {10, {0x400002, 12, 5, 12, 12, 100, 80}},
      {20, {1, 5, 15, 25, 40, 60, 60}},          {31, {1, 10, 5, 10, 10, 100, 60}},
      {56, {0x800002, 25, 10, 25, 25, 100, 60}}, {65, {0x7FF7F1, 15, 5, 15, 15, 100, 60}},
      {91, {1, 10, 6, 15, 15, 30, 100}},
  };
  for (const auto& [index, words] : rows) {
    EXPECT_TRUE(std::equal(words.begin(), words.end(), kDefaultNandParts[index].words.begin() + 2))
        << "row " << index;
  }
}

TEST(DefaultNandParts, WildcardRowsAndRowsTheLookupNeverChooses) {
  const std::vector<std::uint8_t> table = DefaultNandTableBytes();
  std::set<std::size_t> wildcards, shadowed;
  for (std::size_t i = 0; i < kDefaultNandParts.size(); ++i) {
    const NandPartRecord& row = kDefaultNandParts[i];
    if (row.extId() == 0) {
      wildcards.insert(i);
    } else if (MatchNandPart(table, static_cast<std::uint16_t>(row.mainId()),
                             row.extId() & 0xFFFFFF).chosenRow != i) {
      shadowed.insert(i);
    }
  }
  EXPECT_EQ(wildcards, (std::set<std::size_t>{2, 4}));
  EXPECT_EQ(shadowed, kListedShadowedRows);
}

TEST(DefaultNandParts, FileImageIsTheRecordsLittleEndian) {
  const std::vector<std::uint8_t> bytes = DefaultNandTableBytes();
  ASSERT_EQ(bytes.size(), 5888u);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 12),
            (std::vector<std::uint8_t>{0xD7, 0x2C, 0, 0, 0x94, 0x3E, 0x84, 0, 1, 0, 0, 0}));
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 56 * 64 + 4, bytes.begin() + 56 * 64 + 8),
            (std::vector<std::uint8_t>{0x55, 0x25, 0x68, 0x03}));
  for (std::size_t i = 0; i < kDefaultNandParts.size(); ++i) {
    EXPECT_EQ(ParseNandPart(bytes, i).words, kDefaultNandParts[i].words) << "row " << i;
  }
}

class NandTableFileTest : public ::testing::Test {
 protected:
  std::filesystem::path TablePath() const { return dir_.path() / "nand_cfg.bin"; }
  std::vector<std::uint8_t> FileBytes() const {
    std::ifstream file(TablePath(), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

  TempDir dir_;
  NullHost inner_;
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
// at its own offset, little-endian, and the station's lookup reading back the same
// values. A wrong word number in the record's accessors moves or misreads a field here.
TEST_F(NandTableFileTest, EachFieldOfARowSitsAtItsOwnByteOffsetInTheFile) {
  ASSERT_TRUE(EnsureNandTable(host_));
  const std::vector<std::uint8_t> file = FileBytes();
  constexpr std::size_t kRow = 13 * 64;
  ASSERT_GE(file.size(), kRow + 64);
  const struct {
    std::size_t offset;
    std::array<std::uint8_t, 4> bytes;
  } fields[] = {
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
  const NandMatch match = MatchNandPart(file, 0xECD3, 0x589551);
  EXPECT_EQ(match.chosenRow, 13u);
  EXPECT_EQ(match.geometry, (NandGeometry{2048, 128 * 1024, 64, 3, 8032, 8192}));
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
  struct Case {
    std::uint16_t mainId;
    std::uint32_t extId;
    std::optional<std::size_t> chosenRow;  // none: no match
    std::size_t matches;
    std::size_t stopIndex;
  };
  const Case cases[] = {
      {0xECF1, 0x123456, 2, 1, 92},  // wildcard row
      {0xECF1, 0, 2, 1, 92},
      {0xECD7, 0x78B655, 5, 2, 5},   // wildcard row 4 counted, exact row 5 wins
      {0xECD7, 0x123456, 4, 1, 92},  // only the wildcard fits
      {0xECD5, 0x682555, 6, 1, 6},   // never rows 7, 15, 54, 55 or 56
      {0xECD3, 0x589551, 13, 1, 13},
      {0x98D5, 0x74BA94, 91, 1, 91},
      {0xECD5, 0x1682555, std::nullopt, 0, 92},  // bits above 23 are not the chip's
      {0x1234, 0x56, std::nullopt, 0, 92},
  };
  const std::vector<std::uint8_t> table = DefaultNandTableBytes();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mainId) + "/" + std::to_string(c.extId));
    const NandMatch match = MatchNandPart(table, c.mainId, c.extId);
    EXPECT_EQ(match.outcome, c.chosenRow ? NandMatchOutcome::kFound : NandMatchOutcome::kNoMatch);
    EXPECT_EQ(match.recordCount, 92u);
    EXPECT_EQ(match.chosenRow, c.chosenRow);
    EXPECT_EQ(match.matches, c.matches);
    EXPECT_EQ(match.stopIndex, c.stopIndex);
  }
  EXPECT_EQ(MatchNandPart(table, 0xECD5, 0x682555).geometry,
            (NandGeometry{2048, 262144, 64, 3, 7992, 8192}));
  EXPECT_EQ(MatchNandPart({}, 0xECD3, 0x642514).outcome, NandMatchOutcome::kTooManyMatches);
}

TEST(MatchNandPart, LaterWildcardReplacesEarlierOneButNotAnExactRow) {
  const std::vector<std::uint8_t> table =
      TableOf({Part(0xADF1, 0, 2048, 1), Part(0xADF1, 0x1500, 2048, 2),
               Part(0xADF1, 0, 2048, 3), Part(0x1111, 0x1, 2048, 4)});
  EXPECT_EQ(MatchNandPart(table, 0xADF1, 0x9999).geometry.blockSize, 3u);
  EXPECT_EQ(MatchNandPart(table, 0xADF1, 0x1500).geometry.blockSize, 2u);
}

class LookupNandPartTest : public NandTableFileTest {
 protected:
  LookupNandPartTest() {
    session_.device.host = &host_;
    session_.port = 5;
  }
  DeviceSession session_;
};

TEST_F(LookupNandPartTest, KnownChipWritesItsGeometryIntoTheSession) {
  ASSERT_TRUE(EnsureNandTable(host_));
  EXPECT_TRUE(LookupNandPartWithId(session_, 0xECD7, 0x78B655));
  EXPECT_TRUE(host_.Messages().empty());
  EXPECT_EQ((std::array<std::uint32_t, 7>{session_.pageSize, session_.blockSize,
                                          session_.spareSize, session_.rowCycles,
                                          session_.goodBlocks, session_.totalBlocks,
                                          session_.is2KPage}),
            (std::array<std::uint32_t, 7>{4096, 524288, 128, 3, 7992, 8192, 0}));
}

TEST_F(LookupNandPartTest, FailuresShowTheirMessageOnThePort) {
  std::vector<std::uint8_t> hundredBytes = TableOf({Part(0x2CD7, 0x843E94, 4096, 0x80000)});
  const NandPartBytes ecf1 = SerializeNandPart(kDefaultNandParts[2]);
  hundredBytes.insert(hundredBytes.end(), ecf1.begin(), ecf1.begin() + 36);
  struct Case {
    std::optional<std::vector<std::uint8_t>> file;  // none: no table file
    std::uint16_t mainId;
    std::uint32_t extId;
    std::string message;
  };
  const Case cases[] = {
      {std::nullopt, 0xECD3, 0x642514, "找不到nand_cfg.bin!!!"},
      {std::vector<std::uint8_t>{}, 0xECD3, 0x642514, "读取nand_cfg.bin失败!!!"},
      {DefaultNandTableBytes(), 0x1234, 0x56,
       "Flash: ID=0x1234, ExtID=0x56. Use default para burning!"},
      {TableOf({kDefaultNandParts[1]}), 0xECD3, 0x642514,
       "k = 1, IDCounter = 1, dwNandID = 0xecd3, dwNandExtID = 0x642514, i = 0."},
      {TableOf({kDefaultNandParts[2]}), 0xECF1, 0,
       "k = 1, IDCounter = 1, dwNandID = 0xecf1, dwNandExtID = 0, i = 1."},
      // The 36 bytes past the only whole record would match if they were read.
      {hundredBytes, 0xECF1, 0x1, "Flash: ID=0xecf1, ExtID=0x1. Use default para burning!"},
      {TableOf({kDefaultNandParts[0], Part(0x1111, 0x222, 0, 0x40000)}), 0x1111, 0x222,
       "ERROR:BlockSize = 0x40000, nandpagesize = 0."},
      {TableOf({kDefaultNandParts[0], Part(0x1111, 0x222, 2048, 0)}), 0x1111, 0x222,
       "ERROR:BlockSize = 0, nandpagesize = 0x800."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::filesystem::remove(TablePath());
    if (c.file) WriteBytes(TablePath(), *c.file);
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
  struct Case {
    std::uint8_t targetEnabled;
    std::int32_t cpuModel;
    std::string message;
  };
  // An unknown model fails inside the ID read, whose message is the only one; with
  // no target enabled the keys stay 0 and the lookup names them.
  const Case cases[] = {{1, 7, "cpu id version error!"},
                        {0, 2, "Flash: ID=0, ExtID=0. Use default para burning!"}};
  for (const Case& c : cases) {
    std::uint8_t enable[kTargetTableSize] = {c.targetEnabled};
    session_.targetEnable = enable;
    session_.cpuModel = c.cpuModel;
    host_.ClearMessages();
    EXPECT_FALSE(LookupNandPart(session_));
    EXPECT_EQ(host_.MessageTexts(), std::vector<std::string>{c.message});
    EXPECT_EQ(session_.pageSize, 0u);
  }
}

TEST_F(LookupNandPartTest, PageSizeDecidesThe2KFlag) {
  struct Case {
    std::uint32_t pageSize, flagBefore, flagAfter;
  };
  const Case cases[] = {{4096, 1, 0}, {2048, 0, 1}, {512, 1, 1}, {512, 0, 0}};
  for (const Case& c : cases) {
    WriteBytes(TablePath(),
               TableOf({kDefaultNandParts[0], Part(0x1111, 0x222, c.pageSize, 0x20000)}));
    session_.is2KPage = c.flagBefore;
    EXPECT_TRUE(LookupNandPartWithId(session_, 0x1111, 0x222));
    EXPECT_EQ(session_.is2KPage, c.flagAfter) << c.pageSize << " from " << c.flagBefore;
  }
}

}  // namespace
}  // namespace korvex
