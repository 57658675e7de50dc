#pragma once
// What `korvex nand-table` adds to the table dialog's operations: rows printed in
// aligned columns, chip keys as MAIN:EXT, readable names for added rows, and the word
// on which row a lookup picks when keys repeat.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"
#include "nandtable/nand_table_edit.h"

namespace korvex::cli {

// Names given with `add --name`. A record has no room for a name (its name reference
// only points at built-in names), so they live beside the table, one "MAIN:EXT name"
// line per chip keys.
inline constexpr std::string_view kNandNamesFileName = "nand_cfg.names";

class NandNameBook {
 public:
  explicit NandNameBook(std::filesystem::path file);
  const std::filesystem::path& File() const { return file_; }
  // Empty when the keys have no name here.
  std::string Find(std::uint32_t mainId, std::uint32_t extId) const;
  // Sets and writes the whole file; false when it cannot be written.
  bool Set(std::uint32_t mainId, std::uint32_t extId, const std::string& name);

 private:
  std::filesystem::path file_;
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> names_;
};

// {"ECD3:589551"} as {"ECD3", "589551"}; anything else as it is.
std::vector<std::string> SplitChipKeys(const std::vector<std::string>& args);

// A header and the rows at `indices`, in aligned columns. A row the table names
// "(unnamed)" shows its name from the book, marked '*', with a closing note on where
// that name lives.
std::string FormatNandRows(const std::vector<NandTableRow>& rows,
                           std::span<const std::size_t> indices, const NandNameBook& names);

// The keys of a row as the table shows them.
std::pair<std::uint32_t, std::uint32_t> RowKeys(const NandTableRow& row);

// nand_cfg.bin's bytes; empty when it cannot be read.
std::vector<std::uint8_t> ReadNandTableBytes(Host& host);

// After an add: a warning naming the rows that held the keys before and the row a
// chip with them now gets; empty when the keys were new.
std::string DuplicateKeysWarning(std::span<const std::uint8_t> before,
                                 std::span<const std::uint8_t> after, std::uint32_t mainId,
                                 std::uint32_t extId);

}  // namespace korvex::cli
