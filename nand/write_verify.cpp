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
bool ReadBlock(const DeviceSession& session, std::uint32_t page, std::uint32_t pages) {
  DeviceSession reader = session;
  reader.dataBuffer = session.verifyBuffer;
  reader.nandStart = page;
  // A read asks for one page more than its length in whole pages.
  reader.nandLength = (pages - 1) * session.bootConfig.nandPageSize;
  return ReadPages(reader) != kNandOpLinkLost;
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

WriteCheck VerifyWrite(const DeviceSession& session, std::uint32_t first, std::uint32_t next,
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

}  // namespace korvex
