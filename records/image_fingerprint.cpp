#include "records/image_fingerprint.h"

#include "records/sha256.h"

namespace korvex {

bool TakeImageFingerprint(const std::filesystem::path& file, ImageFingerprint& out) {
  std::error_code error;
  // The time is taken before the bytes: a write during the hash moves it again, so
  // the next check hashes once more instead of trusting a digest of half a file.
  out.modified = std::filesystem::last_write_time(file, error);
  if (error) return false;
  return HashFile(file, out.size, out.sha256);
}

ImageCheck RecheckImage(const std::filesystem::path& file, ImageFingerprint& known, ImageFingerprint& now) {
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  if (error) return ImageCheck::kUnreadable;
  const auto modified = std::filesystem::last_write_time(file, error);
  if (error) return ImageCheck::kUnreadable;
  if (size == known.size && modified == known.modified) return ImageCheck::kSame;
  if (!TakeImageFingerprint(file, now)) return ImageCheck::kUnreadable;
  if (now.sha256 != known.sha256) return ImageCheck::kChanged;
  known.size = now.size;
  known.modified = now.modified;
  return ImageCheck::kRehashedSame;
}

}  // namespace korvex
