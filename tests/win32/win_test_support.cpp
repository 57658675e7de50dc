#include "win_test_support.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "host/win32/utf8.h"

namespace korvex::wintest {

ScratchFolder::ScratchFolder(std::string_view namePart) {
  static std::atomic<int> counter{0};
  const std::wstring name = L"korvex-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
  wide_ = (std::filesystem::temp_directory_path() / (name + L"-" + Utf8ToWide(namePart))).wstring();
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(wide_), ignored);
  if (!::CreateDirectoryW(wide_.c_str(), nullptr)) throw std::runtime_error("cannot make folder");
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(wide_), ignored);
}

std::string ScratchFolder::Utf8() const { return WideToUtf8(wide_); }

bool WriteWholeFile(const std::wstring& path, std::string_view bytes) {
  std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  return static_cast<bool>(file.write(bytes.data(), static_cast<std::streamsize>(bytes.size())));
}

std::optional<std::string> ReadWholeFile(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool FileExistsWide(const std::wstring& path) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  ::FindClose(search);
  const std::wstring leaf = path.substr(path.find_last_of(L'\\') + 1);
  return leaf == found.cFileName;
}

std::string InstanceName(int number) {
  char name[128];
  std::snprintf(name, sizeof name,
                "##?#USB#Vid_7a3c&Pid_7120#5&1280f5eb&0&%03d#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}", number);
  return name;
}

std::string SymbolicLinkOfLength(std::size_t length, int number) {
  // The serial part absorbs the difference, as it does between real boards.
  const std::string head = "\\\\?\\USB#Vid_7a3c&Pid_7120#5&1280f5eb&";
  const std::string tail = "#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}";
  std::string serial = std::to_string(number);
  if (head.size() + serial.size() + tail.size() > length) throw std::invalid_argument("too short");
  serial.insert(0, length - head.size() - serial.size() - tail.size(), '0');
  return head + serial + tail;
}

namespace {

void Check(LSTATUS status, const char* what) {
  if (status != ERROR_SUCCESS) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(status));
}

HKEY CreateKey(const std::string& path) {
  HKEY key = nullptr;
  Check(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, &key, nullptr), "RegCreateKeyExA");
  return key;
}

std::string RefKeyOf(std::string_view name) { return std::string(kClassKeyPath) + "\\" + std::string(name) + "\\#"; }

}  // namespace

void DeleteClassKey() {
  const LSTATUS status = ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, kClassKeyPath);
  if (status != ERROR_FILE_NOT_FOUND) Check(status, "RegDeleteTreeA");
  // A leftover class key would leak instances into the next test.
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassKeyPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    ::RegCloseKey(key);
    throw std::runtime_error("class key still there");
  }
}

void AddInstance(std::string_view name, std::optional<std::string> symbolicLink, std::optional<DWORD> linked) {
  const HKEY ref = CreateKey(RefKeyOf(name));
  if (symbolicLink) {
    Check(::RegSetValueExA(ref, "SymbolicLink", 0, REG_SZ, reinterpret_cast<const BYTE*>(symbolicLink->c_str()),
                           static_cast<DWORD>(symbolicLink->size() + 1)), "RegSetValueExA SymbolicLink");
  }
  ::RegCloseKey(ref);
  if (linked) SetLinked(name, *linked);
}

void SetLinked(std::string_view name, DWORD linked) {
  const HKEY control = CreateKey(RefKeyOf(name) + "\\Control");
  Check(::RegSetValueExA(control, "Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked), sizeof linked),
        "RegSetValueExA Linked");
  ::RegCloseKey(control);
}

std::optional<DWORD> RunProcess(std::wstring commandLine, DWORD timeoutMs) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &process)) {
    return std::nullopt;
  }
  ::CloseHandle(process.hThread);
  std::optional<DWORD> result;
  if (::WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (::GetExitCodeProcess(process.hProcess, &code)) result = code;
  } else {
    ::TerminateProcess(process.hProcess, 1);
  }
  ::CloseHandle(process.hProcess);
  return result;
}

std::wstring ThisProgramPath() {
  std::wstring path(32768, L'\0');
  const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return path;
}

}  // namespace korvex::wintest
