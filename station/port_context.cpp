#include "station/port_context.h"

#include <algorithm>

namespace korvex {

std::array<PortSlot, kPortCount> g_portSlots;
std::array<PortRun, kPortCount> g_portRuns;
std::array<PortContext, kPortCount>& g_portContexts = *new std::array<PortContext, kPortCount>();
std::atomic<std::int32_t> g_burningCount{0};

void PortContext::BindFixedSessionFields(Host& host) {
  session.device.host = &host;
  session.device.handle = kInvalidHandle;
  session.dataBuffer = dataBuffer.data();
  session.tail = tail.data();
  session.targetEnable = scratch.data();
  session.targetCount = 1;
}

void PortRun::SetUid(const std::array<std::uint8_t, kUidSize>& uid, std::string_view text) {
  const std::lock_guard lock(uidLock_);
  uid_ = uid;
  uidText_.Assign(text);
}

UidText PortRun::Uid() const {
  const std::lock_guard lock(uidLock_);
  return uidText_;
}

void PortRun::ClearUid() {
  const std::lock_guard lock(uidLock_);
  uid_.fill(0);
  uidText_.Clear();
}

void PortContext::EnableVerify(bool on) {
  if (on && !verifyBuffer) verifyBuffer.reset(new std::uint8_t[kDataBufferSize]);
  session.verifyWrites = on;
  session.verifyBuffer = verifyBuffer.get();
}

void ResetPortRecords() {
  for (std::size_t port = 0; port < kPortCount; ++port) {
    g_portSlots[port].state = kPortFree;
    g_portSlots[port].port = static_cast<std::int32_t>(port);
    g_portSlots[port].inUse = 0;
    g_portRuns[port].burning = kBurningNone;
    g_portRuns[port].end = BurnEnd::kNone;
    g_portRuns[port].blocksSkipped = 0;
    g_portRuns[port].workerRunning = false;
    g_portRuns[port].ClearUid();
    PortContext& context = g_portContexts[port];
    context.session = DeviceSession{};
    context.scratch.fill(0);
    context.tail.fill(0);
    context.settings = JobSettings{};
  }
  g_burningCount = 0;
}

}  // namespace korvex
