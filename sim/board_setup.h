#pragma once
// What a virtual board is: its SoC model, its NAND chip and the faults it will show.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::sim {

// The chip's page data geometry. Spare bytes are not stored by the simulator.
struct ChipGeometry {
  std::uint32_t pageSize = 2048;
  std::uint32_t blockSize = 128 * 1024;  // bytes
  std::uint32_t spareSize = 64;
  std::uint32_t totalBlocks = 1024;
};

struct ChipSpec {
  std::uint16_t mainId = 0xECD3;  // maker, device
  std::uint32_t extId = 0x589551; // 3rd | 4th << 8 | 5th << 16
  // The geometry of a made-up chip; when unset the keys must name one of SimChips()
  // (sim/sim_chips.h), which gives the geometry.
  std::optional<ChipGeometry> geometry;
};

// Faults, all optional. Exchanges are counted per board from 1, every request, bulk
// write and bulk read alike.
struct FaultPlan {
  std::optional<std::uint64_t> unplugAfterExchange;  // unplugged once exchange N completed
  std::optional<std::uint32_t> unplugAtPage;         // unplugged when a program reaches view page P
  std::optional<std::uint32_t> failRequest;          // request number that fails ...
  std::uint32_t failRequestOccurrence = 1;           // ... at its k-th occurrence (1 = first)
  std::optional<std::uint64_t> hangAfterExchange;    // stops answering after exchange N
  std::optional<std::uint64_t> shortWrite;           // bulk write N moves fewer bytes than asked
  std::optional<std::uint64_t> shortRead;            // bulk read N moves fewer bytes than asked
  std::vector<std::uint32_t> badBlocks;              // factory bad physical blocks
  std::vector<std::uint32_t> programFailBlocks;      // programs into these blocks fail
  std::uint32_t randomBadBlocks = 0;                 // extra bad blocks drawn from seed
  std::optional<std::uint32_t> corruptPage;          // view page P reads back altered
  std::uint64_t seed = 1;
};

// "unplug-after=N,unplug-at-page=P,fail-request=N[@K],hang-after=N,bad=B;B,
//  program-fail=B;B,random-bad=N,seed=S,corrupt-page=P,short-write=N,short-read=N" in any order; nullopt and a message on error.
std::optional<FaultPlan> ParseFaultPlan(std::string_view text, std::string& error);
// The same text laid over an existing plan, as one port's faults go over every
// board's: a number it gives replaces the plan's, blocks it gives join the plan's.
// False with a message on error; `plan` may then hold part of the text.
bool ParseFaultPlanOnto(std::string_view text, FaultPlan& plan, std::string& error);

// The faults that live on the link rather than in the chip: the exchange counts, the
// page that pulls the board, the failing request, the hang and the short transfers.
void ClearLinkFaults(FaultPlan& plan);

// Where a board's firmware is: the boot ROM after power-up, stage 1 after request 4,
// stage 2 after request 5, halted after the reset.
enum class BoardStage { BootRom, Stage1, Stage2, Halted };

struct BoardSpec {
  int model = 2;  // cpuModel: 0 Qx7105\Qx7120, 1 Qx7130, 2 Qx7135, 3 Qx7105B
  ChipSpec chip;
  FaultPlan faults;
  // A board comes up in its boot ROM, as one freshly attached in USB boot mode. Set
  // this for one that already runs stage 2 (booted by an earlier job, or a scenario
  // that starts after the boot).
  bool startInStage2 = false;
};

// The identification text a board's stage-2 firmware answers to request 0.
std::string_view Stage2IdentificationText(int model);

}  // namespace korvex::sim
