#include "sim/virtual_board.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "protocol/byte_order.h"

namespace korvex::sim {
namespace {

constexpr std::uint32_t kRequestBase = 0x220000;  // request n is code 0x220000 + 4n
constexpr std::size_t kConfigRecordSize = 88;
constexpr std::size_t kIdentificationSize = 8;

int CheckedModel(int model) {
  if (model < 0 || model > 3) {
    throw std::invalid_argument("board model " + std::to_string(model) +
                                " is unknown (0 Qx7105/Qx7120, 1 Qx7130, 2 Qx7135, 3 Qx7105B)");
  }
  return model;
}

}  // namespace

VirtualBoard::VirtualBoard(const BoardSpec& spec, std::shared_ptr<SimTiming> timing)
    : VirtualBoard(spec, std::move(timing), NandChip(spec.chip, spec.faults)) {}

VirtualBoard::VirtualBoard(const BoardSpec& spec, std::shared_ptr<SimTiming> timing, NandChip chip)
    : model_(CheckedModel(spec.model)),
      faults_(spec.faults),
      timing_(std::move(timing)),
      chip_(std::move(chip)) {
  const ChipGeometry& real = chip_.geometry();
  view_ = {real.pageSize, real.blockSize / real.pageSize, real.spareSize};
  hung_ = faults_.hangAfterExchange == 0u;
  stage_ = spec.startInStage2 ? BoardStage::Stage2 : BoardStage::BootRom;
}

void VirtualBoard::Detach() {
  std::lock_guard lock(mutex_);
  DetachLocked();
}

void VirtualBoard::DetachLocked() {
  attached_ = false;
  wake_.notify_all();
}

template <typename Perform>
VirtualBoard::ExchangeResult VirtualBoard::Exchange(TraceEntry entry, Perform&& perform) {
  std::unique_lock lock(mutex_);
  if (!attached_) return {};
  const std::uint64_t number = ++exchanges_;
  if (hung_) {
    // A board that stopped answering holds the caller until someone pulls it out.
    wake_.wait(lock, [this] { return !attached_.load(); });
    entry.ok = false;
    trace_.push_back(entry);
    return {};
  }
  work_ = {};
  entry.ok = stage_ != BoardStage::Halted && perform();
  trace_.push_back(entry);
  if (attached_ && faults_.unplugAfterExchange == number) DetachLocked();
  if (faults_.hangAfterExchange == number) hung_ = true;
  return {true, entry.ok, work_};
}

// The timing model is charged after the board's lock is released: a long erase keeps
// this board's caller waiting, not someone inspecting or unplugging the board.
bool VirtualBoard::Request(std::uint32_t code, const RequestBuffer& in, RequestBuffer& out) {
  const bool wellFormed = code >= kRequestBase && (code - kRequestBase) % 4 == 0;
  // A malformed code keeps its raw value in the trace, so it cannot pass for a request.
  const std::uint32_t n = wellFormed ? (code - kRequestBase) / 4 : code;
  const std::uint32_t argument = GetLe32(in, 0);
  const auto since = std::chrono::steady_clock::now();
  const ExchangeResult result = Exchange(TraceEntry{TraceKind::Request, n, argument, 0, true}, [&] {
    if (!wellFormed) return false;
    if (faults_.failRequest == n && ++failRequestSeen_ == faults_.failRequestOccurrence) {
      return false;  // dropped before the firmware saw it: no effect at all
    }
    return PerformRequest(n, argument, out);
  });
  if (result.reached) Charge({false, 0, result.work}, since);
  return result.ok;
}

bool VirtualBoard::PerformRequest(std::uint32_t n, std::uint32_t argument, RequestBuffer& out) {
  if (stage_ == BoardStage::BootRom) return BootRomRequest(n, argument, out);
  if (stage_ == BoardStage::Stage1) return Stage1Request(n, argument, out);
  switch (n) {
    case kGetCpuInfo: return GetIdentification(out);
    case kSetDataAddress: address_ = argument; return true;
    case kSetDataLength: length_ = argument; return true;
    case kFlushCaches: return true;
    case kProgStart1:
    case kProgStart2: return false;  // stage 2 has nothing to start
    case kNandOps: return NandOperation(argument);
    case kSystemReset: return Reset(argument);
    case kConfiguration: return CommitConfiguration(argument);
    case kNorOps:
    case kGetNum:
    default: return false;
  }
}

// Request 0: the identification text in out[0..7], the rest zero.
bool VirtualBoard::GetIdentification(RequestBuffer& out) {
  const std::string_view text = Stage2IdentificationText(model_);
  out.fill(0);
  std::copy_n(text.begin(), std::min(text.size(), kIdentificationSize), out.begin());
  return true;
}

// Request 9, argument 1: the 88 bytes written just before become the configuration;
// its page size, pages per block and spare size select the NAND view.
bool VirtualBoard::CommitConfiguration(std::uint32_t argument) {
  if (argument != 1 || pending_.size() != kConfigRecordSize) return false;
  view_ = {GetLe32(pending_, 12), GetLe32(pending_, 16), GetLe32(pending_, 28)};
  configRecords_.push_back(std::move(pending_));
  pending_.clear();
  ReplyStatus(1);
  return true;
}

// Request 8, argument 1: the job is over. The board stays linked but answers nothing
// more until it is unplugged.
bool VirtualBoard::Reset(std::uint32_t argument) {
  if (argument != 1) return false;
  stage_ = BoardStage::Halted;
  wasReset_ = true;
  outgoing_.clear();
  outPos_ = 0;
  return true;
}

bool VirtualBoard::BulkWrite(const std::uint8_t* data, std::uint32_t count,
                             std::uint32_t& written) {
  written = 0;
  const auto since = std::chrono::steady_clock::now();
  const ExchangeResult result = Exchange(TraceEntry{TraceKind::BulkWrite, 0, 0, count, true}, [&] {
    // A short write takes half the bytes, and the driver says so.
    if (faults_.shortWrite == ++bulkWrites_) count /= 2;
    if (stage_ == BoardStage::BootRom || stage_ == BoardStage::Stage1) {
      if (!DownloadWrite(data, count)) return false;
    } else {
      pending_.assign(data, data + count);
    }
    written = count;
    return true;
  });
  if (result.reached) Charge({true, written, {}}, since);
  return result.ok;
}

bool VirtualBoard::BulkRead(std::uint8_t* data, std::uint32_t count, std::uint32_t& read) {
  read = 0;
  const auto since = std::chrono::steady_clock::now();
  const ExchangeResult result = Exchange(TraceEntry{TraceKind::BulkRead, 0, 0, count, true}, [&] {
    const std::size_t available = outgoing_.size() - outPos_;
    if (available == 0) return false;
    std::size_t n = std::min<std::size_t>(count, available);
    if (faults_.shortRead == ++bulkReads_) n /= 2;
    std::copy_n(outgoing_.begin() + static_cast<std::ptrdiff_t>(outPos_), n, data);
    outPos_ += n;
    read = static_cast<std::uint32_t>(n);
    return true;
  });
  if (result.reached) Charge({true, read, {}}, since);
  return result.ok;
}

void VirtualBoard::Charge(const TimedCharge& charge, SimTiming::TimePoint since) {
  if (!timing_ || !timing_->Enabled()) return;
  {
    std::lock_guard lock(mutex_);
    charges_.push_back(charge);
  }
  timing_->Charge(charge, since);
}

void VirtualBoard::NoteWait(std::uint32_t milliseconds) {
  if (milliseconds == 0 || !timing_ || !timing_->Enabled()) return;
  std::lock_guard lock(mutex_);
  charges_.push_back({false, 0, {}, milliseconds});
}

void VirtualBoard::Reply(std::vector<std::uint8_t> data, std::uint32_t status) {
  const std::size_t at = data.size();
  data.resize(at + 8, 0);
  PutLe32(data, at, status);
  outgoing_ = std::move(data);
  outPos_ = 0;
}

std::vector<TraceEntry> VirtualBoard::Trace() const {
  std::lock_guard lock(mutex_);
  return trace_;
}

void VirtualBoard::ClearTrace() {
  std::lock_guard lock(mutex_);
  trace_.clear();
}

std::vector<std::uint8_t> VirtualBoard::ReadNand(std::uint64_t offset, std::size_t length) const {
  std::lock_guard lock(mutex_);
  return chip_.Read(offset, length);
}

void VirtualBoard::WriteNand(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  chip_.Seed(offset, bytes);
}

std::uint64_t VirtualBoard::NandHighWater() const {
  std::lock_guard lock(mutex_);
  return chip_.highWater();
}

std::map<std::uint64_t, std::vector<std::uint8_t>> VirtualBoard::NandPieces() const {
  std::lock_guard lock(mutex_);
  return chip_.Pieces();
}

bool VirtualBoard::DumpNand(const std::filesystem::path& file) const {
  std::lock_guard lock(mutex_);
  return chip_.Dump(file);
}

std::vector<std::vector<std::uint8_t>> VirtualBoard::ConfigRecords() const {
  std::lock_guard lock(mutex_);
  return configRecords_;
}

bool VirtualBoard::WasReset() const {
  std::lock_guard lock(mutex_);
  return wasReset_;
}

std::vector<std::uint32_t> VirtualBoard::BadBlocks() const {
  std::lock_guard lock(mutex_);
  return chip_.BadBlocks();
}

std::vector<TimedCharge> VirtualBoard::TimedCharges() const {
  std::lock_guard lock(mutex_);
  return charges_;
}

ViewGeometry VirtualBoard::View() const {
  std::lock_guard lock(mutex_);
  return view_;
}

BoardStage VirtualBoard::Stage() const {
  std::lock_guard lock(mutex_);
  return stage_;
}

bool VirtualBoard::Hung() const {
  std::lock_guard lock(mutex_);
  return hung_;
}

NandChip VirtualBoard::TakeChip() {
  std::lock_guard lock(mutex_);
  return std::move(chip_);
}

std::vector<std::uint8_t> VirtualBoard::Stage1Image() const {
  std::lock_guard lock(mutex_);
  return stage1Image_;
}

std::vector<std::uint8_t> VirtualBoard::Stage2Image() const {
  std::lock_guard lock(mutex_);
  return stage2Image_;
}

}  // namespace korvex::sim
