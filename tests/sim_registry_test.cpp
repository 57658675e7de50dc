// The virtual driver's registry records, walked the way the station walks them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/sim_host.h"
#include "sim/virtual_registry.h"

namespace korvex::sim {
namespace {

const std::string kClassKey(kInterfaceClassKey);

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
