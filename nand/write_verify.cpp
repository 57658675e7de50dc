#include "nand/write_verify.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "nand/nand_ops.h"

namespace korvex {

namespace {

struct Blocks {
  std::uint32_t pageBytes;
  std::uint32_t pagesPerBlock;
  std::uint32_t first;  // first page of the range
  std::uint32_t pages;  // pages in the range

  std::uint32_t Count() const { return (pages + pagesPerBlock - 1) / pagesPerBlock; }
  std::uint32_t FirstPage(std::uint32_t block) const { return first + block * pagesPerBlock; }
  std::uint32_t PagesIn(std::uint32_t block) const {
    return std::min(pagesPerBlock, pages - block * pagesPerBlock);
  }
};

// Reads `pages` pages from `page` into the verify buffer; false when the link is gone.
bool ReadBlock(DeviceSession& session, std::uint32_t page, std::uint32_t pages) {
  // A read asks for one page more than its length in whole pages.
  const std::uint32_t length = (pages - 1) * session.bootConfig.nandPageSize;
  return ReadPages(session, page, length, session.verifyBuffer).status != NandStatus::kLinkLost;
}

// Blocks the board stepped over inside a write it was not asked to read back: the
// pages beyond the write's own, in whole chip blocks.
std::uint32_t SkippedUnverified(const DeviceSession& session, std::uint32_t pagesDone,
                                std::size_t bytes, std::int32_t option) {
  const std::uint32_t pagesPerBlock = ChipPagesPerBlock(session);
  const std::uint32_t sentPages =
      ProgramPageCount(session, static_cast<std::uint32_t>(bytes), option);
  if (pagesPerBlock == 0 || pagesDone <= sentPages) return 0;
  return (pagesDone - sentPages) / pagesPerBlock;
}

// The first page of the read-back block that differs from `expected`, or none.
std::optional<std::uint32_t> FirstDifference(const std::uint8_t* read,
                                             std::span<const std::uint8_t> expected,
                                             std::uint32_t pageBytes) {
  // memcmp first: the library's is many times faster than a byte loop, and a block
  // that matches is the common case.
  if (std::memcmp(read, expected.data(), expected.size()) == 0) return std::nullopt;
  std::uint32_t page = 0;
  for (std::size_t at = 0; at + pageBytes <= expected.size(); at += pageBytes, ++page) {
    if (std::memcmp(read + at, expected.data() + at, pageBytes) != 0) break;
  }
  return page;
}

}  // namespace

WriteCheck VerifyWrite(DeviceSession& session, std::uint32_t first, std::uint32_t next,
                       std::span<const std::uint8_t> sent) {
  const std::uint32_t pageBytes = session.bootConfig.nandPageSize;
  const std::uint32_t pagesPerBlock = session.bootConfig.nandPagesPerBlock;
  const auto sentPages = static_cast<std::uint32_t>(sent.size() / pageBytes);
  const Blocks written{pageBytes, pagesPerBlock, 0, sentPages};
  const Blocks range{pageBytes, pagesPerBlock, first, next > first ? next - first : 0};
  if (range.pages < sentPages || (range.pages - sentPages) % pagesPerBlock != 0) {
    return {VerifyResult::kMismatch, first, 0};
  }
  const std::uint32_t allowed = (range.pages - sentPages) / pagesPerBlock;

  WriteCheck outcome;
  // From the end: the last block of the range holds the last block written.
  std::uint32_t wanted = written.Count();
  for (std::uint32_t block = range.Count(); block-- > 0 && wanted > 0;) {
    const std::uint32_t pages = range.PagesIn(block);
    const std::uint32_t expectedPages = written.PagesIn(wanted - 1);
    if (!ReadBlock(session, range.FirstPage(block), pages)) {
      return {VerifyResult::kLinkLost, range.FirstPage(block), outcome.skippedBlocks};
    }
    const std::span<const std::uint8_t> expected =
        sent.subspan(std::size_t{written.FirstPage(wanted - 1)} * pageBytes,
                     std::size_t{expectedPages} * pageBytes);
    const std::optional<std::uint32_t> differs =
        pages == expectedPages ? FirstDifference(session.verifyBuffer, expected, pageBytes)
                               : std::optional<std::uint32_t>{0};
    if (!differs) {
      --wanted;
      continue;
    }
    if (++outcome.skippedBlocks > allowed) {
      return {VerifyResult::kMismatch, range.FirstPage(block) + *differs, outcome.skippedBlocks};
    }
  }
  outcome.skippedBlocks = allowed;
  if (wanted > 0) return {VerifyResult::kMismatch, first, allowed};
  return outcome;
}

PageWrite WriteAndCheck(DeviceSession& session, std::uint32_t start,
                        std::span<const std::uint8_t> data, std::int32_t option,
                        std::uint8_t* results) {
  const NandResult program = ProgramPages(session, start, data, option, results);
  switch (program.status) {
    case NandStatus::kOk: break;
    case NandStatus::kBoardFailed: return {WriteStep::kSkipBlock};
    case NandStatus::kLinkLost: return {WriteStep::kLinkLost};
    case NandStatus::kRefused: return {WriteStep::kImageError};
  }
  const std::uint32_t next = start + program.pagesDone;
  if (!session.verifyWrites) {
    return {WriteStep::kAdvance, next,
            SkippedUnverified(session, program.pagesDone, data.size(), option)};
  }
  const WriteCheck verified = VerifyWrite(session, start, next, data);
  switch (verified.result) {
    case VerifyResult::kMatched: break;
    case VerifyResult::kLinkLost: return {WriteStep::kLinkLost};
    case VerifyResult::kMismatch: return {WriteStep::kVerifyFailed, 0, 0, verified.mismatchPage};
  }
  return {WriteStep::kAdvance, next, verified.skippedBlocks};
}

}  // namespace korvex
