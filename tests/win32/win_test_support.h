#pragma once
// Helpers for the Win32 host tests under Wine: a Win32Host whose message boxes are
// recorded instead of shown, a scratch folder, and the driver's registry records
// written directly.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../recording_host.h"
#include "host/win32/win32_host.h"

namespace korvex::wintest {

// Everything of the real host but message boxes, recorded instead of shown, and
// sleeps, which do not wait.
struct Win32Inner {
  Win32Host win32;
};
class RecordingWin32Host : private Win32Inner, public testing::RecordingHost {
 public:
  RecordingWin32Host() : RecordingHost(win32, ".") {}
};

// A fresh folder under the Windows temp folder, removed afterwards. The name part is
// UTF-8 so tests can put non-ASCII characters into the path.
class ScratchFolder {
 public:
  explicit ScratchFolder(std::string_view namePart);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string Utf8() const;
  const std::wstring& Wide() const { return wide_; }  // no trailing backslash
  std::wstring WideChild(std::wstring_view name) const {
    return wide_ + L"\\" + std::wstring(name);
  }
  std::string Utf8Child(std::string_view name) const { return Utf8() + "\\" + std::string(name); }

 private:
  std::wstring wide_;
};

bool WriteWholeFile(const std::wstring& path, std::string_view bytes);
std::optional<std::string> ReadWholeFile(const std::wstring& path);
// FindFirstFileW on the exact wide name: proves the name on disk, not just a lookup
// that happens to succeed through some other conversion.
bool FileExistsWide(const std::wstring& path);

// The driver's interface class under HKEY_LOCAL_MACHINE, without the trailing
// backslash the station appends.
inline constexpr const char* kClassKeyPath =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}";

// An instance name of the form Windows gives interface instances; the number is
// zero-padded so enumeration order is numeric order.
std::string InstanceName(int number);
// A symbolic link of the driver's form with exactly `length` characters.
std::string SymbolicLinkOfLength(std::size_t length, int number);

// Removes the class key with every instance under it (absent is fine).
void DeleteClassKey();
// Creates instance `name` with its "#" subkey; the SymbolicLink value when given,
// and the "#\Control" subkey with its Linked value when given.
void AddInstance(std::string_view name, std::optional<std::string> symbolicLink,
                 std::optional<DWORD> linked);
void SetLinked(std::string_view name, DWORD linked);

// Runs a command line to its end; the exit code, or nullopt when it could not start
// or did not end within the time.
std::optional<DWORD> RunProcess(std::wstring commandLine, DWORD timeoutMs = 120000);

// The path of this test program.
std::wstring ThisProgramPath();

}  // namespace korvex::wintest
