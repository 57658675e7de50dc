// Request 7 of the stage-2 firmware: one NAND operation word, with the address and
// length of requests 1 and 2 and the data of the last bulk write. Every operation
// replaces what bulk reads return with its reply: data if any, then 8 status bytes.

#include <algorithm>

#include "protocol/byte_order.h"
#include "sim/virtual_board.h"

namespace korvex::sim {
namespace {

// Opcodes both firmware families share.
constexpr std::uint32_t kOpReadId = 0;
constexpr std::uint32_t kOpErase = 5;
constexpr std::uint32_t kOpReadPages = 6;
constexpr std::uint32_t kOpProgram = 7;
// Models 1..3.
constexpr std::uint32_t kOpFormat = 9;
constexpr std::uint32_t kOpFileSystemFormat = 10;
// Model 0: its opcodes from 9 up are one higher, 9 being the extended ID.
constexpr std::uint32_t kOpModel0ExtendedId = 9;
constexpr std::uint32_t kOpModel0Format = 10;
constexpr std::uint32_t kOpModel0FileSystemFormat = 11;

constexpr std::uint32_t kStatusDone = 1;
constexpr std::uint32_t kStatusProgramFailed = 0;

// The first view page past the image zones (res.bin's zone ends here): where the
// firmware's user-data area, the only part a format clears, begins.
constexpr std::uint32_t kUserAreaFirstPage = 98304;

// The firmware's transfer buffer: a read asking for more page data than this fails.
constexpr std::uint64_t kMaxReadBytes = 64ull * 1024 * 1024;

bool PageDataOnly(std::uint32_t option) { return option == 2 || option == 3; }

}  // namespace

bool VirtualBoard::NandOperation(std::uint32_t argument) {
  const std::uint32_t word = argument & 0xFFFF;
  const std::uint32_t opcode = word & 15;
  const std::uint32_t option = (word >> 12) & 15;
  // The target field ((word >> 4) & 0xFF) picks a chip; a board has one.
  // A request 7 that fails leaves nothing to read.
  outgoing_.clear();
  outPos_ = 0;
  switch (opcode) {
    case kOpReadId:
      ReplyId(model_ == 0 ? IdLayout::MainOnly : IdLayout::FiveBytes);
      return true;
    case kOpErase: return Erase();
    case kOpReadPages: return ReadPages();
    case kOpProgram: return ProgramPages(option);
    default: break;
  }
  if (model_ == 0) {
    switch (opcode) {
      case kOpModel0ExtendedId: ReplyId(IdLayout::ExtendedOnly); return true;
      case kOpModel0Format: return FormatChip();
      case kOpModel0FileSystemFormat: ReplyStatus(kStatusDone); return true;
      default: return false;
    }
  }
  switch (opcode) {
    case kOpFormat: return FormatChip();
    case kOpFileSystemFormat: ReplyStatus(kStatusDone); return true;
    default: return false;
  }
}

// Models 1..3: [maker, device, 3rd, 4th, 5th, 0, 0, 0]. Model 0 answers in two halves:
// opcode 0 [device, 0, maker, 0], opcode 9 [5th, 4th, 3rd, 0].
void VirtualBoard::ReplyId(IdLayout layout) {
  const auto maker = static_cast<std::uint8_t>(chip_.mainId() >> 8);
  const auto device = static_cast<std::uint8_t>(chip_.mainId());
  const auto third = static_cast<std::uint8_t>(chip_.extId());
  const auto fourth = static_cast<std::uint8_t>(chip_.extId() >> 8);
  const auto fifth = static_cast<std::uint8_t>(chip_.extId() >> 16);
  switch (layout) {
    case IdLayout::FiveBytes: Reply({maker, device, third, fourth, fifth, 0, 0, 0}, kStatusDone); break;
    case IdLayout::MainOnly: Reply({device, 0, maker, 0}, kStatusDone); break;
    case IdLayout::ExtendedOnly: Reply({fifth, fourth, third, 0}, kStatusDone); break;
  }
}

// Opcode 5: view blocks address .. address + length - 1 become 0xFF, except the bytes of
// bad physical blocks.
bool VirtualBoard::Erase() {
  const std::uint64_t blockBytes = std::uint64_t{view_.pageSize} * view_.pagesPerBlock;
  if (blockBytes == 0) return false;
  const std::uint64_t size = chip_.sizeBytes();
  const std::uint64_t firstBlocks = size / blockBytes + 1;  // covers the chip's end
  if (address_ < firstBlocks) {
    const std::uint64_t blocks = std::min<std::uint64_t>(length_, firstBlocks - address_);
    chip_.Erase(address_ * blockBytes, blocks * blockBytes);
    work_.blocksErased += blocks;
  }
  ReplyStatus(kStatusDone);
  return true;
}

// The first view page at or after viewPage that does not start inside a bad physical
// block; viewPage itself when it lies past the chip's end.
std::uint64_t VirtualBoard::SkipBadBlocks(std::uint64_t viewPage) const {
  const std::uint64_t pageSize = view_.pageSize;
  const std::uint64_t blockSize = chip_.geometry().blockSize;
  while (viewPage * pageSize < chip_.sizeBytes()) {
    const std::uint32_t block = chip_.BlockOf(viewPage * pageSize);
    if (!chip_.IsBad(block)) break;
    const std::uint64_t nextBlockStart = (std::uint64_t{block} + 1) * blockSize;
    viewPage = (nextBlockStart + pageSize - 1) / pageSize;
  }
  return viewPage;
}

// Opcode 7: `length` pages from view page `address`, one after another, stepping over
// bad physical blocks. Status: the view page after the last one written, or 0 when a
// page would lie past the chip's end or in a block whose programs fail.
bool VirtualBoard::ProgramPages(std::uint32_t option) {
  const std::uint64_t pageSize = view_.pageSize;
  if (pageSize == 0) return false;
  const std::uint64_t stride = pageSize + (PageDataOnly(option) ? 0 : view_.oobSize);
  const std::vector<std::uint8_t> data = std::move(pending_);
  pending_.clear();
  std::vector<std::uint8_t> page;  // a page the data ends inside, padded with 0xFF
  std::uint64_t viewPage = address_;
  for (std::uint64_t i = 0; i < length_; ++i) {
    viewPage = SkipBadBlocks(viewPage);
    const std::uint64_t offset = viewPage * pageSize;
    if (offset > chip_.sizeBytes() || chip_.sizeBytes() - offset < pageSize) {
      ReplyStatus(kStatusProgramFailed);
      return true;
    }
    if (faults_.unplugAtPage && viewPage >= *faults_.unplugAtPage) {
      DetachLocked();
      return false;
    }
    if (chip_.ProgramFails(chip_.BlockOf(offset))) {
      ReplyStatus(kStatusProgramFailed);
      return true;
    }
    // Only the page data is kept; spare bytes of options 0 and 1 are skipped and
    // missing data leaves the page as it is (0xFF programs nothing). A whole page is
    // programmed straight from the data, without a copy.
    const std::uint64_t start = i * stride;
    if (start <= data.size() && data.size() - start >= pageSize) {
      chip_.Program(offset, data.data() + start, pageSize);
    } else {
      page.assign(pageSize, 0xFF);
      if (start < data.size()) {
        std::copy(data.begin() + static_cast<std::ptrdiff_t>(start), data.end(), page.begin());
      }
      chip_.Program(offset, page.data(), page.size());
    }
    ++work_.pagesProgrammed;
    ++viewPage;
  }
  ReplyStatus(static_cast<std::uint32_t>(viewPage));
  return true;
}

// Opcode 6: `length` pages × page size bytes from view page `address`, 0xFF past the
// chip's end. Spare bytes are never sent, whatever the option.
bool VirtualBoard::ReadPages() {
  const std::uint64_t bytes = std::uint64_t{length_} * view_.pageSize;
  if (view_.pageSize == 0 || bytes > kMaxReadBytes) return false;
  std::vector<std::uint8_t> data =
      chip_.Read(std::uint64_t{address_} * view_.pageSize, static_cast<std::size_t>(bytes));
  // A silent corruption: the page holds what was programmed, its reads do not.
  const std::optional<std::uint32_t> corrupt = faults_.corruptPage;
  if (corrupt && *corrupt >= address_ && *corrupt - address_ < length_) {
    data[std::size_t{*corrupt - address_} * view_.pageSize] ^= 0xFF;
  }
  Reply(std::move(data), kStatusDone);
  work_.pagesRead += length_;
  return true;
}

// Format: the user-data area past the images becomes 0xFF, every good physical block
// that lies wholly in it. The image zones and the identity pages in nand.bin's zone
// stay, so a board formatted after its burn still starts and shows its ID.
bool VirtualBoard::FormatChip() {
  if (view_.pageSize == 0) return false;
  const std::uint64_t blockSize = chip_.geometry().blockSize;
  const std::uint64_t userStart = std::uint64_t{kUserAreaFirstPage} * view_.pageSize;
  const std::uint64_t firstBlock = (userStart + blockSize - 1) / blockSize;
  for (std::uint64_t block = firstBlock; block < chip_.geometry().totalBlocks; ++block) {
    if (chip_.IsBad(static_cast<std::uint32_t>(block))) continue;
    chip_.Erase(block * blockSize, blockSize);
    ++work_.blocksErased;
  }
  ReplyStatus(kStatusDone);
  return true;
}

}  // namespace korvex::sim
