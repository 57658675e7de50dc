#include "cli/file_checks.h"

#include <fstream>

#include "host/paths.h"
#include "nandtable/nand_cfg.h"

namespace korvex::cli {

namespace {

// Empty for a regular file that opens for reading.
std::string RegularFileProblem(const std::filesystem::path& path, std::string_view what) {
  const std::string name = PathToUtf8(path);
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, error)) && !std::filesystem::exists(status)) {
    return name + " is a symbolic link that leads nowhere (a loop, or its target is missing): give " +
           std::string(what);
  }
  if (!std::filesystem::exists(status)) return name + " does not exist: give " + std::string(what);
  if (!std::filesystem::is_regular_file(status)) {
    return name + " is not a regular file (a folder, FIFO or device): give " + std::string(what);
  }
  if (!std::ifstream(path, std::ios::binary)) return name + " cannot be read: check its permissions";
  return {};
}

}  // namespace

std::string ConfigFileProblem(const std::filesystem::path& path) {
  std::string problem = RegularFileProblem(path, "a configuration file");
  if (!problem.empty()) return problem;
  std::error_code error;
  const std::uintmax_t bytes = std::filesystem::file_size(path, error);
  if (!error && bytes > kMaxConfigFileBytes) {
    return PathToUtf8(path) + " is " + std::to_string(bytes) + " bytes, too large for a configuration file (at most " +
           std::to_string(kMaxConfigFileBytes) + " bytes are read): give a configuration file";
  }
  return {};
}

std::string TableLinkProblem(const std::filesystem::path& home, bool rewrites) {
  const std::filesystem::path table = home / PathFromUtf8(kNandTableFileName);
  std::error_code error;
  if (!std::filesystem::is_symlink(std::filesystem::symlink_status(table, error))) return {};
  const std::string name = PathToUtf8(table);
  if (!std::filesystem::exists(std::filesystem::status(table, error))) {
    return name + " is a symbolic link that leads nowhere (a loop, or its target is missing): remove it (the "
           "station then writes the built-in table) or point it at a table file";
  }
  if (!rewrites) return {};
  const auto target = std::filesystem::read_symlink(table, error);
  return name + " is a symbolic link to " + PathToUtf8(target) + ": the table is rewritten whole, which would "
         "replace the link by a file; edit the table where it lies (--home its folder) or replace the link by the file";
}

std::string DemoFileProblem(const std::filesystem::path& path) {
  return RegularFileProblem(path, "--demo the file to copy onto the boards");
}

}  // namespace korvex::cli
