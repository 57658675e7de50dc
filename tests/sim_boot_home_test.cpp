// The placeholder home: its configuration files read cleanly and pass the record
// check, its sample images fit their zones.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "boot/boot_config_parser.h"
#include "boot/boot_record.h"
#include "boot/station_model.h"
#include "sim/placeholder_home.h"
#include "temp_dir.h"

namespace korvex::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::ReadBytes;

TEST(PlaceholderHome, HoldsSoundConfigsAndImagesThatFitTheirZones) {
  testing::TempDir dir;
  std::string error;
  ASSERT_TRUE(WritePlaceholderHome(dir.path(), error)) << error;
  for (const CpuModelInfo& model : kCpuModels) {
    SCOPED_TRACE(model.folder);
    const std::filesystem::path folder = dir.path() / model.folder;
    // The firmware's header is checked by the boards themselves (boot scenarios).
    EXPECT_EQ(ReadBytes(folder / "fw.bin").size(), 4096u);
    EXPECT_EQ(ReadBytes(folder / "korvex.bin").size(), 262144u);
    for (const std::string name : {"Korvex2K.cfg", "Korvex4K.cfg"}) {
      DeviceSession session;
      session.cpuModel = model.index;
      if (model.index == kModelQx7120) SetConfigDefaults(session);
      ConfigDiagnostics diagnostics;
      EXPECT_EQ(ParseBootConfig(folder / name, session, &diagnostics), kParseOk) << name;
      EXPECT_TRUE(diagnostics.empty()) << name << ": " << diagnostics.at(0).text;
      EXPECT_TRUE(FindConfigRuleFailures(session.bootConfig).empty()) << name;
      EXPECT_EQ(session.bootConfig.nandPageSize, name == "Korvex2K.cfg" ? 2048u : 4096u);
    }
  }
  // Zone sizes in 2048-byte pages.
  const std::vector<std::pair<std::string, std::uint64_t>> zones = {
      {"nand.bin", 1024},      {"loader.bin", 256},   {"def_boot.bin", 256},
      {"img_boot.bin", 23552}, {"minios.bin", 24576}, {"res.bin", 48640}};
  // The identity pages (61..63) stay blank in nand.bin, so they can be programmed over it.
  const Bytes nand = ReadBytes(dir.path() / "images" / "nand.bin");
  EXPECT_EQ(Bytes(nand.begin() + 61 * 2048, nand.begin() + 64 * 2048), Bytes(3 * 2048, 0xFF));
  for (const auto& [name, pages] : zones) {
    SCOPED_TRACE(name);
    const Bytes image = ReadBytes(dir.path() / "images" / name);
    // Even with 2112 bytes a page (spare included) one block of the zone stays free.
    EXPECT_LT((image.size() + 64 * 2112 - 1) / (64 * 2112), pages / 64);
    EXPECT_NE(image.size() % (128 * 1024), 0u);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 20), "KORVEX SAMPLE IMAGE ");
    EXPECT_LT(std::count(image.begin(), image.end(), 0xFF),
              static_cast<std::ptrdiff_t>(image.size() / 64));
  }
}

}  // namespace
}  // namespace korvex::sim
