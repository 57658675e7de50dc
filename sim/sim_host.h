#pragma once
// The simulated host: a virtual USB boot driver with N virtual USB ports, each an
// interface instance in a virtual registry, and virtual boards that can be plugged
// into them. The unchanged discovery, boot and NAND code runs against it.
// Every public method is thread-safe: workers talk to their boards while the main
// thread scans the registry and a test plugs and unplugs boards.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "host/device_change.h"
#include "host/host.h"
#include "host/seeded_random.h"
#include "sim/board_setup.h"
#include "sim/simulated_line.h"
#include "sim/timing.h"
#include "sim/trace.h"

namespace korvex::sim {

// The driver's interface class key, with its trailing backslash.
inline constexpr std::string_view kInterfaceClassKey =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
    "{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}\\";

class VirtualDriver;
class SimVolumes;

class SimHost : public Host {
 public:
  // usbPorts interface instances exist from the start, none linked. home is the
  // station's folder: ModuleFileName() answers home / "korvex".
  SimHost(int usbPorts, std::filesystem::path home);
  ~SimHost() override;

  // --- Boards ---
  void Plug(int usbPort, const BoardSpec& spec);  // replaces any board on that port
  void Unplug(int usbPort);                       // a handle to it fails from now on
  // The board last plugged into the port goes back in: the same NAND and bad blocks,
  // its firmware in the boot ROM, the faults of its earlier link spent. Throws
  // std::logic_error when the port never had a board.
  void Replug(int usbPort);
  bool IsPlugged(int usbPort) const;
  bool HasBoard(int usbPort) const;  // a board was plugged into the port at some time
  int UsbPortCount() const;

  // --- A whole line, as the --sim-... options describe it ---
  // Turns the timing model on or off, plugs line.boards boards and starts the clock of
  // the line's plug events. Throws what Plug throws, for the boards events would plug too.
  void StartLine(const SimulatedLine& line);
  // Scripted events happen when due, at the first call through which the station
  // looks at the boards or the clock (registry, devices, drives, time, sleep): the
  // station cannot tell them from a board pulled or plugged at that very moment.
  bool EventsPending() const;
  // The clock of the events, as time since the line started: the steady clock unless
  // a test sets its own.
  void SetEventClock(std::function<std::chrono::milliseconds()> clock);

  // --- What tests and the command line inspect ---
  std::vector<TraceEntry> Trace(int usbPort) const;
  std::vector<std::string> TraceText(int usbPort) const;  // one ToString per entry
  void ClearTrace(int usbPort);
  // The board's NAND byte array (page data only); untouched bytes read 0xFF.
  std::vector<std::uint8_t> ReadNand(int usbPort, std::uint64_t offset, std::size_t length) const;
  // Seeds the NAND as if programmed (for read-back scenarios).
  void WriteNand(int usbPort, std::uint64_t offset, const std::vector<std::uint8_t>& bytes);
  // End of the last page ever written, in bytes; 0 when nothing was written.
  std::uint64_t NandHighWater(int usbPort) const;
  // The NAND as 64 KiB pieces by offset, leaving out those that read all 0xFF: two
  // boards hold the same bytes exactly when their pieces are equal, and comparing
  // them costs what was written, not the chip's size.
  std::map<std::uint64_t, std::vector<std::uint8_t>> NandPieces(int usbPort) const;
  // Writes board-<k>.nand into dir, k = usbPort + 1 as the operator counts ports;
  // false when the file cannot be written.
  bool DumpNand(int usbPort, const std::filesystem::path& dir) const;
  // Every configuration record the board accepted, oldest first.
  std::vector<std::vector<std::uint8_t>> ConfigRecords(int usbPort) const;
  bool WasReset(int usbPort) const;
  // Physical blocks that are bad on the plugged chip (factory and random).
  std::vector<std::uint32_t> BadBlocks(int usbPort) const;
  // What the timing model was charged for the board's exchanges, in order; empty
  // while timing is off. A benchmark replays them to find a line's bound.
  std::vector<TimedCharge> TimedCharges(int usbPort) const;
  // Where the board's firmware is; BootRom for a port that never had a board.
  BoardStage Stage(int usbPort) const;
  bool IsHung(int usbPort) const;  // the board stopped answering (hang-after)
  // The last stage-1 / stage-2 image the board took into memory, bytes as received
  // (FirmwareArgs included); empty when it took none.
  std::vector<std::uint8_t> Stage1Image(int usbPort) const;
  std::vector<std::uint8_t> Stage2Image(int usbPort) const;

  // The folder that serves as the volume of the board on usbPort once it has been
  // reset with an ID on its NAND (sim/sim_volumes.h); it exists only while mounted.
  std::filesystem::path VolumeDir(int usbPort) const;

  // --- Registry shaping, for discovery scenarios ---
  std::string SymbolicLinkOf(int usbPort) const;
  void SetSymbolicLink(int usbPort, std::string link);       // e.g. an over-long one
  void RemoveRegistryValue(int usbPort, std::string_view valueName);  // unreadable value

  // --- Desktop services of the simulated host ---
  // Message boxes go to this handler; the default prints "port N: text" (or the text
  // alone for the window) to stderr and answers OK.
  void SetMessageBoxHandler(std::function<MessageAnswer(const MessageBoxRequest&)> handler);
  // Sleeps are real by default; instant sleeps make tests run at memory speed.
  void SetInstantSleep(bool instant);
  // RandomBytes answers from the operating system's source, as a real station's, so
  // simulated boards of stations started together never share a unique ID. A seed
  // set here makes them reproducible instead (--sim-seed, tests).
  void SetRandomSeed(std::uint64_t seed) {
    random_.Seed(seed);
    seeded_ = true;
  }
  // The timing model of USB transfers, requests and NAND work (sim/timing.h): off by
  // default; while on, every exchange takes its modelled wall-clock time.
  void SetTimingEnabled(bool enabled);
  void SetTimingModel(const TimingModel& model);
  // The main window's procedure: SendWindowMessage calls it, one message at a time,
  // on the sending thread (there is no window thread to hand it to). Without one,
  // messages are dropped and answer 0.
  using WindowProcedure =
      std::function<std::intptr_t(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t)>;
  void SetWindowProcedure(WindowProcedure procedure);
  // Announces every plug (an arrival; a board replaced is also a removal first) and
  // every pull of a plugged board (a removal), with the port's symbolic link, on the
  // thread that plugs or pulls it, as the driver's interface notifications do.
  void SetDeviceChangeHandler(DeviceChangeHandler handler);
  // Waits until every thread that StartThread began has returned. The station never
  // joins its workers; a test or the console does before it looks at the results.
  void JoinThreads();

  // --- Host ---
  long RegOpenKeyRead(std::string_view path, RegKey& key) override;
  long RegEnumKeyName(RegKey key, std::uint32_t index, char* name, std::uint32_t nameSize) override;
  long RegQueryString(RegKey key, std::string_view valueName, char* data,
                      std::uint32_t dataSize) override;
  long RegQueryDword(RegKey key, std::string_view valueName, std::uint32_t& value) override;
  void RegCloseKey(RegKey key) override;
  HostHandle OpenDevice(std::string_view path, std::uint32_t& lastError) override;
  DeviceResult DeviceIoControl(HostHandle handle, std::uint32_t code, const RequestBuffer& in,
                               RequestBuffer& out) override;
  DeviceResult WriteDevice(HostHandle handle, const std::uint8_t* data, std::uint32_t count) override;
  DeviceResult ReadDevice(HostHandle handle, std::uint8_t* data, std::uint32_t count) override;
  bool CloseDevice(HostHandle handle) override;
  MessageAnswer ShowMessageBox(const MessageBoxRequest& request) override;
  LocalTime GetLocalTime() override;
  void Sleep(std::uint32_t milliseconds) override;
  void RandomBytes(std::span<std::uint8_t> out) override;
  std::string ModuleFileName() override;
  std::intptr_t SendWindowMessage(WindowHandle window, std::uint32_t message,
                                  std::uintptr_t wParam, std::intptr_t lParam) override;
  bool StartThread(ThreadProc proc, void* argument) override;
  // The boards' volumes: only they are drives here, all removable; the file calls
  // work on real paths of this machine.
  std::vector<std::string> LogicalDriveRoots() override;
  bool IsRemovableDrive(std::string_view root) override;
  bool QueryFreeSpace(std::string_view root, std::uint64_t& freeBytes) override;
  bool FindFile(std::string_view path) override;
  bool CopyFileOver(std::string_view from, std::string_view to) override;
  bool DeleteFilePath(std::string_view path) override;
  // A job's hooks are real programs on a simulated line too.
  ProcessResult RunProcess(const ProcessRequest& request) override;

 private:
  void ApplyDueEvents();
  void Apply(const PlugEvent& event);
  void Announce(DeviceChange change, int usbPort);

  std::shared_ptr<SimTiming> timing_;
  std::unique_ptr<VirtualDriver> driver_;
  std::filesystem::path home_;
  std::unique_ptr<SimVolumes> volumes_;
  std::mutex desktopMutex_;  // guards messageBoxHandler_
  std::function<MessageAnswer(const MessageBoxRequest&)> messageBoxHandler_;
  std::atomic<bool> instantSleep_{false};
  SeededRandom random_;
  std::atomic<bool> seeded_{false};
  std::mutex windowMutex_;  // one message at a time, like a window thread
  WindowProcedure windowProcedure_;
  std::mutex deviceChangeMutex_;  // guards deviceChangeHandler_
  DeviceChangeHandler deviceChangeHandler_;
  std::mutex threadsMutex_;
  std::vector<std::thread> threads_;

  mutable std::mutex eventsMutex_;  // guards the line, its events and their clock
  SimulatedLine line_;
  std::size_t nextEvent_ = 0;
  std::atomic<bool> eventsPending_{false};  // read without the lock on every call
  std::chrono::steady_clock::time_point lineStart_;
  std::function<std::chrono::milliseconds()> eventClock_;
};

}  // namespace korvex::sim
