#pragma once
// A job: the line's released recipe, one text file in korvex.ini's style, so an
// engineer does not retype model, images and options for every run and a board can
// say which release it got:
//
//   # the December release of the 7135 board
//   name = R7135-2026-12
//   model = 7135
//   nand = images/nand.bin
//   verify = on
//   sha256.nand.bin = 9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08
//   ...one sha256.<image> line per image the job burns
//   lot = L2026-118
//   hook_before = python3 mes_check.py
//
// Relative paths start at the job file's folder. Comments are whole lines starting
// with '#' or ';'. An unknown key, a key given twice or a bad value is an error naming its line.

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/board_record.h"
#include "station/port_context.h"

namespace korvex {

inline constexpr std::uint32_t kDefaultHookTimeoutMs = 10'000;

struct JobFile {
  std::string name;
  int model = 0;  // the CPU model's index (kModelQx7120 ...)
  bool advanced = false;
  // By ImageId: the image's path as the file gives it, and resolved against the
  // job file's folder. Normal mode fills the four images beside nand.bin.
  std::array<std::string, kImageCount> given;
  std::array<std::filesystem::path, kImageCount> paths;
  std::array<bool, kImageCount> included{};
  std::array<Sha256Digest, kImageCount> sha256{};
  bool formatAfter = false;
  bool eraseChip = false;
  bool fsFormat = false;
  bool verify = false;
  std::string lot;
  std::string workOrder;
  std::string hookBefore;  // a command line; empty: no hook
  std::string hookAfter;
  std::uint32_t hookTimeoutMs = kDefaultHookTimeoutMs;
  std::string hookTimeoutText = "10";  // as the file wrote it, for messages
  std::filesystem::path folder;        // the job file's; hooks run there
};

struct JobFileResult {
  std::optional<JobFile> job;       // set when there are no errors
  std::vector<std::string> errors;  // "<file> line 3: ...", in line order, then the file's
};

// fileName names the file in messages; folder is where relative paths start.
JobFileResult ParseJobFile(std::string_view text, std::string_view fileName,
                           const std::filesystem::path& folder);
JobFileResult ReadJobFile(const std::filesystem::path& file);

// The job file's text: the keys in a fixed order, image paths as given, hashes of
// every included image (which the caller has filled in).
std::string FormatJobFile(const JobFile& job);

// Fills `included` and `paths` from `given` and `folder`: normal mode adds the
// four images beside nand.bin.
void ResolveJobImages(JobFile& job);

// Names, lots, work orders and operators: 1..63 bytes of printable text.
bool IsValidJobText(std::string_view text);

// "7135" and the other model folders' names; nullopt for anything else.
std::optional<int> ModelOfFolderName(std::string_view name);

}  // namespace korvex
