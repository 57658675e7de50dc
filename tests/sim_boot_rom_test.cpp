// The simulated boot ROM and stage 1 spoken to with raw requests: the downloads they
// refuse and how stage 1 judges FirmwareArgs. (Each model's texts and addresses are
// covered by the boot scenarios.)

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "protocol/byte_order.h"
#include "sim/boot_rom.h"
#include "sim/placeholder_firmware.h"
#include "sim/sim_host.h"

namespace korvex::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Args = std::array<std::uint8_t, kFirmwareArgsBytes>;

// cpuId 0x7130, 12 MHz x 28, divider 4, 32-bit SDRAM, 4 banks, 13 row and 9 column bits.
constexpr Args kPlausible = {0x30, 0x71, 0, 0, 12, 28, 4, 0, 0x00, 0xC2, 0x01, 0x00, 0, 1,
                             13,   9,    0, 1, 0,  0,  0, 0, 0,    0,    0,    0,    0, 0};

constexpr FirmwareStage Stage1 = FirmwareStage::Stage1, Stage2 = FirmwareStage::Stage2;
Bytes Image(FirmwareStage stage, int model, const Args& args = kPlausible) {
  Bytes image = MakePlaceholderFirmware(stage, model, 4096);
  std::copy(args.begin(), args.end(), image.begin() + 8);
  return image;
}

// Plays requests ({n, argument}) and writes ({kWrite, image index}) to a fresh model-2
// board and returns its trace.
constexpr std::uint32_t kWrite = 99;
std::vector<std::string> Play(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& steps,
                              const std::vector<Bytes>& images) {
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, BoardSpec{});
  std::uint32_t error = 0;
  const HostHandle handle = sim.OpenDevice(sim.SymbolicLinkOf(0), error);
  for (const auto& [n, argument] : steps) {
    if (n == kWrite) {
      const Bytes& image = images[argument];
      sim.WriteDevice(handle, image.data(), static_cast<std::uint32_t>(image.size()));
    } else {
      RequestBuffer in{}, out{};
      PutLe32(in, 0, argument);
      sim.DeviceIoControl(handle, 0x220000 + 4 * n, in, out);
    }
  }
  return sim.TraceText(0);
}

TEST(SimBootRom, DownloadsAreTakenOnlyWhereAndAsTheSiliconWould) {
  const std::vector<Bytes> images = {Image(Stage1, 2), Bytes(16385, 0), Image(Stage1, 3), Image(Stage2, 2)};
  EXPECT_EQ(Play({{1, 0x80000000}, {kWrite, 0},     {1, 0x80002000}, {kWrite, 1},     {4, 0x80002000},
                  {kWrite, 2},     {4, 0x80002000}, {kWrite, 3},     {4, 0x80002000}, {5, 0x80002000},
                  {kWrite, 0},     {9, 1},          {4, 0x80002000}, {1, 0x80A00000}, {1, 0x80900000},
                  {kWrite, 3},     {5, 0x80900000}, {3, 0},          {5, 0x80900000}, {0, 0}},
                 images),
            (std::vector<std::string>{"req 1 0x80000000 FAILED",  // model 0's stage-1 address
                                      "write 4096 FAILED",        // nowhere to put it
                                      "req 1 0x80002000",
                                      "write 16385 FAILED",       // more than on-chip memory holds
                                      "req 4 0x80002000 FAILED",  // so nothing to start
                                      "write 4096",
                                      "req 4 0x80002000 FAILED",  // Qx7105B's stage 1
                                      "write 4096",
                                      "req 4 0x80002000 FAILED",  // a stage-2 image
                                      "req 5 0x80002000 FAILED", "write 4096", "req 9 0x1 FAILED",
                                      "req 4 0x80002000",         // stage 1 runs
                                      "req 1 0x80a00000 FAILED",  // not the stage-2 address
                                      "req 1 0x80900000", "write 4096",
                                      "req 5 0x80900000 FAILED",  // caches not flushed
                                      "req 3 0x0", "req 5 0x80900000", "req 0 0x0"}));
}

TEST(SimBootRom, Stage1BringsUpSdramOnlyForPlausibleArgs) {
  struct Case {
    const char* name;
    std::size_t offset;  // inside FirmwareArgs
    std::uint8_t value;
    std::uint64_t sdramBytes;
  };
  for (const auto& c : {Case{"as is", 4, 12, 64u << 20}, Case{"extClk 11", 4, 11, 0}, Case{"396 MHz", 5, 33, 64u << 20},
                       Case{"432 MHz", 5, 36, 0}, Case{"13 x 28 MHz", 4, 13, 0}, Case{"phmDiv 0", 6, 0, 0},
                       Case{"16-bit bus", 12, 1, 32u << 20}, Case{"banks 2", 13, 2, 0}, Case{"col 7", 15, 7, 0},
                       Case{"row 11", 14, 11, 16u << 20}, Case{"row 14", 14, 14, 0}, Case{"bus share 2", 17, 2, 0}}) {
    Args args = kPlausible;
    args[c.offset] = c.value;
    EXPECT_EQ(SdramBytesFromFirmwareArgs(args), c.sdramBytes) << c.name;
  }
  // 2 MiB of SDRAM (16-bit, 2 banks, 11 x 8) ends below the stage-2 address.
  Args small = kPlausible;
  small[12] = 1, small[13] = 0, small[14] = 11, small[15] = 8;
  const auto trace = Play({{1, 0x80002000}, {kWrite, 0}, {4, 0x80002000}, {1, 0x80900000}}, {Image(Stage1, 2, small)});
  EXPECT_EQ(trace.back(), "req 1 0x80900000 FAILED");
}

}  // namespace
}  // namespace korvex::sim
