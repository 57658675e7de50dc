#include "records/image_digests.h"

#include <algorithm>
#include <system_error>

#include "host/paths.h"
#include "records/sha256.h"

namespace korvex {

ImageDigests::~ImageDigests() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  if (hasher_.joinable()) hasher_.join();
}

bool ImageDigests::StampOf(std::string_view file, Stamp& stamp) {
  const std::filesystem::path path = PathFromUtf8(file);
  std::error_code error;
  stamp.modified = std::filesystem::last_write_time(path, error);
  if (error) return false;
  stamp.size = std::filesystem::file_size(path, error);
  return !error;
}

bool ImageDigests::CurrentLocked(std::string_view file, const Stamp& stamp) const {
  const auto it = entries_.find(file);
  return it != entries_.end() && it->second.stamp == stamp;
}

// The file is stamped before and after it is read, so a file changed while it was
// read is not kept under either stamp.
bool ImageDigests::Hash(std::string_view file) {
  Stamp before, after;
  Entry entry;
  std::uint64_t size = 0;
  if (!StampOf(file, before) || !HashFile(PathFromUtf8(file), size, entry.digest)) return false;
  std::lock_guard lock(mutex_);
  ++hashes_;
  if (!StampOf(file, after) || after != before || size != before.size) return false;
  entry.stamp = before;
  entries_.insert_or_assign(std::string(file), entry);
  return true;
}

bool ImageDigests::HashNow(std::string_view file) {
  Stamp stamp;
  if (!StampOf(file, stamp)) return false;
  {
    std::lock_guard lock(mutex_);
    if (CurrentLocked(file, stamp)) return true;
  }
  return Hash(file);
}

void ImageDigests::Know(std::string_view file, const ImageFingerprint& fingerprint) {
  std::lock_guard lock(mutex_);
  entries_.insert_or_assign(std::string(file), Entry{{fingerprint.modified, fingerprint.size}, fingerprint.sha256});
}

void ImageDigests::Request(std::string_view file) {
  Stamp stamp;
  if (!StampOf(file, stamp)) return;
  std::lock_guard lock(mutex_);
  if (stopping_ || CurrentLocked(file, stamp) || std::ranges::find(queue_, file) != queue_.end()) return;
  queue_.emplace_back(file);
  if (!hasher_.joinable()) hasher_ = std::thread([this] { RunHasher(); });
  wake_.notify_all();
}

void ImageDigests::RunHasher() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    const std::string file = queue_.front();
    hashing_ = true;
    lock.unlock();
    // A file that changes on every look is not chased: the next request hashes it again.
    Hash(file);
    lock.lock();
    // The destructor may have emptied the queue meanwhile.
    if (!queue_.empty()) queue_.pop_front();
    hashing_ = false;
    wake_.notify_all();
  }
}

void ImageDigests::Fill(ImageRecord& image) {
  image.hashed = false;
  const std::string_view file = image.file.View();
  Stamp stamp;
  if (!StampOf(file, stamp)) return;
  {
    std::lock_guard lock(mutex_);
    if (CurrentLocked(file, stamp)) {
      image.size = stamp.size, image.sha256 = entries_.find(file)->second.digest, image.hashed = true;
      return;
    }
  }
  Request(file);
}

std::uint64_t ImageDigests::hashes() const {
  std::lock_guard lock(mutex_);
  return hashes_;
}

void ImageDigests::WaitIdle() {
  std::unique_lock lock(mutex_);
  wake_.wait(lock, [this] { return stopping_ || (queue_.empty() && !hashing_); });
}

}  // namespace korvex
