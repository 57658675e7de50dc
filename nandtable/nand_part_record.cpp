#include "nandtable/nand_part_record.h"

#include "protocol/byte_order.h"

namespace korvex {

NandPartBytes SerializeNandPart(const NandPartRecord& record) {
  NandPartBytes bytes{};
  for (std::size_t word = 0; word < kNandPartWordCount; ++word) {
    PutLe32(bytes, word * 4, record.words[word]);
  }
  return bytes;
}

NandPartRecord ParseNandPart(std::span<const std::uint8_t> table, std::size_t index) {
  NandPartRecord record;
  const std::span<const std::uint8_t> bytes = table.subspan(index * kNandPartRecordSize,
                                                            kNandPartRecordSize);
  for (std::size_t word = 0; word < kNandPartWordCount; ++word) {
    record.words[word] = GetLe32(bytes, word * 4);
  }
  return record;
}

}  // namespace korvex
