#pragma once
// The station's side of a burn's events: the port's row in the window, the production
// log, the burn counter and the port's PortRun record.

#include <cstdint>
#include <memory>
#include <string>

#include "host/host.h"
#include "nand/burn_events.h"
#include "records/board_record.h"

namespace korvex {

class RecordKeeper;

class StationBurnEvents final : public BurnEvents {
 public:
  // records: the keeper the scan handed this board at its claim (RecordKeeper::None()
  // when the station keeps none); held until the worker ends.
  StationBurnEvents(Host& host, WindowHandle window, std::int32_t port, std::shared_ptr<RecordKeeper> records);

  void Progress(ProgressType type, std::intptr_t value) override;
  // The station is closing.
  bool Cancelled() override;
  void Log(std::string_view line) override;
  void Counted() override;
  void UidMade(const std::array<std::uint8_t, kUidSize>& uid, std::string_view text) override;
  void ChipIdentified(const DeviceSession& session) override;
  void ChipNotInTable(const DeviceSession& session) override;
  void ImageDone(const ImageWritten& written) override;
  void Ended(BurnEnd end, const DeviceSession& session) override;
  // The job's checks before anything is written: its images, then hook_before.
  std::optional<Refusal> BeforeWriting(const DeviceSession& session) override;
  bool UidFirst() override;
  // The scan frees the slot of a board that went away.
  bool Unplugged() override;

  // Starts the board's record; its end goes to the keeper from Ended. The context's
  // settings name the images.
  void BeginRecord(const PortContext& context);

 private:
  void RunHookAfter(const BoardRecord& record);

  Host& host_;
  WindowHandle window_;
  std::int32_t port_;
  const JobSettings* settings_ = nullptr;
  std::string lastLine_;  // the board's last log line
  BoardRecord& record_;
  std::shared_ptr<RecordKeeper> keeper_;
  bool uidMade_ = false;
};

}  // namespace korvex
