// The virtual driver's registry records, walked the way the station walks them.

#include <gtest/gtest.h>

#include <cctype>

#include <string>
#include <vector>

#include "sim/sim_host.h"
#include "sim/virtual_registry.h"

namespace korvex::sim {
namespace {

constexpr char kClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}\\";

std::vector<std::string> SubkeyNames(Host& host, const std::string& path) {
  RegKey key = 0;
  EXPECT_EQ(host.RegOpenKeyRead(path, key), kRegSuccess) << path;
  std::vector<std::string> names;
  char name[261];
  for (std::uint32_t i = 0;; ++i) {
    const long status = host.RegEnumKeyName(key, i, name, sizeof name);
    if (status == kRegNoMoreItems) break;
    EXPECT_EQ(status, kRegSuccess);
    if (status != kRegSuccess) break;
    names.emplace_back(name);
  }
  host.RegCloseKey(key);
  return names;
}

long ReadString(Host& host, const std::string& path, std::string_view value, std::string& out,
                std::uint32_t size = 80) {
  RegKey key = 0;
  const long opened = host.RegOpenKeyRead(path, key);
  if (opened != kRegSuccess) return opened;
  std::vector<char> buffer(size, 'x');
  const long status = host.RegQueryString(key, value, buffer.data(), size);
  host.RegCloseKey(key);
  if (status == kRegSuccess) out = buffer.data();
  return status;
}

long ReadDword(Host& host, const std::string& path, std::string_view value, std::uint32_t& out) {
  RegKey key = 0;
  const long opened = host.RegOpenKeyRead(path, key);
  if (opened != kRegSuccess) return opened;
  const long status = host.RegQueryDword(key, value, out);
  host.RegCloseKey(key);
  return status;
}

std::string InstanceKey(const std::string& name) { return kClassKey + name + "\\"; }
std::string ControlKey(const std::string& name) { return InstanceKey(name) + "#\\Control\\"; }

TEST(SimRegistry, EveryPortIsAnInstanceWithItsLinkInPortOrder) {
  SimHost sim(3, "/nonexistent");
  EXPECT_EQ(sim.SymbolicLinkOf(0),
            "\\\\?\\USB#Vid_7a3c&Pid_7120#5&1280f500&0&4#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}");
  EXPECT_EQ(sim.SymbolicLinkOf(2).size(), 79u);

  const std::vector<std::string> names = SubkeyNames(sim, kClassKey);
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[0],
            "##?#USB#Vid_7a3c&Pid_7120#5&1280f500&0&4#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}");
  EXPECT_EQ(names[1],
            "##?#USB#Vid_7a3c&Pid_7120#5&1280f501&0&4#{5c0e91a7-3d42-4b8e-9f16-2ab7c40d58e3}");
  for (int port = 0; port < 3; ++port) {
    std::string link;
    ASSERT_EQ(ReadString(sim, InstanceKey(names[port]) + "#\\", "SymbolicLink", link), kRegSuccess);
    EXPECT_EQ(link, sim.SymbolicLinkOf(port));
  }
  EXPECT_EQ(SubkeyNames(sim, InstanceKey(names[0])), std::vector<std::string>{"#"});
  EXPECT_EQ(SubkeyNames(sim, InstanceKey(names[0]) + "#\\"), std::vector<std::string>{"Control"});
}

TEST(SimRegistry, LinkedFollowsPlugAndUnplug) {
  SimHost sim(2, "/nonexistent");
  const std::string control = ControlKey(InstanceKeyName(sim.SymbolicLinkOf(1)));
  std::uint32_t linked = 7;
  ASSERT_EQ(ReadDword(sim, control, "Linked", linked), kRegSuccess);
  EXPECT_EQ(linked, 0u);
  sim.Plug(1, BoardSpec{});
  ASSERT_EQ(ReadDword(sim, control, "Linked", linked), kRegSuccess);
  EXPECT_EQ(linked, 1u);
  sim.Unplug(1);
  ASSERT_EQ(ReadDword(sim, control, "Linked", linked), kRegSuccess);
  EXPECT_EQ(linked, 0u);
}

TEST(SimRegistry, PathsMatchWithoutCaseAndWithoutTrailingBackslash) {
  SimHost sim(1, "/nonexistent");
  sim.Plug(0, BoardSpec{});
  std::string control = ControlKey(InstanceKeyName(sim.SymbolicLinkOf(0)));
  control.pop_back();
  for (char& c : control) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::uint32_t linked = 0;
  ASSERT_EQ(ReadDword(sim, control, "linked", linked), kRegSuccess);
  EXPECT_EQ(linked, 1u);
}

TEST(SimRegistry, ValuesNeedRoomForTheirNul) {
  SimHost sim(2, "/nonexistent");
  const std::string ref = InstanceKey(InstanceKeyName(sim.SymbolicLinkOf(1))) + "#\\";
  const std::string link80 = sim.SymbolicLinkOf(1) + "0";
  sim.SetSymbolicLink(1, link80);
  std::string link;
  EXPECT_EQ(ReadString(sim, ref, "SymbolicLink", link, 80), kRegMoreData);
  ASSERT_EQ(ReadString(sim, ref, "SymbolicLink", link, 81), kRegSuccess);
  EXPECT_EQ(link, link80);

  // The 79-character name of a subkey needs 80 bytes as well.
  RegKey key = 0;
  ASSERT_EQ(sim.RegOpenKeyRead(kClassKey, key), kRegSuccess);
  char name[80];
  EXPECT_EQ(sim.RegEnumKeyName(key, 0, name, 79), kRegMoreData);
  EXPECT_EQ(sim.RegEnumKeyName(key, 0, name, 80), kRegSuccess);
  EXPECT_EQ(sim.RegEnumKeyName(key, 2, name, 80), kRegNoMoreItems);
  sim.RegCloseKey(key);
}

TEST(SimRegistry, MissingKeysAndRemovedValuesAreNotFound) {
  SimHost sim(1, "/nonexistent");
  const std::string name = InstanceKeyName(sim.SymbolicLinkOf(0));
  RegKey key = 0;
  EXPECT_EQ(sim.RegOpenKeyRead(InstanceKey(name + "x"), key), kRegNotFound);
  EXPECT_EQ(sim.RegOpenKeyRead(InstanceKey(name) + "Control\\", key), kRegNotFound);
  EXPECT_EQ(sim.RegOpenKeyRead("SYSTEM\\CurrentControlSet\\Services\\", key), kRegNotFound);

  std::string link;
  std::uint32_t linked = 0;
  EXPECT_EQ(ReadString(sim, InstanceKey(name) + "#\\", "Linked", link), kRegNotFound);
  sim.RemoveRegistryValue(0, "SymbolicLink");
  sim.RemoveRegistryValue(0, "Linked");
  EXPECT_EQ(ReadString(sim, InstanceKey(name) + "#\\", "SymbolicLink", link), kRegNotFound);
  EXPECT_EQ(ReadDword(sim, ControlKey(name), "Linked", linked), kRegNotFound);
}

TEST(SimRegistry, ClosedKeysAreRefused) {
  SimHost sim(1, "/nonexistent");
  RegKey key = 0;
  ASSERT_EQ(sim.RegOpenKeyRead(kClassKey, key), kRegSuccess);
  sim.RegCloseKey(key);
  char name[261];
  EXPECT_EQ(sim.RegEnumKeyName(key, 0, name, sizeof name), kRegInvalidHandle);
}

TEST(SimRegistry, ManyPortsStillEnumerateInPortOrder) {
  SimHost sim(129, "/nonexistent");
  const std::vector<std::string> names = SubkeyNames(sim, kClassKey);
  ASSERT_EQ(names.size(), 129u);
  for (int port = 0; port < 129; ++port) {
    EXPECT_EQ(names[port], InstanceKeyName(sim.SymbolicLinkOf(port)));
    EXPECT_EQ(sim.SymbolicLinkOf(port).size(), 79u);
  }
}

}  // namespace
}  // namespace korvex::sim
