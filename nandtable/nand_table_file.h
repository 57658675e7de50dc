#pragma once
// Reading and writing nand_cfg.bin as a whole. Every reader checks what the name
// stands for before it trusts a size, and every writer replaces the file in one step,
// so an interrupted or short write leaves the old table as it was.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace korvex {

// The largest table a reader takes: 16384 records, far beyond any real part list.
inline constexpr std::uintmax_t kMaxNandTableBytes = 1024 * 1024;

enum class NandTableFileRead {
  kRead,        // bytes hold the file; it may be empty
  kMissing,     // no file of that name
  kUnreadable,  // not a regular file, larger than kMaxNandTableBytes, or a read failed
};

// Reads the whole file. A file that shrinks while it is read yields what was there.
NandTableFileRead ReadNandTableFile(const std::filesystem::path& path,
                                    std::vector<std::uint8_t>& bytes);

// Writes bytes to a file beside path, then renames it over path. False when any
// write, the flush, the close or the rename failed; path is untouched then and the
// file beside it is removed.
bool ReplaceNandTableFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

}  // namespace korvex
