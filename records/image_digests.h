#pragma once
// The size and SHA-256 of every image a station burns, each file hashed once per run:
// at the pre-flight, and again only when its size or modification time changes. A
// worker never hashes: it takes the digest that is known, or asks the one background
// hasher for it and goes on, so a board's verdict never waits for a hash.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "records/board_record.h"
#include "records/image_fingerprint.h"

namespace korvex {

class ImageDigests {
 public:
  ImageDigests() = default;
  ~ImageDigests();  // waits for the hash in flight, drops the queued ones
  ImageDigests(const ImageDigests&) = delete;
  ImageDigests& operator=(const ImageDigests&) = delete;

  // Hashes the file on the caller's thread unless its digest is current: the
  // pre-flight's call, before any board is claimed. False when it cannot be read.
  bool HashNow(std::string_view file);
  // A digest taken elsewhere for the file as it was then (a job pins its images at
  // the pre-flight): the file is not hashed again while its size and time hold.
  void Know(std::string_view file, const ImageFingerprint& fingerprint);
  // Queues the file for the background hasher unless its digest is current or queued.
  void Request(std::string_view file);
  // Fills the image's size, digest and `hashed` when the digest of its file as it is
  // now is known; otherwise leaves `hashed` false and requests it. Never hashes.
  void Fill(ImageRecord& image);

  // Files hashed so far: for the benchmark and the tests.
  std::uint64_t hashes() const;
  // Waits until the background hasher has nothing left: for the tests.
  void WaitIdle();

 private:
  struct Stamp {
    std::filesystem::file_time_type modified;
    std::uint64_t size = 0;
    bool operator==(const Stamp&) const = default;
  };
  struct Entry {
    Stamp stamp;
    Sha256Digest digest{};
  };
  static bool StampOf(std::string_view file, Stamp& stamp);
  bool CurrentLocked(std::string_view file, const Stamp& stamp) const;
  bool Hash(std::string_view file);
  void RunHasher();

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::map<std::string, Entry, std::less<>> entries_;  // by the file's text as given
  std::deque<std::string> queue_;
  bool hashing_ = false;
  bool stopping_ = false;
  std::uint64_t hashes_ = 0;
  std::thread hasher_;  // started with the first request
};

}  // namespace korvex
