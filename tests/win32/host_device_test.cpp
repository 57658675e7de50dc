// Device files through the real CreateFileA/DeviceIoControl/ReadFile/WriteFile: the
// open-failure path of a claimed port, the open's access and sharing, and a named
// pipe standing in for the driver so that bytes and requests can be seen arriving.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/station_core.h"
#include "device/cpu_identification.h"
#include "device/device_open.h"
#include "device/request_channel.h"
#include "host/win32/utf8.h"
#include "win_test_support.h"

namespace korvex {
namespace {

using wintest::InstanceName;

std::atomic<int> g_workerStarts{0};

std::uint32_t WorkerThatMustNotRun(void*) {
  ++g_workerStarts;
  return 0;
}

TEST(DeviceOpenTest, ALinkedInstanceWithoutADeviceFailsSixTimesThenItsPortReportsBootFailed) {
  wintest::DeleteClassKey();
  const std::string link = "\\\\?\\USB#Vid_7a3c&Pid_7120#5&0&no-board#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}";
  wintest::AddInstance(InstanceName(1), link, 1);

  wintest::RecordingWin32Host host;
  g_workerStarts = 0;
  StationCore station(host, RecordKeeper::None(), WorkerThatMustNotRun, WorkerThatMustNotRun);
  PortScheduler& scheduler = station.scheduler();
  StationSettings settings;
  settings.SetImage(kNandBin, "C:\\images\\nand.bin", true);

  scheduler.Scan(settings);
  wintest::DeleteClassKey();

  // The six tries and their messages are the scheduler's own tests; here the real open.
  EXPECT_EQ(host.MessageTexts().size(), 7u);
  EXPECT_EQ(host.MessageTexts().back(), "Port 1 Boot Failed!");
  EXPECT_EQ(g_portSlots[0].state, kPortStartFailed);
  EXPECT_EQ(g_workerStarts, 0);

  // The session keeps the system's own reason for the last failure.
  const HANDLE direct = ::CreateFileA(link.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_EQ(direct, INVALID_HANDLE_VALUE);
  const DWORD reason = ::GetLastError();
  EXPECT_NE(reason, 0u);
  EXPECT_EQ(g_portContexts[0].session.lastError, reason);
  ResetPortRecords();
}

TEST(DeviceOpenTest, TheDeviceIsOpenedForReadAndWriteLettingOthersOnlyRead) {
  wintest::ScratchFolder folder("device");
  const std::wstring path = folder.WideChild(L"board.bin");
  ASSERT_TRUE(wintest::WriteWholeFile(path, "0123456789"));
  Win32Host host;
  const std::string narrow = WideToUtf8(path);

  std::uint32_t lastError = 0;
  const HostHandle handle = host.OpenDevice(narrow, lastError);
  ASSERT_NE(handle, kInvalidHandle);

  // A second opener that wants to write is refused; a reader that tolerates our
  // writing is let in.
  std::uint32_t secondError = 0;
  const HostHandle second = host.OpenDevice(narrow, secondError);
  EXPECT_EQ(second, kInvalidHandle);
  EXPECT_EQ(secondError, static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  if (second != kInvalidHandle) host.CloseDevice(second);
  const HANDLE reader = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) ::CloseHandle(reader);

  const std::uint8_t bytes[] = {'A', 'B', 'C'};
  const DeviceResult written = host.WriteDevice(handle, bytes, 3);
  EXPECT_TRUE(written.Ok());
  EXPECT_EQ(written.bytes, 3u);
  std::uint8_t rest[16] = {};
  const DeviceResult read = host.ReadDevice(handle, rest, sizeof rest);
  EXPECT_TRUE(read.Ok());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(rest), read.bytes), "3456789");
  EXPECT_TRUE(host.CloseDevice(handle));
  EXPECT_EQ(wintest::ReadWholeFile(path), std::optional<std::string>("ABC3456789"));

  // OPEN_EXISTING: a missing path is an error and creates nothing.
  const std::wstring missing = folder.WideChild(L"missing.bin");
  EXPECT_EQ(host.OpenDevice(WideToUtf8(missing), lastError), kInvalidHandle);
  EXPECT_EQ(lastError, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(wintest::FileExistsWide(missing));
}

// A named pipe plays the driver: what the station writes arrives at the server end in
// order, what the server writes is what the station reads.
class PipeDeviceTest : public ::testing::Test {
 protected:
  PipeDeviceTest() {
    name_ = "\\\\.\\pipe\\korvex-host-test-" + std::to_string(::GetCurrentProcessId());
    server_ = ::CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                 65536, 65536, 0, nullptr);
  }
  ~PipeDeviceTest() override { if (server_ != INVALID_HANDLE_VALUE) ::CloseHandle(server_); }

  void ServerWrite(std::string_view bytes) {
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(server_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
  }
  std::string ServerRead(std::size_t count) {
    std::string bytes(count, '\0');
    std::size_t have = 0;
    for (DWORD read = 1; have < count && read > 0; have += read) {
      if (!::ReadFile(server_, bytes.data() + have, static_cast<DWORD>(count - have), &read, nullptr)) break;
    }
    bytes.resize(have);
    return bytes;
  }

  std::string name_;
  HANDLE server_ = INVALID_HANDLE_VALUE;
  Win32Host host_;
};

TEST_F(PipeDeviceTest, BulkTransfersArriveInOrderAndRequestsUseFullBuffers) {
  ASSERT_NE(server_, INVALID_HANDLE_VALUE);
  DeviceSession session;
  session.device.host = &host_;
  session.devicePath.Assign(name_);
  ASSERT_EQ(OpenDevice(session), kOpenOk);
  const DeviceHandle device = session.device;

  std::string image(3000, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 7 + 1);
  BulkWrite(device, reinterpret_cast<const std::uint8_t*>(image.data()), static_cast<std::uint32_t>(image.size()));
  EXPECT_EQ(ServerRead(image.size()), image);

  ServerWrite("status!!");
  std::uint8_t status[8] = {};
  BulkRead(device, status, sizeof status);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(status), sizeof status), "status!!");

  // A request the pipe understands (peek) succeeds and fills the 512-byte reply: a
  // 16-byte header, then the waiting bytes.
  constexpr std::uint32_t kPipePeek = 0x0011400C;  // FSCTL_PIPE_PEEK
  ServerWrite("QX7120V1");
  RequestBuffer reply{};
  reply.fill(0xEE);
  EXPECT_TRUE(host_.DeviceIoControl(device.handle, kPipePeek, RequestInput(0), reply).Ok());
  EXPECT_EQ(reply[4], 8);  // bytes available
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reply.data()) + 16, 8), "QX7120V1");

  // The board's own requests mean nothing to a pipe: the failure comes back as such.
  EXPECT_FALSE(SendRequest(device, Request::kSetDataAddress, 0x80002000));
  EXPECT_EQ(ClassifyCpuAtBoot(device), kCpuReplyFailed);

  EXPECT_EQ(CloseDevice(session), kCloseOk);
  EXPECT_FALSE(session.device.IsOpen());
  // With the station's end closed the server finds the pipe broken.
  EXPECT_EQ(ServerRead(1), "");
}

}  // namespace
}  // namespace korvex
