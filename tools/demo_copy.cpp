#include "tools/demo_copy.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "station/printf_text.h"
#include "station/production_log.h"
#include "device/device_texts.h"
#include "host/paths.h"
#include "tools/tools_texts.h"

namespace korvex {

DemoVolumes g_demoVolumes;
std::array<DemoCopyJob, kPortCount> g_demoCopyJobs;
std::uint32_t g_demoTick = 0;

namespace {

void ShowMessage(Host& host, std::string_view text) {
  host.ShowMessageBox({text, kMessageCaption, MessageButtons::Ok, kNoPort});
}

// The root's own separator; Windows roots all end in a backslash.
char SeparatorOf(std::string_view root) {
  if (!root.empty() && (root.back() == '/' || root.back() == '\\')) return root.back();
  return '\\';
}

std::string Joined(std::string_view a, std::string_view b) {
  std::string text(a);
  text.append(b);
  return text;
}

// The ID buffer read as a NUL-terminated text, as the readout's first message shows it.
std::string_view UidAsText(const Uid& uid) {
  const auto* chars = reinterpret_cast<const char*>(uid.data());
  return {chars, static_cast<std::size_t>(std::find(uid.begin(), uid.end(), 0) - uid.begin())};
}

std::string UidFileMessage(const DemoVolume& volume) {
  const std::string p(UidAsText(volume.uid));
  return PrintfText(kTextDemoUidFile, volume.uidPath.CStr(), p.c_str());
}

void LogDemoResult(Host& host, std::string_view uidText, std::string_view result) {
  WriteLogLine(host, Joined(uidText, result));
}

// Steps 1 to 4 of a match on port j: the two messages, then the port's copy thread.
// A port whose previous copy still runs cannot take a second one; that counts as a
// thread that could not be created.
bool StartDemoCopy(Host& host, std::size_t port, std::string_view demoPath,
                   const DemoVolume& volume) {
  ShowMessage(host, demoPath);
  ShowMessage(host, volume.demoTarget.View());
  DemoCopyJob& job = g_demoCopyJobs[port];
  const UidText portUid = g_portRuns[port].Uid();
  const std::string_view uidText = portUid.View();
  if (!job.running) {
    job.source.Assign(demoPath);
    job.target.Assign(volume.demoTarget.View());
    job.uidText.Assign(uidText);
    job.host = &host;
    job.running = true;
    if (host.StartThread(ThreadFileFunc, &job)) return true;
    job.running = false;
  }
  LogDemoResult(host, uidText, kLogDemoFailed);
  ShowMessage(host, kTextCantCreateCopyThread);
  return false;
}

}  // namespace

void ResetDemoState() {
  g_demoTick = 0;
  g_demoVolumes.fill(DemoVolume{});
  for (DemoCopyJob& job : g_demoCopyJobs) {
    job.source.Clear();
    job.target.Clear();
    job.uidText.Clear();
    job.host = nullptr;
    job.running = false;
  }
}

int ScanDemoVolumes(Host& host, DemoVolumes& volumes) {
  for (DemoVolume& volume : volumes) {
    volume.videoPath.Clear();
    volume.demoTarget.Clear();
  }
  std::vector<std::string> removable;
  for (const std::string& root : host.LogicalDriveRoots()) {
    if (host.IsRemovableDrive(root)) removable.push_back(root);
  }
  std::size_t n = 0;
  for (const std::string& root : removable) {
    if (n == volumes.size()) break;
    std::uint64_t freeBytes = 0;
    if (!host.QueryFreeSpace(root, freeBytes)) continue;  // no medium
    DemoVolume& volume = volumes[n];
    volume.root.Assign(root);
    const std::string video = Joined(root, kVideoEntryName);
    if (!host.FindFile(video)) continue;  // the next root reuses this entry
    volume.videoPath.Assign(video);
    ++n;
  }
  for (std::size_t i = 0; i < n; ++i) {
    DemoVolume& volume = volumes[i];
    if (volume.videoPath.Empty()) continue;
    volume.demoTarget.Assign(Joined(volume.videoPath.View(), kDemoTargetSuffix));
    std::string uidPath(volume.videoPath.View());
    uidPath += SeparatorOf(volume.root.View());
    uidPath.append(kUidFileName);
    volume.uidPath.Assign(uidPath);
  }
  for (std::size_t i = 0; i < n; ++i) {
    DemoVolume& volume = volumes[i];
    volume.targetPresent =
        volume.demoTarget.Empty() || host.FindFile(volume.demoTarget.View()) ? 1 : 0;
  }
  return static_cast<int>(n);
}

int ReadDemoUid(Host& host, DemoVolume& volume) {
  if (volume.uidPath.Empty()) return kDemoUidFailed;
  volume.uid.fill(0);
  ShowMessage(host, UidFileMessage(volume));
  {
    std::ifstream file(PathFromUtf8(volume.uidPath.View()), std::ios::binary);
    if (!file) {
      ShowMessage(host, kTextOpenUidFailed);
      return kDemoUidFailed;
    }
    file.read(reinterpret_cast<char*>(volume.uid.data()), static_cast<std::streamsize>(volume.uid.size()));
    if (file.gcount() == 0) {
      ShowMessage(host, kTextReadUidFailed);
      return kDemoUidFailed;
    }
  }  // closed here, before the file is deleted
  volume.uidText = FormatUidText(volume.uid);
  ShowMessage(host, volume.uidText.View());
  return host.DeleteFilePath(volume.uidPath.View()) ? kDemoUidRead : kDemoUidFailed;
}

std::uint32_t ThreadFileFunc(void* argument) {
  DemoCopyJob& job = *static_cast<DemoCopyJob*>(argument);
  Host& host = *job.host;
  const bool copied = !job.source.Empty() && !job.target.Empty() &&
                      host.CopyFileOver(job.source.View(), job.target.View());
  LogDemoResult(host, job.uidText.View(), copied ? kLogDemoSucceeded : kLogDemoFailed);
  job.running = false;  // the window's thread may hand the job out again from here on
  return copied ? kDemoCopied : kDemoCopyFailed;
}

DemoTickResult DemoTimerTick(Host& host, std::string_view demoPath, DemoVolumes& volumes) {
  DemoTickResult result;
  ++g_demoTick;
  for (DemoVolume& volume : volumes) volume.targetPresent = 1;
  result.volumes = ScanDemoVolumes(host, volumes);
  if (g_burningCount != result.volumes && g_demoTick <= kDemoForcedRunTicks) return result;
  g_demoTick = 0;
  result.matched = true;
  // Entry k is tested against port k's burn: the station assumes the k-th volume is
  // the board of port k.
  for (std::size_t k = 0; k < kPortCount; ++k) {
    DemoVolume& volume = volumes[k];
    if (volume.targetPresent != 0 || g_portRuns[k].burning != kBurningDone) continue;
    if (ReadDemoUid(host, volume) != kDemoUidRead) continue;
    for (std::size_t j = 0; j < kPortCount; ++j) {
      if (volume.uidText.View() != g_portRuns[j].Uid().View()) continue;
      if (StartDemoCopy(host, j, demoPath, volume)) ++result.copiesStarted;
    }
  }
  return result;
}

}  // namespace korvex
