#include "host/win32/win32_host.h"

#include "host/child_process.h"

#include <windows.h>
#include <bcrypt.h>

#include <memory>

#include "host/win32/utf8.h"

namespace korvex {
namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }
HANDLE ToHandle(HostHandle handle) { return reinterpret_cast<HANDLE>(handle); }
HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// The Win32 calls want NUL-terminated texts; the core hands out views.
std::string Terminated(std::string_view text) { return std::string(text); }

// CreateThread's entry has its own signature; the start record carries the station's
// entry and argument across and is freed as soon as the new thread has read it.
struct ThreadStart {
  Host::ThreadProc proc;
  void* argument;
};

DWORD WINAPI ThreadTrampoline(LPVOID parameter) {
  const std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(parameter));
  return start->proc(start->argument);
}

// A removable drive without a medium must be skipped quietly, not answered with the
// system's "insert a disk" box.
class QuietDriveErrors {
 public:
  QuietDriveErrors() { ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous_); }
  ~QuietDriveErrors() { ::SetThreadErrorMode(previous_, nullptr); }
  QuietDriveErrors(const QuietDriveErrors&) = delete;
  QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

 private:
  DWORD previous_ = 0;
};

}  // namespace

// --- Registry ---

long Win32Host::RegOpenKeyRead(std::string_view path, RegKey& key) {
  HKEY opened = nullptr;
  const LSTATUS status =
      ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, Terminated(path).c_str(), 0, KEY_READ, &opened);
  if (status == ERROR_SUCCESS) key = reinterpret_cast<RegKey>(opened);
  return status;
}

long Win32Host::RegEnumKeyName(RegKey key, std::uint32_t index, char* name,
                               std::uint32_t nameSize) {
  return ::RegEnumKeyA(ToHkey(key), index, name, nameSize);
}

long Win32Host::RegQueryString(RegKey key, std::string_view valueName, char* data,
                               std::uint32_t dataSize) {
  DWORD type = REG_SZ;
  DWORD size = dataSize;
  return ::RegQueryValueExA(ToHkey(key), Terminated(valueName).c_str(), nullptr, &type,
                            reinterpret_cast<BYTE*>(data), &size);
}

long Win32Host::RegQueryDword(RegKey key, std::string_view valueName, std::uint32_t& value) {
  DWORD type = REG_DWORD;
  DWORD read = 0;
  DWORD size = sizeof read;
  const LSTATUS status = ::RegQueryValueExA(ToHkey(key), Terminated(valueName).c_str(), nullptr,
                                            &type, reinterpret_cast<BYTE*>(&read), &size);
  if (status == ERROR_SUCCESS) value = read;
  return status;
}

void Win32Host::RegCloseKey(RegKey key) { ::RegCloseKey(ToHkey(key)); }

// --- Device files ---

HostHandle Win32Host::OpenDevice(std::string_view path, std::uint32_t& lastError) {
  const HANDLE handle =
      ::CreateFileA(Terminated(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    lastError = ::GetLastError();
    return kInvalidHandle;
  }
  return reinterpret_cast<HostHandle>(handle);
}

namespace {

// ERROR_NO_SUCH_DEVICE (winerror.h); MinGW's headers lack it.
constexpr DWORD kErrorNoSuchDevice = 433;

// A device whose driver instance went away answers with one of these.
DeviceResult Outcome(BOOL ok, DWORD bytes) {
  if (ok != FALSE) return {DeviceStatus::kOk, bytes};
  switch (::GetLastError()) {
    case ERROR_DEVICE_NOT_CONNECTED:
    case kErrorNoSuchDevice:
    case ERROR_DEV_NOT_EXIST:
      return {DeviceStatus::kGone, bytes};
    default:
      return {DeviceStatus::kFailed, bytes};
  }
}

}  // namespace

DeviceResult Win32Host::DeviceIoControl(HostHandle handle, std::uint32_t code, const RequestBuffer& in,
                                        RequestBuffer& out) {
  // The driver does not write to the input; the API only lacks the const.
  DWORD returned = 0;
  const BOOL ok = ::DeviceIoControl(ToHandle(handle), code, const_cast<std::uint8_t*>(in.data()),
                                    static_cast<DWORD>(in.size()), out.data(),
                                    static_cast<DWORD>(out.size()), &returned, nullptr);
  return Outcome(ok, returned);
}

DeviceResult Win32Host::WriteDevice(HostHandle handle, const std::uint8_t* data, std::uint32_t count) {
  DWORD done = 0;
  const BOOL ok = ::WriteFile(ToHandle(handle), data, count, &done, nullptr);
  return Outcome(ok, done);
}

DeviceResult Win32Host::ReadDevice(HostHandle handle, std::uint8_t* data, std::uint32_t count) {
  DWORD done = 0;
  const BOOL ok = ::ReadFile(ToHandle(handle), data, count, &done, nullptr);
  return Outcome(ok, done);
}

bool Win32Host::CloseDevice(HostHandle handle) { return ::CloseHandle(ToHandle(handle)) != FALSE; }

// --- Threads and the main window ---

std::intptr_t Win32Host::SendWindowMessage(WindowHandle window, std::uint32_t message,
                                           std::uintptr_t wParam, std::intptr_t lParam) {
  return ::SendMessageW(ToHwnd(window), message, wParam, lParam);
}

bool Win32Host::StartThread(ThreadProc proc, void* argument) {
  auto start = std::make_unique<ThreadStart>(ThreadStart{proc, argument});
  const HANDLE thread = ::CreateThread(nullptr, 0, ThreadTrampoline, start.get(), 0, nullptr);
  if (thread == nullptr) return false;
  start.release();  // the new thread owns it now
  // Workers are never joined; the handle is not needed to let them run.
  ::CloseHandle(thread);
  return true;
}

// --- Volumes and files ---

std::vector<std::string> Win32Host::LogicalDriveRoots() {
  // 26 roots of four characters each fit; the loop only matters for odd mount setups.
  std::wstring buffer(256, L'\0');
  for (;;) {
    const DWORD length =
        ::GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.assign(length + 1, L'\0');
  }
  std::vector<std::string> roots;
  for (std::size_t begin = 0; begin < buffer.size();) {
    const std::size_t end = buffer.find(L'\0', begin);
    const std::size_t stop = end == std::wstring::npos ? buffer.size() : end;
    if (stop > begin)
      roots.push_back(WideToUtf8(std::wstring_view(buffer).substr(begin, stop - begin)));
    begin = stop + 1;
  }
  return roots;
}

bool Win32Host::IsRemovableDrive(std::string_view root) {
  return ::GetDriveTypeW(Utf8ToWide(root).c_str()) == DRIVE_REMOVABLE;
}

bool Win32Host::QueryFreeSpace(std::string_view root, std::uint64_t& freeBytes) {
  freeBytes = 0;
  QuietDriveErrors quiet;
  ULARGE_INTEGER available{};
  if (!::GetDiskFreeSpaceExW(Utf8ToWide(root).c_str(), &available, nullptr, nullptr)) {
    return false;
  }
  freeBytes = available.QuadPart;
  return true;
}

bool Win32Host::FindFile(std::string_view path) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(Utf8ToWide(path).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  ::FindClose(search);
  return true;
}

bool Win32Host::CopyFileOver(std::string_view from, std::string_view to) {
  return ::CopyFileW(Utf8ToWide(from).c_str(), Utf8ToWide(to).c_str(), FALSE) != FALSE;
}

bool Win32Host::DeleteFilePath(std::string_view path) {
  return ::DeleteFileW(Utf8ToWide(path).c_str()) != FALSE;
}

// --- Desktop ---

MessageAnswer Win32Host::ShowMessageBox(const MessageBoxRequest& request) {
  const UINT buttons = request.buttons == MessageButtons::OkCancel ? MB_OKCANCEL : MB_OK;
  const int answer = ::MessageBoxW(ToHwnd(owner_.load()), Utf8ToWide(request.text).c_str(),
                                   Utf8ToWide(request.caption).c_str(), buttons);
  // A box that could not be shown counts as declined, never as a go-ahead.
  return answer == IDOK ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

LocalTime Win32Host::GetLocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  LocalTime time;
  time.year = now.wYear;
  time.month = now.wMonth;
  time.day = now.wDay;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  time.millisecond = now.wMilliseconds;
  time.dayOfWeek = now.wDayOfWeek;
  return time;
}

void Win32Host::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

void Win32Host::RandomBytes(std::span<std::uint8_t> out) {
  // The system's preferred generator needs no algorithm handle, so every worker can
  // draw at once. It does not fail on a working system; a unique ID must never fall
  // back to something predictable, so a failure ends the station at once.
  const NTSTATUS status = ::BCryptGenRandom(nullptr, out.data(), static_cast<ULONG>(out.size()),
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (!BCRYPT_SUCCESS(status)) ::FatalAppExitW(0, L"BCryptGenRandom failed");
}

std::string Win32Host::ModuleFileName() {
  // MAX_PATH covers ordinary installs; a deeper folder gets a larger buffer rather
  // than a cut path that would put the table file and logs somewhere else.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return WideToUtf8(path);
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
}

ProcessResult Win32Host::RunProcess(const ProcessRequest& request) { return RunChildProcess(request); }

}  // namespace korvex
