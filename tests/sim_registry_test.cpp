// The virtual driver's registry records, walked the way the station walks them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_host.h"
#include "sim/virtual_registry.h"

namespace korvex::sim {
namespace {

const std::string kClassKey(kInterfaceClassKey);

std::vector<std::string> SubkeyNames(Host& host, const std::string& path) {
  RegKey key = 0;
  EXPECT_EQ(host.RegOpenKeyRead(path, key), kRegSuccess) << path;
  std::vector<std::string> names;
  char name[261];
  for (std::uint32_t i = 0; host.RegEnumKeyName(key, i, name, sizeof name) == kRegSuccess; ++i) {
    names.emplace_back(name);
  }
  host.RegCloseKey(key);
  return names;
}

// Opens `path`, reads a string value through a buffer of `size`, closes the key.
long Query(Host& host, const std::string& path, std::string_view value, std::string& text,
           std::uint32_t size = 80) {
  RegKey key = 0;
  if (const long opened = host.RegOpenKeyRead(path, key); opened != kRegSuccess) return opened;
  std::vector<char> buffer(size, 'x');
  const long status = host.RegQueryString(key, value, buffer.data(), size);
  host.RegCloseKey(key);
  if (status == kRegSuccess) text = buffer.data();
  return status;
}

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
  std::string link;
  ASSERT_EQ(Query(sim, kClassKey + names[2] + "\\#\\", "SymbolicLink", link), kRegSuccess);
  EXPECT_EQ(link, sim.SymbolicLinkOf(2));
  EXPECT_EQ(SubkeyNames(sim, kClassKey + names[0]), std::vector<std::string>{"#"});
  EXPECT_EQ(SubkeyNames(sim, kClassKey + names[0] + "\\#\\"), std::vector<std::string>{"Control"});
}

TEST(SimRegistry, ValuesNeedRoomForTheirNul) {
  SimHost sim(2, "/nonexistent");
  const std::string link80 = sim.SymbolicLinkOf(1) + "0";
  const std::string ref = kClassKey + InstanceKeyName(sim.SymbolicLinkOf(1)) + "\\#\\";
  sim.SetSymbolicLink(1, link80);
  std::string link;
  EXPECT_EQ(Query(sim, ref, "SymbolicLink", link, 80), kRegMoreData);
  ASSERT_EQ(Query(sim, ref, "SymbolicLink", link, 81), kRegSuccess);
  EXPECT_EQ(link, link80);

  // The 79-character name of a subkey needs 80 bytes as well; a closed key is refused.
  RegKey key = 0;
  ASSERT_EQ(sim.RegOpenKeyRead(kClassKey, key), kRegSuccess);
  char name[80];
  EXPECT_EQ(sim.RegEnumKeyName(key, 0, name, 79), kRegMoreData);
  EXPECT_EQ(sim.RegEnumKeyName(key, 0, name, 80), kRegSuccess);
  EXPECT_EQ(sim.RegEnumKeyName(key, 2, name, 80), kRegNoMoreItems);
  sim.RegCloseKey(key);
  EXPECT_EQ(sim.RegEnumKeyName(key, 0, name, 80), kRegInvalidHandle);
}

}  // namespace
}  // namespace korvex::sim
