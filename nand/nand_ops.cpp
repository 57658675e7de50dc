#include "nand/nand_ops.h"

#include <algorithm>
#include <cstddef>

#include "protocol/byte_order.h"
#include "device/device_texts.h"
#include "device/request_channel.h"
#include "device/requests.h"
#include "nand/nand_texts.h"
#include "protocol/nand_word.h"

namespace korvex {

namespace {

// Reads always ask for page data without spare bytes.
constexpr std::uint8_t kReadOption = kOptionNoOob;
// ID replies: eight bytes on models 1..3, two replies of four on model 0.
constexpr std::uint32_t kIdReplySize = 8;
constexpr std::uint32_t kModel0IdReplySize = 4;

void ShowCpuModelError(DeviceSession& session) {
  session.ShowBox(kCpuIdVersionErrorText);
}

// An operation without data: the word, then the status it is always followed by.
// False when either failed at the host; the status is not asked for after a failed
// word, the link is gone.
bool SendOperation(DeviceSession& session, NandWord word) {
  return NandOps(session.device, word.Pack()) == kRequestOk && ReadStatus(session);
}

NandResult OpResult(bool exchanged, std::uint32_t pages = 0) {
  if (!exchanged) return {NandStatus::kLinkLost, 0};
  return {NandStatus::kOk, pages};
}

constexpr NandResult kNothingSent{NandStatus::kOk, 0};
constexpr NandResult kRefusal{NandStatus::kRefused, 0};

// A session without page geometry asks for no pages rather than dividing by zero.
std::uint64_t Quotient(std::uint64_t value, std::uint64_t divisor) {
  return divisor == 0 ? 0 : value / divisor;
}

// False when an exchange failed at the host; both keys are then 0 (the tail would
// hold an earlier answer).
bool ReadIdModels1To3(DeviceSession& session, std::uint8_t target, std::uint16_t& mainId,
                      std::uint32_t& extId) {
  mainId = 0, extId = 0;
  if (NandOps(session.device, NandWord{kNandOpcodesModels1To3.readId, target, 0}.Pack()) !=
          kRequestOk ||
      !BulkRead(session.device, session.tail, kIdReplySize)) {
    return false;
  }
  const std::uint8_t* b = session.tail;
  mainId = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
  extId = static_cast<std::uint32_t>(b[2]) | static_cast<std::uint32_t>(b[3]) << 8 |
          static_cast<std::uint32_t>(b[4]) << 16;
  return ReadStatus(session);
}

// Model 0's firmware answers the ID in two four-byte replies with their own layout.
bool ReadIdModel0(DeviceSession& session, std::uint8_t target, std::uint16_t& mainId,
                  std::uint32_t& extId) {
  const std::uint8_t* b = session.tail;
  const auto reply = [&session, target](std::uint8_t opcode) {
    return NandOps(session.device, NandWord{opcode, target, 0}.Pack()) == kRequestOk &&
           BulkRead(session.device, session.tail, kModel0IdReplySize);
  };
  mainId = 0, extId = 0;
  if (!reply(kNandOpcodesModel0.readId)) return false;
  const auto main = static_cast<std::uint16_t>(b[2] << 8 | b[0]);
  if (!ReadStatus(session) || !reply(*kNandOpcodesModel0.readExtendedId)) return false;
  mainId = main;
  extId = static_cast<std::uint32_t>(b[0]) << 16 | static_cast<std::uint32_t>(b[1]) << 8 |
          static_cast<std::uint32_t>(b[2]);
  return ReadStatus(session);
}

}  // namespace

std::optional<std::uint8_t> FirstEnabledTarget(const DeviceSession& session) {
  if (session.targetEnable == nullptr) return std::nullopt;
  const std::size_t count = std::min<std::size_t>(session.targetCount, kTargetTableSize);
  for (std::size_t i = 0; i < count; ++i) {
    if (session.targetEnable[i] != 0) return static_cast<std::uint8_t>(i);
  }
  return std::nullopt;
}

std::uint32_t ChipPagesPerBlock(const DeviceSession& session) {
  return session.pageSize == 0 ? 0 : session.blockSize / session.pageSize;
}

std::uint32_t ProgramPageBytes(const DeviceSession& session, std::int32_t option) {
  const BootConfig& config = session.bootConfig;
  const bool pageOnly = option == kOptionNoOob || option == kOptionNoOobModel0;
  return pageOnly ? config.nandPageSize : config.nandPageSize + config.nandOobSize;
}

std::uint32_t ProgramPageCount(const DeviceSession& session, std::uint32_t length,
                               std::int32_t option) {
  const std::uint64_t perPage = ProgramPageBytes(session, option);
  return static_cast<std::uint32_t>(Quotient(length + perPage - 1, perPage));
}

std::uint32_t ReadPageCount(const DeviceSession& session, std::uint32_t length) {
  return static_cast<std::uint32_t>(Quotient(length, session.bootConfig.nandPageSize) + 1);
}

NandResult ReadNandId(DeviceSession& session, std::uint16_t& mainId, std::uint32_t& extId) {
  const std::optional<std::uint8_t> target = FirstEnabledTarget(session);
  if (!target) return kNothingSent;
  switch (session.cpuModel) {
    case 0:
      return OpResult(ReadIdModel0(session, *target, mainId, extId));
    case 1:
    case 2:
    case 3:
      return OpResult(ReadIdModels1To3(session, *target, mainId, extId));
    default:
      ShowCpuModelError(session);
      return kRefusal;
  }
}

// Erase, read and program have the same opcodes in both sets, so they need no model.
NandResult EraseChip(DeviceSession& session) {
  const std::size_t count = std::min<std::size_t>(session.targetCount, kTargetTableSize);
  for (std::size_t i = 0; session.targetEnable != nullptr && i < count; ++i) {
    if (session.targetEnable[i] == 0) continue;
    const bool exchanged =
        SetDataAddress(session.device, 0) == kRequestOk &&
        SetDataLength(session.device, session.totalBlocks) == kRequestOk &&
        SendOperation(session, {kNandOpcodesModels1To3.erase, static_cast<std::uint8_t>(i), 0});
    if (!exchanged) return OpResult(false);
  }
  return OpResult(true);
}

NandResult ProgramPages(DeviceSession& session, std::uint32_t start,
                        std::span<const std::uint8_t> data, std::int32_t option,
                        std::uint8_t* resultTable) {
  if (data.size() > kMaxProgramLength) return kRefusal;
  const auto length = static_cast<std::uint32_t>(data.size());
  std::fill_n(resultTable, session.targetCount, std::uint8_t{0});

  // The target field carries the number of targets here, not an index.
  const NandWord word{kNandOpcodesModels1To3.programPages, session.targetCount,
                      static_cast<std::uint8_t>(option & 0xF)};
  const bool exchanged =
      BulkWrite(session.device, data.data(), length) &&
      SetDataAddress(session.device, start) == kRequestOk &&
      SetDataLength(session.device, ProgramPageCount(session, length, option)) == kRequestOk &&
      SendOperation(session, word);
  if (!exchanged) return OpResult(false);

  // The status names the page after the last one programmed; 0 is the board's "no".
  const std::uint32_t nextPage = GetLe32(session.tail, 0);
  resultTable[0] = nextPage != 0 ? 1 : 0;
  if (nextPage == 0) return {NandStatus::kBoardFailed, 0};
  return OpResult(true, nextPage - start);
}

NandResult ReadPages(DeviceSession& session, std::uint32_t start, std::uint32_t length,
                     std::uint8_t* buffer) {
  if (start > kMaxReadValue || length > kMaxReadValue) return kRefusal;
  const std::optional<std::uint8_t> target = FirstEnabledTarget(session);
  if (!target) return kNothingSent;

  const std::uint32_t pages = ReadPageCount(session, length);
  // The board may send more than the buffer holds; one transfer never exceeds it.
  const std::uint64_t bytes = std::uint64_t{pages} * session.bootConfig.nandPageSize;
  const NandWord word{kNandOpcodesModels1To3.readPages, *target, kReadOption};
  return OpResult(SetDataAddress(session.device, start) == kRequestOk &&
                      SetDataLength(session.device, pages) == kRequestOk &&
                      NandOps(session.device, word.Pack()) == kRequestOk &&
                      BulkRead(session.device, buffer,
                               static_cast<std::uint32_t>(
                                   std::min<std::uint64_t>(bytes, kDataBufferSize))) &&
                      ReadStatus(session),
                  pages);
}

NandResult FormatNand(DeviceSession& session) {
  const std::optional<std::uint8_t> target = FirstEnabledTarget(session);
  if (!target) return kNothingSent;
  const std::optional<std::uint8_t> opcode = NandOpcode(NandOperation::kFormat, session.cpuModel);
  if (!opcode) {
    ShowCpuModelError(session);
    return kRefusal;
  }
  return OpResult(SendOperation(session, {*opcode, *target, 0}));
}

NandResult FormatFileSystem(DeviceSession& session) {
  const std::optional<std::uint8_t> target = FirstEnabledTarget(session);
  if (!target) return kNothingSent;
  const std::optional<std::uint8_t> opcode =
      NandOpcode(NandOperation::kFileSystemFormat, session.cpuModel);
  if (!opcode) {
    ShowCpuModelError(session);
    return kNothingSent;
  }
  return OpResult(SendOperation(session, {*opcode, *target, 0}));
}

}  // namespace korvex
