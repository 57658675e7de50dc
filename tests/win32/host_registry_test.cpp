// Discovery against Wine's real registry: the instances the driver's interface class
// lists, the 128-instance limit, the 80-byte link buffer, the Linked values that
// decide which port a board gets, and the system's result codes passed through.

#include <gtest/gtest.h>

#include <memory>

#include "device/device_discovery.h"
#include "device/device_texts.h"
#include "win_test_support.h"

namespace korvex {
namespace {

using wintest::AddInstance;
using wintest::InstanceName;
using wintest::SymbolicLinkOfLength;

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() { wintest::DeleteClassKey(); }
  ~RegistryTest() override { wintest::DeleteClassKey(); }

  wintest::RecordingWin32Host host_;
  std::unique_ptr<DeviceTables> tables_ = std::make_unique<DeviceTables>();
};

TEST_F(RegistryTest, WithoutTheClassKeyThereAreNoInstancesAndNoMessage) {
  RegKey key = 0;
  EXPECT_EQ(host_.RegOpenKeyRead(kDriverClassKey, key), kRegNotFound);

  BuildDeviceTables(host_, *tables_);
  CollectLinkedDevices(host_, *tables_);
  for (const DeviceKeyEntry& entry : tables_->entries) EXPECT_EQ(entry.index, 0u);
  for (const LinkedDevice& device : tables_->linkedDevices) EXPECT_EQ(device.linked, 0u);
  EXPECT_TRUE(host_.Messages().empty());
}

TEST_F(RegistryTest, AHundredTwentyNinthInstanceIsReportedAndTheFirst128Kept) {
  for (int i = 1; i <= 129; ++i) AddInstance(InstanceName(i), SymbolicLinkOfLength(79, i), {});
  BuildDeviceTables(host_, *tables_);

  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text, "ERROR::Please Delete some device driver!!");
  EXPECT_EQ(host_.Messages()[0].caption, kMessageCaption);
  for (int n = 1; n <= 128; ++n) {
    const DeviceKeyEntry& entry = tables_->entries[static_cast<std::size_t>(n - 1)];
    const std::string key = std::string(kDriverClassKey) + InstanceName(n) + "\\";
    EXPECT_EQ(entry.index, static_cast<std::uint32_t>(n));
    EXPECT_EQ(entry.controlKey, key + "#\\Control\\");
    EXPECT_EQ(entry.symbolicLink.View(), SymbolicLinkOfLength(79, n)) << "entry " << n;
  }
}

TEST_F(RegistryTest, ASymbolicLinkOf79CharactersIsReadAndOneOf80IsNot) {
  const std::string fits = SymbolicLinkOfLength(79, 1);
  const std::string tooLong = SymbolicLinkOfLength(80, 2);
  // As long as a real board's link, which just fits the 80-byte buffer.
  const std::string_view realLink =
      "\\\\?\\USB#Vid_7a3c&Pid_7120#5&1280f5eb&0&4#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}";
  ASSERT_EQ(fits.size(), realLink.size());
  AddInstance(InstanceName(1), fits, 1);
  AddInstance(InstanceName(2), tooLong, 1);

  // The host passes the system's answer through: the value and its NUL need 81 bytes.
  RegKey key = 0;
  const std::string refKey = std::string(kDriverClassKey) + InstanceName(2) + "\\#\\";
  ASSERT_EQ(host_.RegOpenKeyRead(refKey, key), kRegSuccess);
  char buffer[kSymbolicLinkBufferSize] = {};
  EXPECT_EQ(host_.RegQueryString(key, kSymbolicLinkValue, buffer, sizeof buffer), kRegMoreData);
  host_.RegCloseKey(key);

  BuildDeviceTables(host_, *tables_);
  EXPECT_EQ(tables_->entries[0].symbolicLink.View(), fits);
  EXPECT_TRUE(tables_->entries[1].symbolicLink.Empty());
}

// The port rules are the simulated registry's tests; here the Linked values as the
// system's registry holds them, changed, and missing for an instance never attached.
TEST_F(RegistryTest, LinkedValuesGiveNewBoardsTheLowestFreePortsInRegistryOrder) {
  for (int i = 1; i <= 3; ++i) AddInstance(InstanceName(i), SymbolicLinkOfLength(79, i), i == 2 ? 1 : 0);
  AddInstance(InstanceName(4), SymbolicLinkOfLength(79, 4), {});  // no Control key
  BuildDeviceTables(host_, *tables_);
  CollectLinkedDevices(host_, *tables_);
  EXPECT_EQ(tables_->linkedDevices[0].regIndex, 2u);
  EXPECT_EQ(tables_->linkedDevices[0].symbolicLink.View(), SymbolicLinkOfLength(79, 2));
  EXPECT_EQ(tables_->linkedDevices[1].linked, 0u);
  std::uint32_t linked = 7;
  EXPECT_EQ(ReadLinked(host_, *tables_, 4, linked), 0);
  EXPECT_EQ(linked, 0u);
  // A Linked value the system changes is read again at the next scan.
  wintest::SetLinked(InstanceName(2), 0);
  CollectLinkedDevices(host_, *tables_);
  EXPECT_EQ(tables_->linkedDevices[0].linked, 0u);
  EXPECT_TRUE(host_.Messages().empty());
}

TEST_F(RegistryTest, EnumerationAndQueriesPassTheSystemsResultCodesThrough) {
  AddInstance(InstanceName(1), SymbolicLinkOfLength(79, 1), 1);
  RegKey key = 0;
  ASSERT_EQ(host_.RegOpenKeyRead(kDriverClassKey, key), kRegSuccess);
  char name[kInstanceNameBufferSize] = {};
  EXPECT_EQ(host_.RegEnumKeyName(key, 0, name, sizeof name), kRegSuccess);
  EXPECT_EQ(std::string(name), InstanceName(1));
  EXPECT_EQ(host_.RegEnumKeyName(key, 1, name, sizeof name), kRegNoMoreItems);
  char tiny[8] = {};
  EXPECT_EQ(host_.RegEnumKeyName(key, 0, tiny, sizeof tiny), kRegMoreData);
  host_.RegCloseKey(key);

  const std::string control = std::string(kDriverClassKey) + InstanceName(1) + "\\#\\Control\\";
  ASSERT_EQ(host_.RegOpenKeyRead(control, key), kRegSuccess);
  std::uint32_t value = 0;
  EXPECT_EQ(host_.RegQueryDword(key, kLinkedValue, value), kRegSuccess);
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(host_.RegQueryDword(key, "NoSuchValue", value), kRegNotFound);
  host_.RegCloseKey(key);
}

}  // namespace
}  // namespace korvex
