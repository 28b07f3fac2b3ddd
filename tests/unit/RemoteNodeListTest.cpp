// The controller's node list: announcements in, events out, silent nodes
// going offline on a clock the test moves by hand.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "protocol/uDeviceNode.h"
#include "protocol/uMessage.h"
#include "support/TFakeUDPServer.h"
#include "support/TManualClock.h"

namespace lumaren {
namespace {

using test::TFakeUDPServer;
using test::TManualClock;

using TEvent = std::pair<int, TNodeEvent>;

// An announcement as a display writes it.
std::string Announcement(const std::string& name, int group = 0, bool refresh = false) {
  TLocalDeviceNode node;
  node.SetDeviceType(TDeviceType::dtDisplay);
  node.AppName = "Lumaren";
  node.AppVersion = "1.0.4.0";
  node.NodeName = name;
  node.Group = group;
  node.Refresh = refresh;
  return node.BuildAnnouncement();
}

// The list over a fake server bound to the discovery port, with its expiry
// timer and its idea of now on a manual clock started at 0.
class RemoteNodeList : public ::testing::Test {
 protected:
  void SetUp() override {
    auto server = std::make_unique<TFakeUDPServer>();
    Server = server.get();
    List = std::make_unique<TRemoteDeviceNodeList>(std::move(server), Clock.NewTimer(), [this] { return Now(); });
    List->OnRemoteNodeEvent = [this](int index, TNodeEvent event) { Events.emplace_back(index, event); };
    List->OnRemoteNodeError = [this](const std::string& message) { Errors.push_back(message); };
    List->UpdateUDPServer("0.0.0.0", CON_UDPPortDefault, true);
    ASSERT_TRUE(Server->Active());
  }

  TDateTime Now() const { return TDateTime(std::chrono::milliseconds(Clock.Now())); }
  static TDateTime At(std::int64_t ms) { return TDateTime(std::chrono::milliseconds(ms)); }

  void Receive(const std::string& data, const std::string& ip = "192.168.1.20", int port = 50000) {
    ASSERT_TRUE(Server->Receive(data, ip, port));
  }

  TManualClock Clock;
  TFakeUDPServer* Server = nullptr;  // owned by the list
  std::unique_ptr<TRemoteDeviceNodeList> List;
  std::vector<TEvent> Events;
  std::vector<std::string> Errors;
};

TEST_F(RemoteNodeList, FirstAnnouncementAddsAnOnlineNodeAndFiresNew) {
  // The handler sees the announcement's values already in place.
  std::string nameInHandler;
  List->OnRemoteNodeEvent = [&](int index, TNodeEvent event) {
    Events.emplace_back(index, event);
    nameInHandler = List->Items(index).NodeName;
  };
  Clock.Advance(40);
  Receive(Announcement("Lobby", 3));

  ASSERT_EQ(List->Count(), 1);
  EXPECT_EQ(Events, (std::vector<TEvent>{{0, TNodeEvent::neNew}}));
  EXPECT_EQ(nameInHandler, "Lobby");
  const TRemoteDeviceNode& node = List->Items(0);
  EXPECT_TRUE(node.Online);
  EXPECT_EQ(node.LastSeen, At(40));
  EXPECT_EQ(node.IPAddress, "192.168.1.20");
  EXPECT_EQ(node.NodePort, 50000);
  EXPECT_EQ(node.NodeName, "Lobby");
  EXPECT_EQ(node.Group, 3);
  EXPECT_EQ(node.AppName, "Lumaren");
  EXPECT_EQ(node.AppVersion, "1.0.4.0");
  EXPECT_EQ(node.DeviceType(), TDeviceType::dtDisplay);
  EXPECT_TRUE(node.Capabilities.Contains(TNodeCapability::ncWindowState));
  EXPECT_FALSE(node.Refresh);
  EXPECT_TRUE(Errors.empty());
}

TEST_F(RemoteNodeList, TheSameAnnouncementAgainOnlyMovesLastSeen) {
  Receive(Announcement("Lobby", 3));
  Clock.Advance(700);
  Receive(Announcement("Lobby", 3));
  EXPECT_EQ(Events, (std::vector<TEvent>{{0, TNodeEvent::neNew}}));
  ASSERT_EQ(List->Count(), 1);
  EXPECT_EQ(List->Items(0).LastSeen, At(700));
}

TEST_F(RemoteNodeList, ReturningAndRefreshingNodes) {
  struct Case {
    const char* what;
    bool offlineFirst;
    bool refresh;
    std::vector<TEvent> expected;  // after the neNew (and neOffline)
  };
  const Case cases[] = {
      {"online node, heartbeat", false, false, {}},
      {"online node with Refresh", false, true, {{0, TNodeEvent::neUpdate}}},
      {"offline node, heartbeat", true, false, {{0, TNodeEvent::neOnline}}},
      // Changed parameters win over the return: the owner re-reads everything.
      {"offline node with Refresh", true, true, {{0, TNodeEvent::neUpdate}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();  // a fresh list for each case
    Events.clear();
    Receive(Announcement("Lobby", 3));
    if (c.offlineFirst) {
      Clock.Advance(2500);
      ASSERT_FALSE(List->Items(0).Online);
    }
    Events.clear();
    Receive(Announcement("Stage", 4, c.refresh));
    EXPECT_EQ(Events, c.expected);
    EXPECT_TRUE(List->Items(0).Online);
    EXPECT_EQ(List->Items(0).Refresh, c.refresh);
    // The fields follow every announcement, with or without Refresh.
    EXPECT_EQ(List->Items(0).NodeName, "Stage");
    EXPECT_EQ(List->Items(0).Group, 4);
  }
}

TEST_F(RemoteNodeList, OneAddressWithTwoPortsIsTwoNodes) {
  Receive(Announcement("A"), "10.77.0.2", 50000);
  Receive(Announcement("B"), "10.77.0.2", 50001);
  Receive(Announcement("A"), "10.77.0.2", 50000);
  ASSERT_EQ(List->Count(), 2);
  EXPECT_EQ(Events, (std::vector<TEvent>{{0, TNodeEvent::neNew}, {1, TNodeEvent::neNew}}));
  EXPECT_EQ(List->NodeIndex("10.77.0.2", 50000), 0);
  EXPECT_EQ(List->NodeIndex("10.77.0.2", 50001), 1);
  EXPECT_EQ(List->NodeIndex("10.77.0.2", 50002), -1);
  EXPECT_EQ(List->NodeIndex("10.77.0.20", 50000), -1);
}

TEST_F(RemoteNodeList, SilentNodeGoesOfflineOnceAfterTheTimeout) {
  Receive(Announcement("Lobby"));
  Clock.Advance(1900);
  EXPECT_EQ(Events.size(), 1u);  // only neNew
  EXPECT_TRUE(List->Items(0).Online);

  Clock.Advance(600);  // 2500 ms of silence
  EXPECT_EQ(Events, (std::vector<TEvent>{{0, TNodeEvent::neNew}, {0, TNodeEvent::neOffline}}));
  EXPECT_FALSE(List->Items(0).Online);
  EXPECT_EQ(List->ActiveNodeCount(), 0);

  Clock.Advance(20000);  // two hundred more ticks
  EXPECT_EQ(Events.size(), 2u);
  EXPECT_EQ(List->Count(), 1);  // offline nodes stay listed
}

TEST_F(RemoteNodeList, TimeoutIsStrictlyExceeded) {
  // The ticks fall at 100, 200, ... from the bind at 0; the node announced
  // at 0 is exactly 2000 ms silent at the tick at 2000.
  Receive(Announcement("Lobby"));
  Clock.Advance(2000);
  EXPECT_TRUE(List->Items(0).Online);
  Clock.Advance(100);
  EXPECT_FALSE(List->Items(0).Online);
}

TEST_F(RemoteNodeList, HeartbeatsKeepANodeOnline) {
  Receive(Announcement("Lobby"));
  for (int second = 0; second < 10; ++second) {
    Clock.Advance(1000);
    Receive(Announcement("Lobby"));
  }
  EXPECT_EQ(Events.size(), 1u);
  EXPECT_TRUE(List->Items(0).Online);
}

TEST_F(RemoteNodeList, NodeTimeoutIsKeptInRangeAndUsed) {
  EXPECT_EQ(List->NodeTimeout(), CON_NodeTimeout);
  const std::pair<int, int> cases[] = {{500, 1000}, {100000, 60000}, {1000, 1000}, {60000, 60000}, {5000, 5000},
                                       {-1, 1000}};
  for (const auto& [set, read] : cases) {
    SCOPED_TRACE(set);
    List->SetNodeTimeout(set);
    EXPECT_EQ(List->NodeTimeout(), read);
  }
  List->SetNodeTimeout(5000);
  Receive(Announcement("Lobby"));
  Clock.Advance(4500);
  EXPECT_TRUE(List->Items(0).Online);
  Clock.Advance(1000);
  EXPECT_FALSE(List->Items(0).Online);
}

TEST_F(RemoteNodeList, RemoveOfflineNodesKeepsTheOrderAndTheIndex) {
  Receive(Announcement("A"), "10.0.0.1", 1);
  Receive(Announcement("B"), "10.0.0.2", 2);
  Receive(Announcement("C"), "10.0.0.3", 3);
  Clock.Advance(1500);
  Receive(Announcement("A"), "10.0.0.1", 1);
  Receive(Announcement("C"), "10.0.0.3", 3);
  Clock.Advance(1000);  // B silent for 2500 ms, A and C for 1000
  ASSERT_FALSE(List->Items(1).Online);
  Events.clear();

  List->RemoveOfflineNodes();
  EXPECT_TRUE(Events.empty());
  ASSERT_EQ(List->Count(), 2);
  EXPECT_EQ(List->Items(0).NodeName, "A");
  EXPECT_EQ(List->Items(1).NodeName, "C");
  EXPECT_EQ(List->NodeIndex("10.0.0.1", 1), 0);
  EXPECT_EQ(List->NodeIndex("10.0.0.3", 3), 1);
  EXPECT_EQ(List->NodeIndex("10.0.0.2", 2), -1);

  // C is found at its new place, B comes back as a new node behind it.
  Receive(Announcement("C2", 0, true), "10.0.0.3", 3);
  Receive(Announcement("B"), "10.0.0.2", 2);
  EXPECT_EQ(Events, (std::vector<TEvent>{{1, TNodeEvent::neUpdate}, {2, TNodeEvent::neNew}}));
  EXPECT_EQ(List->Items(1).NodeName, "C2");
  EXPECT_EQ(List->Count(), 3);
}

TEST_F(RemoteNodeList, IndexStaysRightOverManyRemovals) {
  // Every third node stays silent; after the removal each survivor must be
  // found where it now stands.
  constexpr int count = 600;
  for (int i = 0; i < count; ++i) Receive(Announcement("n" + std::to_string(i)), "10.1.0.1", 1000 + i);
  Clock.Advance(1500);
  for (int i = 0; i < count; ++i) {
    if (i % 3 != 1) Receive(Announcement("n" + std::to_string(i)), "10.1.0.1", 1000 + i);
  }
  Clock.Advance(1000);
  List->RemoveOfflineNodes();
  ASSERT_EQ(List->Count(), count - count / 3);
  for (int i = 0; i < List->Count(); ++i) {
    const TRemoteDeviceNode& node = List->Items(i);
    ASSERT_EQ(List->NodeIndex(node.IPAddress, node.NodePort), i) << node.NodeName;
  }
  for (int i = 1; i < count; i += 3) ASSERT_EQ(List->NodeIndex("10.1.0.1", 1000 + i), -1);
}

TEST_F(RemoteNodeList, UnreadableDatagramsAreReported) {
  const std::string cases[] = {
      "hello",
      "",
      "<VELOMARK><Message Type=\"1\"></VELOMARK>",
      std::string("<VELOMARK><Message Type=\"1\"/><Node Name=\"\xff\"/></VELOMARK>"),
  };
  Receive(Announcement("Lobby"));
  Events.clear();
  for (const auto& data : cases) {
    SCOPED_TRACE(data);
    Errors.clear();
    Receive(data);
    EXPECT_EQ(Errors, std::vector<std::string>{"XML message read error"});
  }
  EXPECT_TRUE(Events.empty());
  ASSERT_EQ(List->Count(), 1);
  EXPECT_EQ(List->Items(0).NodeName, "Lobby");
}

TEST_F(RemoteNodeList, DatagramsThatAreNoAnnouncementChangeNothing) {
  const std::string cases[] = {
      "<VELOMARK><Message Type=\"2\"/></VELOMARK>",                              // Acknowledge
      "<VELOMARK><Message Type=\"6\"/><Node Name=\"X\"/></VELOMARK>",           // DisplayData
      "<VELOMARK><Message Type=\"9\"/><Node Name=\"X\"/></VELOMARK>",           // unknown type
      "<VELOMARK><Message/><Node Name=\"X\"/></VELOMARK>",                      // no type
      "<VELOMARK><Device Type=\"2\"/><Node Name=\"X\"/></VELOMARK>",            // no Message
  };
  for (const auto& data : cases) {
    SCOPED_TRACE(data);
    Receive(data);
  }
  EXPECT_EQ(List->Count(), 0);
  EXPECT_TRUE(Events.empty());
  EXPECT_TRUE(Errors.empty());
}

TEST_F(RemoteNodeList, MissingElementsAndAttributes) {
  // Without Device a new node keeps its empty application fields.
  Receive("<X><Message Type=\"1\"/><Node Name=\"Bare\" Group=\"2\"/></X>", "10.0.0.1", 1);
  // With Device but no Name or Version, they read "N/A"; the same for Node.
  Receive("<X><Message Type=\"1\"/><Device Type=\"2\"/><Node/></X>", "10.0.0.2", 2);
  ASSERT_EQ(List->Count(), 2);
  const TRemoteDeviceNode& bare = List->Items(0);
  EXPECT_EQ(bare.AppName, "");
  EXPECT_EQ(bare.AppVersion, "");
  EXPECT_EQ(bare.DeviceType(), TDeviceType::dtUndefined);
  EXPECT_EQ(bare.NodeName, "Bare");
  EXPECT_EQ(bare.Group, 2);
  const TRemoteDeviceNode& unnamed = List->Items(1);
  EXPECT_EQ(unnamed.AppName, "N/A");
  EXPECT_EQ(unnamed.AppVersion, "N/A");
  EXPECT_EQ(unnamed.DeviceType(), TDeviceType::dtDisplay);
  EXPECT_EQ(unnamed.NodeName, "N/A");
  EXPECT_EQ(unnamed.Group, 0);

  // A later announcement without the elements keeps what is known.
  Receive("<X><Message Type=\"1\"/></X>", "10.0.0.1", 1);
  EXPECT_EQ(List->Items(0).NodeName, "Bare");
  EXPECT_EQ(List->Items(0).Group, 2);
}

TEST_F(RemoteNodeList, IndexChecks) {
  EXPECT_EQ(List->ActiveNodeCount(), 0);
  EXPECT_FALSE(List->ValidIndex(0));
  EXPECT_THROW(List->Items(0), std::out_of_range);
  Receive(Announcement("A"), "10.0.0.1", 1);
  Receive(Announcement("B"), "10.0.0.2", 2);
  EXPECT_FALSE(List->ValidIndex(-1));
  EXPECT_TRUE(List->ValidIndex(0));
  EXPECT_TRUE(List->ValidIndex(1));
  EXPECT_FALSE(List->ValidIndex(List->Count()));
  EXPECT_THROW(List->Items(-1), std::out_of_range);
  EXPECT_THROW(List->Items(2), std::out_of_range);
  EXPECT_EQ(List->ActiveNodeCount(), 2);
}

TEST_F(RemoteNodeList, EmptyAddressStopsServerAndTimer) {
  Receive(Announcement("Lobby"));
  Events.clear();
  List->UpdateUDPServer("", CON_UDPPortDefault, true);
  EXPECT_FALSE(Server->Active());
  EXPECT_EQ(Server->BindingCount(), 0);
  EXPECT_FALSE(List->Listening());
  EXPECT_EQ(Clock.ArmedTimerCount(), 0);
  Clock.Advance(10000);
  EXPECT_TRUE(Events.empty());
  EXPECT_TRUE(List->Items(0).Online);
}

TEST_F(RemoteNodeList, InactiveStopsServerAndTimer) {
  List->UpdateUDPServer("0.0.0.0", CON_UDPPortDefault, false);
  EXPECT_FALSE(Server->Active());
  EXPECT_EQ(Server->BindingCount(), 0);
  EXPECT_EQ(Clock.ArmedTimerCount(), 0);
}

TEST_F(RemoteNodeList, FailedBindLeavesEverythingStoppedWithoutRaising) {
  struct Case {
    const char* what;
    int port;
    bool portInUse;
  };
  const Case cases[] = {{"port in use", 1965, true}, {"port out of range", 70000, false}, {"negative port", -1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.portInUse) Server->PortsInUse.insert(c.port);
    EXPECT_NO_THROW(List->UpdateUDPServer("0.0.0.0", c.port, true));
    EXPECT_FALSE(Server->Active());
    EXPECT_EQ(Server->BindingCount(), 0);
    EXPECT_FALSE(List->Listening());
    EXPECT_FALSE(List->BindError().empty());
    EXPECT_EQ(Clock.ArmedTimerCount(), 0);
    Server->PortsInUse.clear();
  }
  // A later good bind clears the reason and runs the timer again.
  List->UpdateUDPServer("0.0.0.0", 1965, true);
  EXPECT_TRUE(List->Listening());
  EXPECT_EQ(List->ListeningPort(), 1965);
  EXPECT_TRUE(List->BindError().empty());
  EXPECT_EQ(Clock.ArmedTimerCount(), 1);
}

TEST_F(RemoteNodeList, ReuseAddressReachesTheServer) {
  EXPECT_FALSE(Server->ReuseAddress());
  List->SetReuseAddress(true);
  EXPECT_TRUE(Server->ReuseAddress());
}

TEST_F(RemoteNodeList, ExceptionFromTheEventHandlerIsReportedAsReadError) {
  List->OnRemoteNodeEvent = [](int, TNodeEvent) { throw std::runtime_error("handler failed"); };
  Receive(Announcement("Lobby"));
  EXPECT_EQ(Errors, std::vector<std::string>{"XML message read error"});
  // What ran before the handler stays.
  ASSERT_EQ(List->Count(), 1);
  EXPECT_EQ(List->Items(0).NodeName, "Lobby");
}

TEST_F(RemoteNodeList, NoHandlersAssignedIsFine) {
  List->OnRemoteNodeEvent = nullptr;
  List->OnRemoteNodeError = nullptr;
  Receive("not xml");
  Receive(Announcement("Lobby"));
  Clock.Advance(3000);
  EXPECT_FALSE(List->Items(0).Online);
}

TEST(RemoteNodeListLifecycle, TimerTicksFromCreationWithTheServerStopped) {
  TManualClock clock;
  auto server = std::make_unique<TFakeUDPServer>();
  TFakeUDPServer* raw = server.get();
  int events = 0;
  {
    TRemoteDeviceNodeList list(std::move(server), clock.NewTimer());
    list.OnRemoteNodeEvent = [&](int, TNodeEvent) { ++events; };
    EXPECT_EQ(clock.ArmedTimerCount(), 1);
    EXPECT_FALSE(raw->Active());
    EXPECT_EQ(raw->BindingCount(), 0);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.NodeTimeout(), 2000);
    clock.Advance(1000);
  }
  EXPECT_EQ(clock.ArmedTimerCount(), 0);  // the timer went with the list
  EXPECT_EQ(events, 0);
}

}  // namespace
}  // namespace lumaren
