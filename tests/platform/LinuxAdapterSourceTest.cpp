// Adapter enumeration inside the test network namespace (loopback and the
// veth pair lan0/lan1), and inside a namespace of its own made by one thread
// for the cases that need adapters set up differently.

#include <gtest/gtest.h>

#include <net/if.h>
#include <sched.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/LinuxAdapterSource.h"

namespace lumaren::platform {
namespace {

const TAdapterInfo* Find(const std::vector<TAdapterInfo>& adapters, const std::string& name) {
  const auto it = std::find_if(adapters.begin(), adapters.end(), [&](const TAdapterInfo& a) { return a.Name == name; });
  return it == adapters.end() ? nullptr : &*it;
}

TEST(LinuxAdapterSource, ReportsTheNamespacesVethAdapter) {
  const auto adapters = GetLinuxAdapters();
  const TAdapterInfo* lan0 = Find(adapters, "lan0");
  ASSERT_NE(lan0, nullptr) << "run the tests through scripts/netns.sh";
  EXPECT_EQ(lan0->IPv4, "10.77.0.2");
  EXPECT_EQ(lan0->HardwareAddress, (std::vector<std::uint8_t>{0x02, 0x00, 0x0A, 0x4D, 0x00, 0x02}));
  EXPECT_EQ(lan0->Description, "Virtual Ethernet lan0");
  EXPECT_FALSE(lan0->IsLoopback);
  EXPECT_TRUE(lan0->IsUp);
  EXPECT_TRUE(lan0->BroadcastSupport);
}

TEST(LinuxAdapterSource, LoopbackHasNoHardwareAddress) {
  const auto adapters = GetLinuxAdapters();
  const TAdapterInfo* lo = Find(adapters, "lo");
  ASSERT_NE(lo, nullptr);
  EXPECT_TRUE(lo->IsLoopback);
  EXPECT_TRUE(lo->HardwareAddress.empty());
  EXPECT_EQ(lo->IPv4, "127.0.0.1");
  EXPECT_EQ(lo->Description, "Loopback lo");
}

TEST(LinuxAdapterSource, EachAdapterOnceInInterfaceIndexOrder) {
  const auto adapters = GetLinuxAdapters();
  ASSERT_FALSE(adapters.empty());
  for (std::size_t i = 0; i < adapters.size(); ++i) {
    SCOPED_TRACE(adapters[i].Name);
    EXPECT_NE(if_nametoindex(adapters[i].Name.c_str()), 0u);
    if (i > 0) {
      EXPECT_LT(if_nametoindex(adapters[i - 1].Name.c_str()), if_nametoindex(adapters[i].Name.c_str()));
    }
    EXPECT_LE(adapters[i].HardwareAddress.size(), 8u);
  }
}

// Runs the enumeration in a fresh network namespace that belongs to one
// thread only, after a shell command has set it up.
struct TPrivateNamespace {
  bool Made = false;
  bool SetUp = false;
  std::vector<TAdapterInfo> Adapters;
};

TPrivateNamespace EnumerateInPrivateNamespace(const std::string& setup) {
  TPrivateNamespace result;
  std::thread worker([&] {
    if (unshare(CLONE_NEWNET) != 0) return;
    result.Made = true;
    result.SetUp = std::system(setup.c_str()) == 0;
    if (result.SetUp) result.Adapters = GetLinuxAdapters();
  });
  worker.join();
  return result;
}

TEST(LinuxAdapterSource, SeveralAddressesGiveOneEntryWithTheFirst) {
  const auto result = EnumerateInPrivateNamespace(
      "ip link add m0 type veth peer name m1"
      " && ip addr add 10.1.0.1/24 dev m0"
      " && ip addr add 10.1.0.2/24 dev m0"
      " && ip addr add 10.2.0.1/24 dev m0 label m0:1"
      " && ip link set m0 up");
  if (!result.Made) GTEST_SKIP() << "cannot make a network namespace here";
  ASSERT_TRUE(result.SetUp);
  const auto count = std::count_if(result.Adapters.begin(), result.Adapters.end(),
                                   [](const TAdapterInfo& a) { return a.Name == "m0"; });
  EXPECT_EQ(count, 1);
  const TAdapterInfo* m0 = Find(result.Adapters, "m0");
  ASSERT_NE(m0, nullptr);
  EXPECT_EQ(m0->IPv4, "10.1.0.1");
  EXPECT_EQ(m0->HardwareAddress.size(), 6u);

  // The peer stays down and has no address: listed, but not up.
  const TAdapterInfo* m1 = Find(result.Adapters, "m1");
  ASSERT_NE(m1, nullptr);
  EXPECT_EQ(m1->IPv4, "");
  EXPECT_FALSE(m1->IsUp);
  EXPECT_EQ(m1->Description, "Virtual Ethernet m1");

  // A fresh namespace's loopback is down and has no address yet.
  const TAdapterInfo* lo = Find(result.Adapters, "lo");
  ASSERT_NE(lo, nullptr);
  EXPECT_TRUE(lo->IsLoopback);
  EXPECT_FALSE(lo->IsUp);
  EXPECT_EQ(lo->IPv4, "");
}

}  // namespace
}  // namespace lumaren::platform
