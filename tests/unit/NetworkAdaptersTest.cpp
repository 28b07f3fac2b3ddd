// The adapter list over a made-up adapter source: the local host entry, the
// display lines, the lookups and what a failing or empty machine gives.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "protocol/uNetworkAdapters.h"
#include "services/uFileHelpers.h"
#include "services/uLogs.h"
#include "support/TTempDir.h"

namespace lumaren {
namespace {

using platform::TAdapterInfo;

TAdapterInfo Loopback() {
  TAdapterInfo info;
  info.Name = "lo";
  info.Description = "Loopback lo";
  info.IPv4 = "127.0.0.1";
  info.IsLoopback = true;
  info.IsUp = true;
  return info;
}

TAdapterInfo Wired(const std::string& name, const std::string& ip, std::uint8_t last = 0x5E) {
  TAdapterInfo info;
  info.Name = name;
  info.Description = "Ethernet " + name;
  info.IPv4 = ip;
  info.HardwareAddress = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, last};
  info.IsUp = true;
  info.BroadcastSupport = true;
  return info;
}

platform::TAdapterSource SourceOf(std::vector<TAdapterInfo> adapters) {
  return [adapters] { return adapters; };
}

std::unique_ptr<TNetworkAdapter> Entry(const std::string& name, const std::string& ip,
                                       const std::string& description = "") {
  auto entry = std::make_unique<TNetworkAdapter>();
  entry->Name = name;
  entry->IPv4 = ip;
  entry->Description = description.empty() ? "Adapter " + name : description;
  return entry;
}

// A list as Update leaves it on a machine with two wired adapters.
class AdapterList : public ::testing::Test {
 protected:
  void SetUp() override {
    List = std::make_unique<TNetworkAdapterList>(
        SourceOf({Loopback(), Wired("eth0", "192.168.1.20"), Wired("eth1", "0.0.0.0", 0x5F)}),
        [this](const std::string& text) { Shown.push_back(text); });
    List->Update();
    ASSERT_EQ(List->Count(), 3);
  }

  std::unique_ptr<TNetworkAdapterList> List;
  std::vector<std::string> Shown;
};

TEST_F(AdapterList, LocalHostFirstThenAdaptersInSourceOrder) {
  const TNetworkAdapter& local = List->Items(0);
  EXPECT_EQ(local.Description, "Local Host");
  EXPECT_EQ(local.IPv4, "127.0.0.1");
  EXPECT_EQ(local.Name, "");
  EXPECT_EQ(local.MacAddress, "");
  EXPECT_EQ(local.Gateway, "");
  EXPECT_EQ(local.SubnetMask, "");
  EXPECT_FALSE(local.IsLoopback || local.IsUp || local.BroadcastSupport);

  const TNetworkAdapter& eth0 = List->Items(1);
  EXPECT_EQ(eth0.Name, "eth0");
  EXPECT_EQ(eth0.Description, "Ethernet eth0");
  EXPECT_EQ(eth0.IPv4, "192.168.1.20");
  EXPECT_EQ(eth0.MacAddress, "00:1A:2B:3C:4D:5E");
  EXPECT_TRUE(eth0.IsUp);
  EXPECT_TRUE(eth0.BroadcastSupport);
  EXPECT_FALSE(eth0.IsLoopback);
  EXPECT_EQ(List->Items(2).Name, "eth1");

  const std::vector<std::string> lines = {"Local Host (127.0.0.1)", "Ethernet eth0 (192.168.1.20)",
                                          "Ethernet eth1 (0.0.0.0)"};
  EXPECT_EQ(List->AdapterList, lines);
  EXPECT_TRUE(Shown.empty());
}

TEST_F(AdapterList, Lookups) {
  EXPECT_EQ(List->IndexOfName(""), 0);
  EXPECT_EQ(List->IndexOfName("eth1"), 2);
  EXPECT_EQ(List->IndexOfName("ETH1"), -1);  // exact, letter case included
  EXPECT_EQ(List->IndexOfName("wlan9"), -1);

  EXPECT_EQ(List->IPv4ToName("127.0.0.1"), "");
  EXPECT_EQ(List->IPv4ToName("192.168.1.20"), "eth0");
  EXPECT_EQ(List->IPv4ToName("10.0.0.1"), "");

  EXPECT_EQ(List->NameToDescription("eth0"), "Ethernet eth0");
  EXPECT_EQ(List->NameToDescription(""), "Local Host");
  EXPECT_EQ(List->NameToDescription("wlan9"), "");
}

TEST_F(AdapterList, NameToIPv4WithAndWithoutFallback) {
  struct Case {
    const char* name;
    bool fallBack;
    const char* expected;
  };
  const Case cases[] = {
      {"", true, "127.0.0.1"},
      {"", false, "127.0.0.1"},
      {"eth0", true, "192.168.1.20"},
      {"eth0", false, "192.168.1.20"},
      {"wlan9", true, "127.0.0.1"},  // unknown: the first entry's address
      {"wlan9", false, ""},
      {"eth1", true, "127.0.0.1"},   // "0.0.0.0" is no address
      {"eth1", false, "0.0.0.0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.fallBack ? " with fallback" : " without fallback"));
    EXPECT_EQ(List->NameToIPv4(c.name, c.fallBack), c.expected);
  }
}

TEST(AdapterListEmpty, LookupsGiveNothing) {
  const TNetworkAdapterList list;
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.IndexOfName(""), -1);
  EXPECT_EQ(list.IndexOfName("eth0"), -1);
  EXPECT_EQ(list.NameToIPv4("", true), "");
  EXPECT_EQ(list.IPv4ToName(""), "");
  EXPECT_EQ(list.NameToDescription(""), "");
  EXPECT_THROW(list.Items(0), std::out_of_range);
}

TEST(AdapterListEmpty, FallbackGoesToWhateverEntryIsFirst) {
  TNetworkAdapterList list;
  list.Add(Entry("eth0", "10.1.2.3"));
  list.Add(Entry("eth1", ""));
  EXPECT_EQ(list.NameToIPv4("eth1", true), "10.1.2.3");
  EXPECT_EQ(list.NameToIPv4("eth1", false), "");
}

TEST(AdapterListUpdate, AdaptersWithoutHardwareAddressAreLeftToLocalHost) {
  TAdapterInfo tunnel;
  tunnel.Name = "tun0";
  tunnel.Description = "TUN/TAP tun0";
  tunnel.IPv4 = "10.8.0.2";
  TNetworkAdapterList list(SourceOf({Loopback(), tunnel, Wired("eth0", "10.0.0.5")}));
  list.Update();
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0).Description, "Local Host");
  EXPECT_EQ(list.Items(1).Name, "eth0");
  EXPECT_EQ(list.IndexOfName("tun0"), -1);
  EXPECT_EQ(list.IndexOfName("lo"), -1);
}

TEST(AdapterListUpdate, UnpluggedAdapterIsListedWithAnEmptyAddress) {
  TNetworkAdapterList list(SourceOf({Wired("eth0", "10.0.0.5"), Wired("eth1", "")}));
  list.Update();
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.AdapterList[2], "Ethernet eth1 ()");
  EXPECT_EQ(list.NameToIPv4("eth1", true), "127.0.0.1");
}

TEST(AdapterListUpdate, MacAddressFormatting) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    const char* expected;
  };
  const Case cases[] = {
      {{0, 26, 43, 60, 77, 94}, "00:1A:2B:3C:4D:5E"},
      {{0xFF, 0xAB, 0x0C}, "FF:AB:0C"},
      {{1, 2, 3, 4, 5, 6, 7, 8}, "01:02:03:04:05:06:07:08"},
      {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, "01:02:03:04:05:06:07:08"},  // at most 8 bytes
      {{}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(MacAddressToStr(c.bytes), c.expected);
  }
}

TEST(AdapterListUpdate, UpdateAgainRebuildsRatherThanAppends) {
  TNetworkAdapterList list(SourceOf({Wired("eth0", "10.0.0.5")}));
  list.Update();
  list.Update();
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.AdapterList.size(), 2u);
}

TEST(AdapterListUpdate, NoIPv4AddressShowsTheBoxOnceAndKeepsOnlyLocalHost) {
  std::vector<std::string> shown;
  // Loopback's address and a disconnected adapter's empty one do not count.
  TNetworkAdapterList list(SourceOf({Loopback(), Wired("eth0", "")}),
                           [&shown](const std::string& text) { shown.push_back(text); });
  list.Update();
  EXPECT_EQ(shown, std::vector<std::string>{"No addresses were found for the requested parameters"});
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0).Description, "Local Host");
  EXPECT_EQ(list.AdapterList, std::vector<std::string>{"Local Host (127.0.0.1)"});
}

TEST(AdapterListAssign, CopiesAreIndependentOfTheSource) {
  auto source = std::make_unique<TNetworkAdapterList>();
  source->Add(Entry("", "127.0.0.1", "Local Host"));
  source->Add(Entry("eth0", "10.0.0.5"));
  source->Add(Entry("eth1", "10.0.1.5"));
  source->Items(2).MacAddress = "00:1A:2B:3C:4D:5E";
  source->AdapterList = {"not copied"};

  TNetworkAdapterList copy;
  copy.Add(Entry("old", "1.2.3.4"));
  copy.Assign(*source);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_TRUE(copy.AdapterList.empty());

  source->Items(1).IPv4 = "changed";
  source.reset();
  EXPECT_EQ(copy.Items(0).Description, "Local Host");
  EXPECT_EQ(copy.Items(1).IPv4, "10.0.0.5");
  EXPECT_EQ(copy.Items(2).Name, "eth1");
  EXPECT_EQ(copy.Items(2).MacAddress, "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(copy.IndexOfName("old"), -1);
}

TEST(AdapterListAssign, AdapterAssignCopiesAllNineFields) {
  TNetworkAdapter from;
  from.BroadcastSupport = true;
  from.Description = "d";
  from.Gateway = "g";
  from.IPv4 = "i";
  from.IsLoopback = true;
  from.IsUp = true;
  from.MacAddress = "m";
  from.Name = "n";
  from.SubnetMask = "s";
  TNetworkAdapter to;
  to.Assign(from);
  EXPECT_TRUE(to.BroadcastSupport && to.IsLoopback && to.IsUp);
  EXPECT_EQ(to.Description + to.Gateway + to.IPv4 + to.MacAddress + to.Name + to.SubnetMask, "dgimns");
  EXPECT_EQ(to.InfoStr(), "d (i)");
}

TEST(AdapterListItems, ReplacingAnEntryFreesTheOldOne) {
  TNetworkAdapterList list;
  list.Add(Entry("eth0", "10.0.0.5"));
  list.SetItems(0, Entry("eth9", "10.0.0.9"));
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0).Name, "eth9");
  EXPECT_THROW(list.SetItems(1, Entry("x", "")), std::out_of_range);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

// The log file of this run, with the log module started in a temp folder.
class AdapterListLog : public ::testing::Test {
 protected:
  void SetUp() override {
    FileHelpersModuleStart({"Maker Ltd", "Gizmo", "3.2.1.0", "3.0.0.0"});
    LogsModuleStart((Temp / "logs").string(), platform::TMachineFacts{}, {});
  }
  void TearDown() override {
    NetworkAdaptersModuleEnd();
    LogsModuleEnd();
    FileHelpersModuleEnd();
  }
  std::string Log() const {
    std::ifstream in(SessionLogFileName(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  test::TTempDir Temp;
};

TEST_F(AdapterListLog, FailingSourceLogsTheEntryAndLeavesNoLocalHost) {
  bool shown = false;
  NetworkAdaptersModuleStart([]() -> std::vector<TAdapterInfo> { throw platform::EAdapterSourceError("secret"); },
                             [&shown](const std::string&) { shown = true; });
  ASSERT_NE(NetworkAdapterList, nullptr);
  EXPECT_EQ(NetworkAdapterList->Count(), 0);
  EXPECT_TRUE(NetworkAdapterList->AdapterList.empty());
  EXPECT_EQ(NetworkAdapterList->NameToIPv4("", true), "");
  EXPECT_FALSE(shown);

  const std::string log = Log();
  EXPECT_NE(log.find("| Error | TNetworkAdapterList.Update\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("secret"), std::string::npos);
}

TEST_F(AdapterListLog, FailedUpdateKeepsThePreviousLines) {
  bool fail = false;
  TNetworkAdapterList list([&fail]() -> std::vector<TAdapterInfo> {
    if (fail) throw std::runtime_error("gone");
    return {Wired("eth0", "10.0.0.5")};
  });
  list.Update();
  fail = true;
  list.Update();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.AdapterList, (std::vector<std::string>{"Local Host (127.0.0.1)", "Ethernet eth0 (10.0.0.5)"}));
}

TEST_F(AdapterListLog, ModuleStartBuildsTheListOnce) {
  int reads = 0;
  NetworkAdaptersModuleStart(
      [&reads] {
        ++reads;
        return std::vector<TAdapterInfo>{Loopback(), Wired("eth0", "10.0.0.5")};
      },
      {});
  EXPECT_EQ(reads, 1);
  ASSERT_NE(NetworkAdapterList, nullptr);
  EXPECT_EQ(NetworkAdapterList->NameToIPv4("eth0", true), "10.0.0.5");
  EXPECT_EQ(Log().find("TNetworkAdapterList.Update"), std::string::npos);
  NetworkAdaptersModuleEnd();
  EXPECT_EQ(NetworkAdapterList, nullptr);
}

}  // namespace
}  // namespace lumaren
