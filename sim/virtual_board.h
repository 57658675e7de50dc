#pragma once
// One virtual board: its firmware state, its NAND chip, its fault plan and the trace of
// every exchange. Each board has its own lock, so workers on different boards never wait
// for each other; a call that hangs waits on the board's condition variable until the
// board is unplugged.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "host/host.h"
#include "sim/board_setup.h"
#include "sim/nand_chip.h"
#include "sim/timing.h"
#include "sim/trace.h"

namespace korvex::sim {

// The NAND geometry the firmware works in: the chip's real one until a configuration
// record chooses another (the 2048-byte view of a 4096-byte-page chip, for instance).
struct ViewGeometry {
  std::uint32_t pageSize = 0;
  std::uint32_t pagesPerBlock = 0;
  std::uint32_t oobSize = 0;
};

class VirtualBoard {
 public:
  // Throws std::invalid_argument for an unknown model or an unusable chip. The timing
  // model, when given, is charged for every exchange.
  explicit VirtualBoard(const BoardSpec& spec, std::shared_ptr<SimTiming> timing = nullptr);
  // The same, on a chip the board had before (its bad blocks and bytes as they are);
  // the chip and chip faults the BoardSpec names are not looked at.
  VirtualBoard(const BoardSpec& spec, std::shared_ptr<SimTiming> timing, NandChip chip);

  bool Attached() const { return attached_.load(); }
  void Detach();  // unplug: every later call fails, a hung call wakes and fails

  // The three kinds of exchange, as the driver hands them over.
  bool Request(std::uint32_t code, const RequestBuffer& in, RequestBuffer& out);
  bool BulkWrite(const std::uint8_t* data, std::uint32_t count, std::uint32_t& written);
  bool BulkRead(std::uint8_t* data, std::uint32_t count, std::uint32_t& read);

  // Inspection; valid also after the board was unplugged.
  std::vector<TraceEntry> Trace() const;
  void ClearTrace();
  std::vector<std::uint8_t> ReadNand(std::uint64_t offset, std::size_t length) const;
  void WriteNand(std::uint64_t offset, const std::vector<std::uint8_t>& bytes);
  std::uint64_t NandHighWater() const;
  std::map<std::uint64_t, std::vector<std::uint8_t>> NandPieces() const;
  bool DumpNand(const std::filesystem::path& file) const;
  std::vector<std::vector<std::uint8_t>> ConfigRecords() const;
  bool WasReset() const;
  std::vector<std::uint32_t> BadBlocks() const;
  // What the timing model was charged for, in order; empty while it is off.
  std::vector<TimedCharge> TimedCharges() const;
  // A settle wait the station slept while booting this board, kept with its charges
  // under the timing model (the host sleeps it).
  void NoteWait(std::uint32_t milliseconds);
  ViewGeometry View() const;
  BoardStage Stage() const;
  // True once the board has stopped answering (hang-after).
  bool Hung() const;
  // Hands the chip over to the board's next plug; only for a board that is unplugged
  // and will not be looked at again.
  NandChip TakeChip();
  // The last stage-1 / stage-2 image the board took into memory, bytes as received.
  std::vector<std::uint8_t> Stage1Image() const;
  std::vector<std::uint8_t> Stage2Image() const;

 private:
  // Request numbers n (code 0x220000 + 4n) the board's firmware knows.
  enum RequestNumber : std::uint32_t {
    kGetCpuInfo = 0,
    kSetDataAddress = 1,
    kSetDataLength = 2,
    kFlushCaches = 3,
    kProgStart1 = 4,
    kProgStart2 = 5,
    kNorOps = 6,
    kNandOps = 7,
    kSystemReset = 8,
    kConfiguration = 9,
    kGetNum = 10,
  };

  struct ExchangeResult {
    bool reached = false;  // the board handled it (not unplugged, not hung)
    bool ok = false;
    NandWork work;
  };
  // Runs one exchange under the board's lock with the fault plan around it.
  template <typename Perform>
  ExchangeResult Exchange(TraceEntry entry, Perform&& perform);
  void DetachLocked();
  // Charges the timing model, if on, after the lock is released; `since` is when the
  // exchange reached the board.
  void Charge(const TimedCharge& charge, SimTiming::TimePoint since);

  // One function per request; the caller holds the lock.
  bool PerformRequest(std::uint32_t n, std::uint32_t argument, RequestBuffer& out);
  bool GetIdentification(RequestBuffer& out);              // request 0
  bool CommitConfiguration(std::uint32_t argument);        // request 9
  bool Reset(std::uint32_t argument);                      // request 8

  // The boot ROM and stage 1 (board_boot.cpp).
  bool BootRomRequest(std::uint32_t n, std::uint32_t argument, RequestBuffer& out);
  bool Stage1Request(std::uint32_t n, std::uint32_t argument, RequestBuffer& out);
  bool GetRomIdentification(RequestBuffer& out);
  bool StartStage1(std::uint32_t address);
  bool SetStage2Address(std::uint32_t address);
  bool StartStage2(std::uint32_t address);
  bool DownloadWrite(const std::uint8_t* data, std::uint32_t count);

  // Request 7 and its opcodes (board_nand_ops.cpp).
  enum class IdLayout { FiveBytes, MainOnly, ExtendedOnly };
  bool NandOperation(std::uint32_t argument);
  void ReplyId(IdLayout layout);
  bool Erase();
  bool ProgramPages(std::uint32_t option);
  std::uint64_t SkipBadBlocks(std::uint64_t viewPage) const;
  bool ReadPages();
  bool FormatChip();
  void Reply(std::vector<std::uint8_t> data, std::uint32_t status);
  void ReplyStatus(std::uint32_t value) { Reply({}, value); }

  const int model_;
  const FaultPlan faults_;
  const std::shared_ptr<SimTiming> timing_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> attached_{true};
  bool hung_ = false;
  BoardStage stage_ = BoardStage::BootRom;
  bool wasReset_ = false;
  std::uint64_t exchanges_ = 0;
  std::uint32_t failRequestSeen_ = 0;  // occurrences of the request the plan fails
  std::uint64_t bulkWrites_ = 0, bulkReads_ = 0;  // counted from 1, for the short faults
  std::vector<TraceEntry> trace_;
  std::vector<TimedCharge> charges_;

  NandChip chip_;
  ViewGeometry view_;
  std::uint32_t address_ = 0;              // request 1
  std::uint32_t length_ = 0;               // request 2
  std::vector<std::uint8_t> pending_;      // the last bulk write, until a request takes it
  std::vector<std::uint8_t> outgoing_;     // what bulk reads return, from outPos_ on
  std::size_t outPos_ = 0;
  std::vector<std::vector<std::uint8_t>> configRecords_;
  NandWork work_;  // NAND work of the exchange in progress

  // Downloads, in the boot ROM and stage 1.
  bool loadArmed_ = false;        // request 1 named an address the stage takes
  std::uint32_t loadAddress_ = 0;
  bool imageLoaded_ = false;      // a write landed there since
  bool cachesFlushed_ = false;    // request 3 after the stage-2 write
  std::uint64_t sdramBytes_ = 0;  // what stage 1 brought up; 0 = SDRAM off
  std::vector<std::uint8_t> stage1Image_;
  std::vector<std::uint8_t> stage2Image_;
};

}  // namespace korvex::sim
