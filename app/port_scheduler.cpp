#include "app/port_scheduler.h"

#include <atomic>
#include <cstdio>

#include "app/station_texts.h"
#include "app/model_selection.h"
#include "app/port_workers.h"
#include "device/device_open.h"
#include "host/paths.h"
#include "records/record_keeper.h"
#include "station/printf_text.h"

namespace korvex {

PortScheduler::PortScheduler(Host& host, DeviceTables& tables, PortWorker worker, PortWorker readBack,
                             std::shared_ptr<RecordKeeper> records)
    : host_(host), tables_(tables), worker_(worker), readBack_(readBack), records_(std::move(records)) {}

void PortScheduler::ShowMessage(std::string_view text) {
  host_.ShowMessageBox({text, kApplicationTitle, MessageButtons::Ok, kNoPort});
}

void PortScheduler::PrepareSession(PortContext& context, std::size_t port) {
  context.BindFixedSessionFields(host_);
  ClaimModel(context.session);
  context.settings.port = static_cast<std::int32_t>(port);
}

// Every context without a running worker gets the window's settings and options. A
// context belongs to its worker until the worker returns, so a running one is left
// alone; it misses nothing, as the controls that feed the settings stay locked while
// any port is in use.
void PortScheduler::CopySettings(const StationSettings& settings) {
  for (std::size_t port = 0; port < kPortCount; ++port) {
    if (g_portRuns[port].workerRunning) continue;
    PortContext& context = g_portContexts[port];
    context.settings.includeFlags = settings.includeFlags;
    context.settings.imagePaths = settings.imagePaths;
    context.settings.hwndMain = settings.hwndMain;
    PrepareSession(context, port);
    context.session.formatAfterBurn = settings.formatAfterBurn;
    context.session.fileSystemFormat = settings.fileSystemFormat;
    context.session.eraseWholeChip = settings.eraseWholeChip;
    context.EnableVerify(settings.verifyWrites);
  }
}

void PortScheduler::Claim(std::size_t port) {
  PortSlot& slot = g_portSlots[port];
  PortContext& context = g_portContexts[port];
  slot.state = kPortOpening;
  slot.inUse = 1;
  slot.port = static_cast<std::int32_t>(port);
  context.session.port = static_cast<std::uint8_t>(port);
  context.session.devicePath.Assign(tables_.linkedDevices[port].symbolicLink.View());
  arrivals_.Claimed(port, tables_.linkedDevices[port].symbolicLink.View());
  context.session.is2KPage = 1;
  ClaimModel(context.session);

  if (OpenDevice(context.session) != kOpenOk) {
    slot.state = kPortStartFailed;
    ShowMessage(PrintfText(kTextPortBootFailed, static_cast<int>(port) + 1));
    return;
  }
  slot.state = kPortWorkerStarted;
  g_portRuns[port].end = BurnEnd::kNone;
  g_portRuns[port].blocksSkipped = 0;
  g_portRuns[port].workerRunning = true;
  HandRecordsToPort(port, records_);
  if (!host_.StartThread(worker_, &context)) {
    HandRecordsToPort(port, nullptr);
    g_portRuns[port].workerRunning = false;
    slot.state = kPortStartFailed;
    // No worker will close the handle the claim opened.
    CloseDevice(context.session);
    ShowMessage(kTextCantCreateWorker);
  }
}

ScanResult PortScheduler::Scan(const StationSettings& settings) {
  ScanResult result;
  // The open's message boxes run a modal loop in which the scan timer fires again;
  // that scan would rewrite the sessions this one is opening.
  if (scanning_) return result;
  scanning_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{scanning_};
  bool anyIncluded = false;
  for (const std::int32_t flag : settings.includeFlags) anyIncluded |= flag != 0;
  // No image chosen: never start a burn (the READ button relies on this).
  if (!anyIncluded) return result;

  CopySettings(settings);
  CollectLinkedDevices(host_, tables_);
  // Records that could not be written are tried again first; while any waits, no
  // new board is claimed (boards already burning finish).
  const bool recordsWritable = records_->RetryUnwritten();
  for (std::size_t port = 0; port < kPortCount; ++port) ScanPort(port, recordsWritable, result);

  std::int32_t burning = 0;
  for (const PortRun& run : g_portRuns) burning += run.burning == kBurningStarted ? 1 : 0;
  g_burningCount = burning;
  return result;
}

void PortScheduler::ScanPort(std::size_t port, bool recordsWritable, ScanResult& result) {
  PortSlot& slot = g_portSlots[port];
  if (tables_.linkedDevices[port].linked == 0) {
    // A worker still running here finds the port free after its current image and
    // reports the board as disconnected.
    slot.state = kPortFree;
    slot.inUse = 0;
    arrivals_.Released(port);
    return;
  }
  // A claimed port linked at every scan still holds its board, unless the
  // notifications told of a swap in between.
  if (slot.inUse == 1 && !arrivals_.NewBoardOn(port)) return;
  // A new board on a port whose previous worker has not returned yet (unplugged
  // mid-burn, replugged within one scan) waits: its context still belongs to that
  // worker. The next scan after the worker returns claims it.
  if (g_portRuns[port].workerRunning) {
    ++result.postponed;
    return;
  }
  if (!recordsWritable) {
    result.heldForRecords[port] = true;
    return;
  }
  Claim(port);
  ++result.claimed;
}

bool PortScheduler::AnyPortInUse() {
  for (const PortSlot& slot : g_portSlots) {
    if (slot.inUse == 1) return true;
  }
  return false;
}

namespace {

// The read-back holds port 0's context like a worker does, so the scan leaves that
// context alone and claims no board onto it until the read-back has returned.
std::atomic<PortWorker> g_readBackProc{nullptr};

std::uint32_t ReadBackEntry(void* context) {
  const std::uint32_t result = g_readBackProc.load()(context);
  g_portRuns[0].workerRunning = false;
  return result;
}

}  // namespace

bool PortScheduler::StartReadBack(const StationSettings& settings, std::uint32_t fromPage,
                                  std::uint32_t toPage, const std::filesystem::path& outputPath) {
  if (toPage <= fromPage) {
    ShowMessage(kTextBadAddressRange);
    return false;
  }
  CollectLinkedDevices(host_, tables_);
  if (tables_.linkedDevices[0].linked == 0) {
    ShowMessage(kTextNoLinkedDevice);
    return false;
  }
  if (g_portRuns[0].workerRunning) {
    ShowMessage(kTextPortZeroBusy);
    return false;
  }
  PortContext& context = g_portContexts[0];
  context.session.port = static_cast<std::uint8_t>(g_portSlots[0].port.load());
  context.session.devicePath.Assign(tables_.linkedDevices[0].symbolicLink.View());
  context.settings.hwndMain = settings.hwndMain;
  PrepareSession(context, 0);
  context.settings.fromPage = fromPage;
  context.settings.toPage = toPage;
  // The output file travels in the nand.bin path field.
  context.settings.imagePaths[JobSlotOf(kNandBin)].Assign(PathToUtf8(outputPath));
  g_readBackProc = readBack_;
  g_portRuns[0].workerRunning = true;
  if (!host_.StartThread(ReadBackEntry, &context)) {
    g_portRuns[0].workerRunning = false;
    ShowMessage(kTextCantCreateWorker);
    return false;
  }
  return true;
}

}  // namespace korvex
