#pragma once
// The 16-bit NAND operation word carried by request 7, and the opcodes of the two
// stage-2 firmware families.

#include <cstdint>
#include <optional>

namespace korvex {

// Bits 0..3 opcode, 4..11 target, 12..15 transfer option.
struct NandWord {
  std::uint8_t opcode = 0;
  std::uint8_t target = 0;
  std::uint8_t option = 0;  // only program and read carry one

  constexpr std::uint16_t Pack() const {
    return static_cast<std::uint16_t>((option & 0xFu) << 12 | target << 4 | (opcode & 0xFu));
  }
};
// Each field stays in its own bits, the widest values included.
static_assert(NandWord{15, 255, 15}.Pack() == 0xFFFF && NandWord{7, 1, 0x12}.Pack() == 0x2017);

enum class NandOperation {
  kReadId,
  kReadExtendedId,  // model 0 only: its ID comes in two replies
  kErase,
  kReadPages,
  kProgramPages,
  kFormat,
  kFileSystemFormat,
};

struct NandOpcodes {
  std::uint8_t readId;
  std::optional<std::uint8_t> readExtendedId;
  std::uint8_t erase;
  std::uint8_t readPages;
  std::uint8_t programPages;
  std::uint8_t format;
  std::uint8_t fileSystemFormat;
};

// Models 1..3 (Qx7130, Qx7135, Qx7105B).
inline constexpr NandOpcodes kNandOpcodesModels1To3{0, std::nullopt, 5, 6, 7, 9, 10};
// Model 0 (Qx7105\Qx7120): its firmware numbers everything from 9 up one higher.
inline constexpr NandOpcodes kNandOpcodesModel0{0, 9, 5, 6, 7, 10, 11};

// The opcode set of a CPU model, or nullptr for a model outside 0..3.
constexpr const NandOpcodes* NandOpcodesFor(std::int32_t cpuModel) {
  if (cpuModel == 0) return &kNandOpcodesModel0;
  if (cpuModel >= 1 && cpuModel <= 3) return &kNandOpcodesModels1To3;
  return nullptr;
}

// The opcode of an operation on a CPU model; none for an unknown model or an
// operation the model's firmware does not have.
constexpr std::optional<std::uint8_t> NandOpcode(NandOperation operation, std::int32_t cpuModel) {
  const NandOpcodes* set = NandOpcodesFor(cpuModel);
  if (set == nullptr) return std::nullopt;
  switch (operation) {
    case NandOperation::kReadId: return set->readId;
    case NandOperation::kReadExtendedId: return set->readExtendedId;
    case NandOperation::kErase: return set->erase;
    case NandOperation::kReadPages: return set->readPages;
    case NandOperation::kProgramPages: return set->programPages;
    case NandOperation::kFormat: return set->format;
    case NandOperation::kFileSystemFormat: return set->fileSystemFormat;
  }
  return std::nullopt;
}

}  // namespace korvex
