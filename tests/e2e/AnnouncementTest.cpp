// The node on the network as a controller sees it: announcements on the
// discovery port, their content and rhythm, and how a ParamsSet changes
// them.

#include "e2e/TNodeFixture.h"

namespace lumaren::test {
namespace {

using AnnouncementTest = NodeTest;

TEST_F(AnnouncementTest, FirstCarriesRefreshAndIdentityTheNextOnesOnlyIdentity) {
  TNodePreferences prefs = Preferences();
  prefs.NodeName = "Lobby East";
  prefs.Group = 7;
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(prefs));
  // The heartbeat is 1000 ms; three seconds leave room for a loaded machine.
  ASSERT_TRUE(Controller.WaitForAnnouncements(2, 3s)) << "no second announcement within 3 s of the first";

  const auto& all = Controller.Announcements();
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE("announcement " + std::to_string(i) + ": " + all[i].Data);
    const TAnnouncement& a = all[i];
    ASSERT_TRUE(a.WellFormed);
    EXPECT_EQ(a.RootName, "VELOMARK");
    EXPECT_EQ(a.MessageType, "1");
    EXPECT_EQ(a.DeviceType, "2");
    EXPECT_EQ(a.DeviceName, "Lumaren");
    EXPECT_EQ(a.DeviceVersion, "1.0.4.0");
    EXPECT_EQ(a.NodeName, "Lobby East");
    EXPECT_EQ(a.NodeGroup, "7");
    // Both leave from the port the node listens on.
    EXPECT_EQ(a.SenderPort, all[0].SenderPort);
    EXPECT_TRUE(a.Sender.isLoopback()) << a.Sender.toString().toStdString();
  }
  EXPECT_EQ(all[0].Refresh, "-1");
  EXPECT_EQ(all[1].Refresh, std::nullopt);

  EXPECT_EQ(ShutDown(), 0);
}

TEST_F(AnnouncementTest, ParamsSetNodeChangesTheNextAnnouncementAndIsSavedAtShutdown) {
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));
  ASSERT_TRUE(Controller.WaitForAnnouncements(2, 3s));  // the refresh of the start is spent

  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_ParamsSet, R"(<Node Name="Kiosk 2" Group="9"/>)")));
  ASSERT_TRUE(WaitForSession("Params Set message received from Undefined"));

  // Announcements sent before the message was handled may still arrive
  // after it; every one sent later carries the new name.
  const auto renamed = [](const TAnnouncement& a) { return a.NodeName != "Lobby"; };
  const auto changed = Controller.WaitForAnnouncement(0, renamed, 3s);
  ASSERT_TRUE(changed.has_value()) << "no announcement after the ParamsSet";
  const TAnnouncement first = Controller.Announcements()[*changed];
  SCOPED_TRACE(first.Data);
  EXPECT_EQ(first.NodeName, "Kiosk 2");
  EXPECT_EQ(first.NodeGroup, "9");
  EXPECT_EQ(first.Refresh, "-1");

  ASSERT_TRUE(Controller.WaitForAnnouncements(*changed + 2, 3s));
  const TAnnouncement next = Controller.Announcements()[*changed + 1];
  EXPECT_EQ(next.NodeName, "Kiosk 2");
  EXPECT_EQ(next.NodeGroup, "9");
  EXPECT_EQ(next.Refresh, std::nullopt);

  ASSERT_EQ(ShutDown(), 0);
  const std::string saved = ReadFile(Node.PreferencesFile());
  EXPECT_NE(saved.find("<NodeName>Kiosk 2</NodeName>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<Group>9</Group>"), std::string::npos) << saved;
}

TEST_F(AnnouncementTest, HeartbeatZeroSendsNothingNotEvenAtStartYetServes) {
  // Without announcements the node's port is known only from the preferences.
  TNodePreferences prefs = Preferences();
  prefs.HeartbeatInterval = 0;
  prefs.LocalPort = FreeUdpPort();
  ASSERT_NE(prefs.LocalPort, 0);
  ASSERT_NO_FATAL_FAILURE(StartNode(prefs));
  const QHostAddress node(QHostAddress::LocalHost);
  const auto port = static_cast<quint16>(prefs.LocalPort);

  // Once the node answers it has applied its preferences, which is when the
  // first announcement would have left.
  ASSERT_TRUE(ProcessEventsUntil(
      [&] {
        Controller.SendTo(node, port, MessageXml(CON_Acknowledge));
        return Node.WaitForLogEntry("Session", "Acknowledge message received from Undefined", 200ms);
      },
      CON_StartTimeout));
  Controller.CollectFor(2500ms);
  EXPECT_TRUE(Controller.Announcements().empty()) << Controller.Announcements().front().Data;

  ASSERT_TRUE(Controller.SendTo(node, port, MessageXml(CON_Shutdown)));
  EXPECT_EQ(Node.WaitForExit(CON_ExitTimeout), 0);
}

}  // namespace
}  // namespace lumaren::test
