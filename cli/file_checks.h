#pragma once
// Checks of the files a command is given before it reads them: each returns one line
// saying what is wrong and what to do, or an empty string when the file will do.

#include <filesystem>
#include <string>

namespace korvex::cli {

// A configuration file is a few KiB; more than this is not one, and is not read.
inline constexpr std::uintmax_t kMaxConfigFileBytes = 1 << 20;

// A boot configuration file: a regular, readable file of at most kMaxConfigFileBytes.
// A FIFO, a device or a huge file is refused at once, without reading it.
std::string ConfigFileProblem(const std::filesystem::path& path);

// nand_cfg.bin as a symbolic link: one that leads nowhere (a loop, a missing target)
// is always a problem; a working one is when the command rewrites the table, as the
// rewrite would replace the link by a file.
std::string TableLinkProblem(const std::filesystem::path& home, bool rewrites);

// The demo file: a regular, readable file.
std::string DemoFileProblem(const std::filesystem::path& path);

}  // namespace korvex::cli
