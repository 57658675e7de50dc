#pragma once
// The one interface between the station and everything outside the process.
// Each method mirrors one platform call the station makes; the Win32 backend maps
// them one to one, the simulator (sim/) answers them with virtual boards.
// Every method may be called from several threads at once.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

// An open device file. kInvalidHandle plays the part of INVALID_HANDLE_VALUE.
using HostHandle = std::intptr_t;
inline constexpr HostHandle kInvalidHandle = -1;

// A window that receives messages (the main window's handle); 0 for none.
using WindowHandle = std::uintptr_t;

// An open registry key (opened read-only under HKEY_LOCAL_MACHINE).
using RegKey = std::uintptr_t;

// Registry results keep the platform's error numbers so callers can test them as such.
enum RegStatus : long {
  kRegSuccess = 0,        // ERROR_SUCCESS
  kRegNotFound = 2,       // ERROR_FILE_NOT_FOUND
  kRegMoreData = 234,     // ERROR_MORE_DATA: the value does not fit the buffer
  kRegNoMoreItems = 259,  // ERROR_NO_MORE_ITEMS
};

// Every I/O control request carries exactly this many bytes each way.
inline constexpr std::size_t kRequestBufferSize = 512;
using RequestBuffer = std::array<std::uint8_t, kRequestBufferSize>;

// What a device call did: whether it worked, or the device went away (unplugged, its
// driver instance removed), or it failed otherwise; and the bytes it actually moved
// (written, read, or for an I/O control call returned in the output buffer). A
// transfer that moved fewer bytes than asked is the caller's to judge.
enum class DeviceStatus { kOk, kGone, kFailed };
struct DeviceResult {
  DeviceStatus status = DeviceStatus::kFailed;
  std::uint32_t bytes = 0;
  bool Ok() const { return status == DeviceStatus::kOk; }
};

enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok = 1, Cancel = 2 };

// A modal message box. `port` is the operator's view of who asks: the port (0..7)
// whose worker shows it, or kNoPort for the window itself.
inline constexpr int kNoPort = -1;
struct MessageBoxRequest {
  std::string_view text;
  std::string_view caption;
  MessageButtons buttons = MessageButtons::Ok;
  int port = kNoPort;
};

// GetLocalTime's record, field for field.
struct LocalTime {
  std::uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0,
                millisecond = 0, dayOfWeek = 0;
};

// A program the station runs for a moment (a job's hook): its command line, run in
// `folder`, with `input` on its standard input. It gets timeoutMs to end; each of its
// standard output and error keeps at most outputLimit bytes (the rest is read and
// dropped, so a chatty program never blocks on a full pipe).
struct ProcessRequest {
  std::string_view commandLine;
  std::string_view folder;  // UTF-8; empty: the station's own working folder
  std::string_view input;
  std::uint32_t timeoutMs = 10'000;
  std::size_t outputLimit = 64 * 1024;
};

struct ProcessResult {
  enum class Outcome { kExited, kTimedOut, kNotStarted };
  Outcome outcome = Outcome::kNotStarted;
  int exitCode = -1;   // kExited: the program's exit code
  std::string output;  // standard output, bounded
  std::string errors;  // standard error, bounded
  std::string why;     // kNotStarted: what the system said
};

// The boards' device files: all a device backend has to give.
class DeviceHost {
 public:
  virtual ~DeviceHost() = default;

  // --- Device files (synchronous, no overlapped I/O) ---
  // CreateFile(path, read|write, share read, open existing). On failure returns
  // kInvalidHandle and sets lastError (GetLastError).
  virtual HostHandle OpenDevice(std::string_view path, std::uint32_t& lastError) = 0;
  // DeviceIoControl with 512-byte input and output buffers; bytes is what the driver
  // returned in the output.
  virtual DeviceResult DeviceIoControl(HostHandle handle, std::uint32_t code, const RequestBuffer& in,
                                       RequestBuffer& out) = 0;
  // WriteFile / ReadFile of count bytes; bytes is what was written or read.
  virtual DeviceResult WriteDevice(HostHandle handle, const std::uint8_t* data, std::uint32_t count) = 0;
  virtual DeviceResult ReadDevice(HostHandle handle, std::uint8_t* data, std::uint32_t count) = 0;
  virtual bool CloseDevice(HostHandle handle) = 0;
};

// Everything outside the process but the boards' device files: the registry, the
// main window, threads, volumes, message boxes, the clock, sleeping, random bytes and
// the program's path.
class DesktopHost {
 public:
  virtual ~DesktopHost() = default;

  // --- Registry (read only, under HKEY_LOCAL_MACHINE) ---
  // RegOpenKey for reading; key receives the open key on kRegSuccess.
  virtual long RegOpenKeyRead(std::string_view path, RegKey& key) = 0;
  // RegEnumKey: the name of subkey `index` into a buffer of nameSize bytes (with its NUL).
  virtual long RegEnumKeyName(RegKey key, std::uint32_t index, char* name,
                              std::uint32_t nameSize) = 0;
  // RegQueryValueEx of a REG_SZ value into a buffer of dataSize bytes; a value whose
  // text and terminating NUL do not fit gives kRegMoreData.
  virtual long RegQueryString(RegKey key, std::string_view valueName, char* data,
                              std::uint32_t dataSize) = 0;
  // RegQueryValueEx of a REG_DWORD value.
  virtual long RegQueryDword(RegKey key, std::string_view valueName, std::uint32_t& value) = 0;
  virtual void RegCloseKey(RegKey key) = 0;

  // --- Threads and the main window ---
  // SendMessage: the window's handler runs on the window's thread; the caller waits
  // for its result.
  virtual std::intptr_t SendWindowMessage(WindowHandle window, std::uint32_t message,
                                          std::uintptr_t wParam, std::intptr_t lParam) {
    (void)window, (void)message, (void)wParam, (void)lParam;
    return 0;
  }
  // CreateThread: runs proc(argument) at once on a thread of its own that nobody
  // joins; false when no thread could be created.
  using ThreadProc = std::uint32_t (*)(void* argument);
  virtual bool StartThread(ThreadProc proc, void* argument) {
    (void)proc, (void)argument;
    return false;
  }

  // --- Volumes and files (the demo copy onto boards that show up as drives) ---
  // GetLogicalDriveStrings: every drive root ("E:\\"), in the system's order.
  virtual std::vector<std::string> LogicalDriveRoots() { return {}; }
  // GetDriveType(root) == DRIVE_REMOVABLE.
  virtual bool IsRemovableDrive(std::string_view root) {
    (void)root;
    return false;
  }
  // GetDiskFreeSpaceEx(root): false when the drive has no medium or cannot be asked.
  virtual bool QueryFreeSpace(std::string_view root, std::uint64_t& freeBytes) {
    (void)root;
    freeBytes = 0;
    return false;
  }
  // FindFirstFile(path): true when a file or folder of that name exists.
  virtual bool FindFile(std::string_view path) {
    (void)path;
    return false;
  }
  // CopyFile(from, to, overwrite allowed).
  virtual bool CopyFileOver(std::string_view from, std::string_view to) {
    (void)from, (void)to;
    return false;
  }
  // DeleteFile(path).
  virtual bool DeleteFilePath(std::string_view path) {
    (void)path;
    return false;
  }

  // --- Desktop ---
  // Shows a modal message box and waits for the operator's answer.
  virtual MessageAnswer ShowMessageBox(const MessageBoxRequest& request) = 0;
  virtual LocalTime GetLocalTime() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  // Fills out with unpredictable bytes from the operating system's random source
  // (BCryptGenRandom). Boards of different stations burned in the same millisecond
  // must not share a unique ID, so nothing seeded from the clock will do. The
  // simulator and test hosts answer from a seeded, reproducible generator instead.
  virtual void RandomBytes(std::span<std::uint8_t> out) = 0;
  // Runs a program to its end or its timeout (posix_spawn, CreateProcessW), killing
  // it and whatever it started when the time is up. Several ports may run one each
  // at the same time; none waits for another.
  virtual ProcessResult RunProcess(const ProcessRequest& request) {
    (void)request;
    ProcessResult result;
    result.why = "this host runs no programs";
    return result;
  }
  // The running program's full path (GetModuleFileName). Its folder is the station's
  // home: the table file, the model folders and the logs live there.
  virtual std::string ModuleFileName() = 0;
};

// The whole outside world, as the station uses it: a backend that serves boards and
// the desktop both (the real Windows host, the simulator) implements this; code that
// needs only one part takes that part.
class Host : public DeviceHost, public DesktopHost {
 public:
  ~Host() override = default;
};

}  // namespace korvex
