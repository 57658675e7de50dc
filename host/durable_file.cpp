#include "host/durable_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvex {

#ifdef _WIN32

bool AppendDurably(const std::filesystem::path& file, std::string_view bytes) {
  // FILE_APPEND_DATA alone makes every write land at the end, also with several
  // writers; readers may look at the file meanwhile.
  const HANDLE handle = ::CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                              nullptr) &&
                  written == bytes.size() && ::FlushFileBuffers(handle);
  ::CloseHandle(handle);
  return ok;
}

#else

bool AppendDurably(const std::filesystem::path& file, std::string_view bytes) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  struct stat before {};
  const bool measured = ::fstat(fd, &before) == 0;
  std::size_t done = 0;
  bool ok = true;
  // A regular file takes the whole buffer in one write; the loop only matters when a
  // signal or a full disk cuts it short.
  while (ok && done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) done += static_cast<std::size_t>(n);
    else ok = n < 0 && errno == EINTR;
  }
  // A full disk that took part of the bytes leaves no half of them: the caller keeps
  // them whole and writes them again later.
  if (!ok && done > 0 && measured && ::ftruncate(fd, before.st_size) != 0) ok = false;
  ok = ok && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok;
}

#endif

}  // namespace korvex
