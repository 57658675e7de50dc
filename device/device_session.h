#pragma once
// The session head every board operation takes: the open device, the NAND target
// table and buffers, the configuration record and the chip geometry of one port. One
// per port, inside the port's context; a worker runs on its own copy. What one NAND
// operation works on (pages, length, option) is that operation's own argument.

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/boot_config.h"
#include "device/bounded_string.h"
#include "device/cpu_model.h"
#include "device/device_texts.h"
#include "host/host.h"

namespace korvex {

inline constexpr std::size_t kDataBufferSize = 2 * 1024 * 1024;  // one bulk transfer at most
inline constexpr std::size_t kTailAreaSize = 16;   // first 8 bytes: every status reply
inline constexpr std::size_t kTargetTableSize = 16;
inline constexpr std::size_t kSymbolicLinkBufferSize = 80;  // longer links are not read

using DevicePath = BoundedString<kSymbolicLinkBufferSize>;

// An open device: the handle and the host that owns it.
struct DeviceHandle {
  Host* host = nullptr;
  HostHandle handle = kInvalidHandle;

  bool IsOpen() const { return handle != kInvalidHandle; }
};

// Transfer options of a NAND write.
enum NandOption : std::int32_t {
  kOptionOobEcc = 0,      // "with oob and ecc"
  kOptionOobNoEcc = 1,    // "with oob and without ecc"
  kOptionNoOob = 2,       // "without oob"
  kOptionNoOobModel0 = 3, // page data only; model 0's nand.bin and unique-ID page
};

struct DeviceSession {
  DeviceHandle device;
  std::uint32_t lastError = 0;  // GetLastError of the last failed open
  std::uint8_t port = 0;        // 0..7
  DevicePath devicePath;

  // The NAND targets every operation goes to.
  std::uint8_t targetCount = 1;
  std::uint8_t* targetEnable = nullptr;  // targetCount bytes

  std::int32_t cpuModel = 0;  // 0 Qx7105\Qx7120, 1 Qx7130, 2 Qx7135, 3 Qx7105B
  // The model folder and stage-1 address the board is burned with, copied from the
  // operator's selection when the port is claimed.
  CpuModelInfo model = kCpuModels[kDefaultCpuModel];

  // Job options copied from the window.
  std::uint32_t formatAfterBurn = 0;
  std::uint8_t fileSystemFormat = 0;
  std::uint8_t eraseWholeChip = 0;

  std::uint8_t* dataBuffer = nullptr;  // kDataBufferSize bytes
  // Read back every write and compare (off unless the line asks for it); the reads go
  // into verifyBuffer, kDataBufferSize bytes of the port's own.
  bool verifyWrites = false;
  std::uint8_t* verifyBuffer = nullptr;
  std::uint8_t* tail = nullptr;        // kTailAreaSize bytes

  BootConfig bootConfig;
  std::uint32_t sdramBytes = 0;

  // The chip's ID keys as the board read them, and its geometry, written by
  // LookupNandPart.
  std::uint16_t chipMainId = 0;
  std::uint32_t chipExtId = 0;
  BoundedString<48> chipPart;  // the table row's part name; empty for rows added by hand
  std::uint32_t pageSize = 0;
  std::uint32_t blockSize = 0;
  std::uint32_t spareSize = 0;
  std::uint32_t rowCycles = 0;
  std::uint32_t goodBlocks = 0;
  std::uint32_t totalBlocks = 0;
  std::uint32_t is2KPage = 1;

  // Image zone of the current write, one flag per zone in the order nand.bin,
  // loader.bin, img_boot.bin, def_boot.bin, res.bin, minios.bin.
  std::array<std::uint32_t, 6> zoneSelect{};

  // The board's unique ID and its text, made when nand.bin is written.
  std::array<std::uint8_t, 16> uid{};
  BoundedString<64> uidText;

  // The first message box of the board's job: what explains its end in the board's
  // record. Cleared when a job starts.
  BoundedString<256> firstBox;

  Host& host() const { return *device.host; }
  // A message box about this board, on its port.
  void ShowBox(std::string_view text, std::string_view caption = kMessageCaption) {
    if (firstBox.Empty()) firstBox.Assign(text);
    host().ShowMessageBox({text, caption, MessageButtons::Ok, port});
  }
};

}  // namespace korvex
