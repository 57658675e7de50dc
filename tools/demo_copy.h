#pragma once
// The demo copy. After its burn a board can come back as a removable volume with a
// VIDEO entry at its root and VIDEO<sep>uid.txt inside, holding the unique ID the
// burn made. Every 3000 ms the window (or the console) runs DemoTimerTick: it finds
// those volumes, reads and deletes each uid.txt, finds the port whose burn made that
// ID and copies the operator's demo file onto the volume in a thread of that port.
// The copy's result goes to the production log under the port's ID text.
//
// Paths are joined as texts: a root always ends in its separator ("E:\" on Windows,
// ".../sim-volumes/usb0/" on the simulator), the VIDEO entry and the VEDIO target are
// appended to it directly, and uid.txt is joined to VIDEO with the root's own
// separator character (a backslash when the root ends in neither).

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "station/port_context.h"
#include "device/bounded_string.h"
#include "host/host.h"
#include "nand/identity_pages.h"

namespace korvex {

inline constexpr std::size_t kDemoVolumeCount = 32;
// The matching step is forced on the tick after this many ticks without it (~27 s).
inline constexpr std::uint32_t kDemoForcedRunTicks = 8;

inline constexpr int kDemoUidRead = 1;
inline constexpr int kDemoUidFailed = 0;
// Exit codes of a copy thread.
inline constexpr std::uint32_t kDemoCopied = 1;
inline constexpr std::uint32_t kDemoCopyFailed = 0;

using VolumePath = BoundedString<kImagePathCapacity>;

// One removable volume as the last scan found it.
struct DemoVolume {
  VolumePath root;        // "E:\"
  VolumePath videoPath;   // "E:\VIDEO"; empty when the scan did not fill this entry
  VolumePath demoTarget;  // "E:\VIDEOVEDIO"
  std::int32_t targetPresent = 1;  // 1 when demoTarget is empty or already exists
  VolumePath uidPath;     // "E:\VIDEO\uid.txt"
  Uid uid{};
  UidText uidText;
};
using DemoVolumes = std::array<DemoVolume, kDemoVolumeCount>;

// What a port's copy thread works on. Written on the window's thread only while
// `running` is false; the thread owns it from its start until it clears `running`.
struct DemoCopyJob {
  ImagePath source;
  VolumePath target;
  // The port's PortRun uidText at the match; the copy's log line carries it, so a new
  // burn on the port while the copy runs cannot change what the line names.
  UidText uidText;
  Host* host = nullptr;
  // Plays the part of the port's copy-thread handle: a port runs one copy at a time.
  std::atomic<bool> running{false};
};

// The station's tables; the window's thread uses them, copy threads only their job.
extern DemoVolumes g_demoVolumes;
extern std::array<DemoCopyJob, kPortCount> g_demoCopyJobs;
// Ticks since the matching step last ran; window's thread only.
extern std::uint32_t g_demoTick;

// Back to start-up state. No copy thread may be running.
void ResetDemoState();

// Clears videoPath and demoTarget of every entry, then fills entries 0..n-1 from the
// removable drives, in the host's order, that answer the free-space query and carry
// a VIDEO entry; sets their demoTarget, uidPath and targetPresent. Returns n.
int ScanDemoVolumes(Host& host, DemoVolumes& volumes);

// Reads up to 16 bytes of the entry's uid.txt into uid (the rest stays 0), forms
// uidText, shows the messages of the readout and deletes uid.txt. kDemoUidRead only
// when all of that worked, including the deletion; else kDemoUidFailed.
int ReadDemoUid(Host& host, DemoVolume& volume);

// The copy thread of a port, given its DemoCopyJob: copies source over target and
// logs the result under the job's ID text. Returns kDemoCopied or kDemoCopyFailed.
std::uint32_t ThreadFileFunc(void* job);

struct DemoTickResult {
  int volumes = 0;         // n of this tick's scan
  bool matched = false;    // the gate opened and the matching step ran
  int copiesStarted = 0;   // copy threads started by it
};

// The demo timer's work in normal mode, once the window has found "Demo" checked and
// a demo path chosen: counts the tick, scans the volumes, and when g_burningCount
// equals the number found or more than kDemoForcedRunTicks ticks have passed, reads
// the ID of each of the first eight entries whose target is missing and whose port
// (the entry's own index) finished its burn, and starts a copy of demoPath for every
// port whose ID text matches. Message boxes hold the caller until answered.
DemoTickResult DemoTimerTick(Host& host, std::string_view demoPath, DemoVolumes& volumes);

}  // namespace korvex
