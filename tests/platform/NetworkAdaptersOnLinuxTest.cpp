// The adapter list over the real Linux enumeration, in the test network
// namespace: loopback, and the veth pair lan0 (10.77.0.2, 02:00:0a:4d:00:02)
// and lan1 (10.77.0.1).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/LinuxAdapterSource.h"
#include "protocol/uNetworkAdapters.h"

namespace lumaren {
namespace {

TEST(NetworkAdaptersOnLinux, LocalHostThenTheNamespacesAdapters) {
  std::vector<std::string> shown;
  NetworkAdaptersModuleStart(platform::GetLinuxAdapters, [&shown](const std::string& text) { shown.push_back(text); });
  ASSERT_NE(NetworkAdapterList, nullptr);
  const TNetworkAdapterList& list = *NetworkAdapterList;

  ASSERT_GE(list.Count(), 2);
  EXPECT_EQ(list.Items(0).Description, "Local Host");
  EXPECT_EQ(list.Items(0).IPv4, "127.0.0.1");
  EXPECT_EQ(list.IndexOfName(""), 0);
  EXPECT_EQ(list.IndexOfName("lo"), -1);  // loopback is the local host entry

  const int lan0 = list.IndexOfName("lan0");
  ASSERT_GE(lan0, 1);
  const TNetworkAdapter& adapter = list.Items(lan0);
  EXPECT_EQ(adapter.IPv4, "10.77.0.2");
  EXPECT_EQ(adapter.MacAddress, "02:00:0A:4D:00:02");
  EXPECT_FALSE(adapter.Description.empty());
  EXPECT_FALSE(adapter.IsLoopback);
  EXPECT_EQ(list.NameToIPv4("lan0", true), "10.77.0.2");
  EXPECT_EQ(list.IPv4ToName("10.77.0.2"), "lan0");

  ASSERT_EQ(list.AdapterList.size(), static_cast<std::size_t>(list.Count()));
  EXPECT_EQ(list.AdapterList[0], "Local Host (127.0.0.1)");
  EXPECT_EQ(list.AdapterList[static_cast<std::size_t>(lan0)], adapter.Description + " (10.77.0.2)");
  EXPECT_TRUE(shown.empty());
  NetworkAdaptersModuleEnd();
}

}  // namespace
}  // namespace lumaren
