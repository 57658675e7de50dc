#pragma once
// What an image file is: its size, its modification time and its SHA-256. Size and
// time are cheap to ask for, so a file is hashed again only when one of them moved;
// a released job pins the digest, and a shift checks it before every board.

#include <filesystem>

#include "records/board_record.h"

namespace korvex {

struct ImageFingerprint {
  std::uint64_t size = 0;
  std::filesystem::file_time_type modified{};
  Sha256Digest sha256{};
};

// Hashes the file; false when it cannot be read.
bool TakeImageFingerprint(const std::filesystem::path& file, ImageFingerprint& out);

enum class ImageCheck { kSame, kRehashedSame, kChanged, kUnreadable };

// Whether the file still holds the bytes of `known`: size and time first, the hash
// only when they differ. kRehashedSame updates known's size and time (a copy of the
// same bytes), kChanged leaves `now` with what the file holds.
ImageCheck RecheckImage(const std::filesystem::path& file, ImageFingerprint& known, ImageFingerprint& now);

}  // namespace korvex
