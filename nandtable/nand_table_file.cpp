#include "nandtable/nand_table_file.h"

#include <fstream>
#include <system_error>

namespace korvex {

NandTableFileRead ReadNandTableFile(const std::filesystem::path& path,
                                    std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return NandTableFileRead::kMissing;
  // A folder or a device reports sizes that mean nothing as a table (a folder read as
  // a stream claims 2^63-1 bytes).
  if (error || status.type() != std::filesystem::file_type::regular) {
    return NandTableFileRead::kUnreadable;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size > kMaxNandTableBytes) return NandTableFileRead::kUnreadable;

  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) return NandTableFileRead::kUnreadable;
  bytes.resize(static_cast<std::size_t>(size));
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  if (file.bad()) {
    bytes.clear();
    return NandTableFileRead::kUnreadable;
  }
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  return NandTableFileRead::kRead;
}

bool ReplaceNandTableFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::filesystem::path temporary = path;
  temporary += ".new";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file.is_open()) return false;
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.flush();
    file.close();  // a failed close sets failbit too
    std::error_code error;
    if (!file.fail()) {
      std::filesystem::rename(temporary, path, error);
      if (!error) return true;
    }
  }
  std::error_code ignored;
  std::filesystem::remove(temporary, ignored);
  return false;
}

}  // namespace korvex
