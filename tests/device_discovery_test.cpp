// Driver instance discovery and port assignment against the simulated driver's
// registry.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "device/device_discovery.h"
#include "device/device_texts.h"
#include "recording_host.h"
#include "sim/sim_host.h"
#include "temp_dir.h"

namespace korvex {
namespace {

using Indexes = std::vector<std::uint32_t>;

// Counts registry keys opened and closed, to prove every reader closes its key.
class KeyCountingHost : public testing::RecordingHost {
 public:
  using RecordingHost::RecordingHost;
  long RegOpenKeyRead(std::string_view path, RegKey& key) override {
    const long status = RecordingHost::RegOpenKeyRead(path, key);
    opened += status == kRegSuccess;
    return status;
  }
  void RegCloseKey(RegKey key) override {
    ++closed;
    RecordingHost::RegCloseKey(key);
  }
  int opened = 0;
  int closed = 0;
};

class DeviceDiscoveryTest : public ::testing::Test {
 protected:
  // A driver with usbPorts interface instances (usb port k is entry k + 1); `shape`
  // edits the registry before the tables are built.
  void Start(int usbPorts, void (*shape)(sim::SimHost&) = nullptr) {
    sim_ = std::make_unique<sim::SimHost>(usbPorts, dir_.path());
    host_ = std::make_unique<KeyCountingHost>(*sim_, dir_.path());
    if (shape) shape(*sim_);
    BuildDeviceTables(*host_, tables_);
  }
  void Plug(std::initializer_list<int> usbPorts) {
    for (int port : usbPorts) sim_->Plug(port, sim::BoardSpec{});
  }
  void Scan() { ASSERT_EQ(CollectLinkedDevices(*host_, tables_), 1); }
  // One field of the eight port entries.
  Indexes Ports(std::uint32_t LinkedDevice::*field) const {
    Indexes values;
    for (const LinkedDevice& device : tables_.linkedDevices) values.push_back(device.*field);
    return values;
  }
  Indexes PortIndexes() const { return Ports(&LinkedDevice::regIndex); }
  Indexes PortLinked() const { return Ports(&LinkedDevice::linked); }

  testing::TempDir dir_;
  std::unique_ptr<sim::SimHost> sim_;
  std::unique_ptr<KeyCountingHost> host_;
  DeviceTables tables_;
};

TEST_F(DeviceDiscoveryTest, EntriesFollowTheRegistryOrderWithTheirKeysAndLinks) {
  Start(3);
  const std::vector<std::string> names = ListInstanceNames(*host_);
  ASSERT_EQ(names.size(), 3u);
  for (std::size_t i = 0; i < 4; ++i) {
    const DeviceKeyEntry& entry = tables_.entries[i];
    const std::string key = i < 3 ? std::string(kDriverClassKey) + names[i] + "\\" : "";
    EXPECT_EQ(entry.index, i < 3 ? i + 1 : 0);
    EXPECT_EQ(entry.key, key);
    EXPECT_EQ(entry.refKey, i < 3 ? key + "#\\" : "");
    EXPECT_EQ(entry.controlKey, i < 3 ? key + "#\\Control\\" : "");
    EXPECT_EQ(entry.symbolicLink.View(), i < 3 ? sim_->SymbolicLinkOf(static_cast<int>(i)) : "");
  }
}

TEST_F(DeviceDiscoveryTest, OnlyAHundredTwentyNinthInstanceIsReportedAndLeftOut) {
  for (int instances : {0, 128, 129}) {
    Start(instances);
    ASSERT_EQ(host_->Messages().size(), instances == 129 ? 1u : 0u) << instances;
    Scan();
    EXPECT_EQ(PortLinked(), Indexes(8, 0));
    EXPECT_EQ(tables_.entries[127].index, instances ? 128u : 0u);
    EXPECT_EQ(tables_.entries[127].symbolicLink.View(),
              instances ? sim_->SymbolicLinkOf(127) : std::string());
  }
  const auto message = host_->Messages().at(0);
  EXPECT_EQ(message.text, "ERROR::Please Delete some device driver!!");
  EXPECT_EQ(message.caption, kMessageCaption);
  EXPECT_EQ(message.port, kNoPort);
  Plug({128});  // the left-out instance is never served
  Scan();
  EXPECT_EQ(PortLinked(), Indexes(8, 0));
}

TEST_F(DeviceDiscoveryTest, PortsGoInRegistryOrderAndABoardPluggedAgainKeepsItsPort) {
  Start(8);
  Plug({4, 2});  // entries 5 and 3, linked at one scan
  Scan();
  EXPECT_EQ(PortIndexes(), (Indexes{3, 5, 0, 0, 0, 0, 0, 0}));  // their links: PortSchedulerTest
  sim_->Unplug(2);
  Scan();
  EXPECT_EQ(PortIndexes(), (Indexes{3, 5, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(PortLinked(), (Indexes{0, 1, 0, 0, 0, 0, 0, 0}));
  Plug({2});
  Scan();
  EXPECT_EQ(PortLinked(), (Indexes{1, 1, 0, 0, 0, 0, 0, 0}));

  // Unplugged and another board linked within one scan: port 0 never shows unlinked,
  // and the board plugged again takes the next free port.
  sim_->Unplug(2);
  Plug({6});
  Scan();
  EXPECT_EQ(PortIndexes(), (Indexes{7, 5, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(PortLinked(), (Indexes{1, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(tables_.linkedDevices[0].symbolicLink.View(), sim_->SymbolicLinkOf(6));
  Plug({2});
  Scan();
  EXPECT_EQ(PortIndexes(), (Indexes{7, 5, 3, 0, 0, 0, 0, 0}));
}

TEST_F(DeviceDiscoveryTest, ANinthBoardWaitsUntilAPortFrees) {
  Start(9);
  Plug({0, 1, 2, 3, 4, 5, 6, 7, 8});
  Scan();
  EXPECT_EQ(PortIndexes(), (Indexes{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(tables_.entries[8].linked, 1u);
  sim_->Unplug(3);
  Scan();
  EXPECT_EQ(PortIndexes(), (Indexes{1, 2, 3, 9, 5, 6, 7, 8}));
  EXPECT_EQ(PortLinked(), Indexes(8, 1));
}

TEST_F(DeviceDiscoveryTest, UnreadableValuesCountAsZeroAndEveryKeyIsClosed) {
  // Entry 3 has no link; entry 2's, of 80 characters, is too long to read (its open
  // fails: PortSchedulerTest.OpenFailureNamesTheOperatorsPortNumberAndKeepsTheClaim).
  Start(3, [](sim::SimHost& sim) {
    sim.RemoveRegistryValue(2, kSymbolicLinkValue);
    sim.SetSymbolicLink(1, std::string(80, 'x'));
  });
  EXPECT_TRUE(tables_.entries[2].symbolicLink.Empty());
  EXPECT_TRUE(tables_.entries[1].symbolicLink.Empty());
  Plug({0, 1});
  sim_->RemoveRegistryValue(0, kLinkedValue);
  Scan();
  EXPECT_EQ(PortIndexes(), (Indexes{2, 0, 0, 0, 0, 0, 0, 0}));

  for (std::uint32_t n : {0u, 1u, 4u, 129u}) {  // unreadable, or no such entry
    std::uint32_t value = 99;
    EXPECT_EQ(ReadLinked(*host_, tables_, n, value), 0) << n;
    EXPECT_EQ(value, 0u) << n;
  }
  std::uint32_t value = 0;
  EXPECT_EQ(ReadLinked(*host_, tables_, 2, value), 1);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(ReadRegistryDword(*host_, "SYSTEM\\NoSuchKey\\", kLinkedValue, value), 0);
  DevicePath link("kept");
  EXPECT_EQ(ReadRegistryString(*host_, tables_.entries[2].refKey, kSymbolicLinkValue, link), 0);
  EXPECT_EQ(link.View(), "kept");
  EXPECT_GT(host_->opened, 0);
  EXPECT_EQ(host_->opened, host_->closed);
}

}  // namespace
}  // namespace korvex
