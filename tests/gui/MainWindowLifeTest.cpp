// The main window's life on fakes: the first showing applies the preferences
// to the network and announces, the heartbeat follows, a taken port falls
// back to a free one that is stored, and closing saves and lets the machine
// sleep again.

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QSpinBox>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>

#include <filesystem>
#include <fstream>
#include <string>

#include "config/Settings.h"
#include "config/uPreferences.h"
#include "protocol/uMessage.h"
#include "protocol/uXMLHelpers.h"
#include "support/TLogCapture.h"
#include "support/qt/TMainWindowFixture.h"

namespace lumaren {
namespace {

constexpr std::uint32_t kAwake = 0x80000003u;
constexpr std::uint32_t kAsleep = 0x80000000u;

class MainWindowLifeTest : public test::TMainWindowFixture {
 protected:
  // Writes a preferences file with the given network options before the
  // window is made.
  void WritePreferences(int localPort, int heartbeat, const std::string& nodeName = "Foyer") {
    std::filesystem::create_directories(std::filesystem::path(PreferencesPath()).parent_path());
    std::ofstream(PreferencesPath()) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Settings>"
                                     << "<Network><DiscoveryPort>1965</DiscoveryPort><LocalPort>" << localPort
                                     << "</LocalPort></Network><Options><NodeName>" << nodeName
                                     << "</NodeName><Group>3</Group><HeartbeatInterval>" << heartbeat
                                     << "</HeartbeatInterval></Options></Settings>";
  }

  // The Refresh attribute and node name of one broadcast announcement.
  struct TAnnouncement {
    bool Refresh;
    std::string Name;
    int Group;
  };
  TAnnouncement Announcement(std::size_t index) {
    TReceivedMessage message;
    ReadMessage(udp->Broadcasts.at(index).Text, message);
    EXPECT_EQ(message.Type, TMessageType::mtAnnounce);
    const TXMLNode node = message.Payload("Node");
    return {GetXMLAtt(message.Message, "Refresh", false), GetXMLAtt(node, "Name", ""), GetXMLAtt(node, "Group", -1)};
  }
};

TEST_F(MainWindowLifeTest, FirstShowBindsAnnouncesAndKeepsAwake) {
  WritePreferences(0, 1000);
  ShowAndSettle();

  EXPECT_TRUE(udp->Active());
  EXPECT_EQ(Prefs->LocalPort, udp->CurrentPort()) << "the port the system chose becomes the preference";
  EXPECT_NE(Prefs->LocalPort, 0);
  ASSERT_EQ(udp->Broadcasts.size(), 1u);
  EXPECT_EQ(udp->Broadcasts[0].Port, 1965);
  const TAnnouncement first = Announcement(0);
  EXPECT_TRUE(first.Refresh);
  EXPECT_EQ(first.Name, "Foyer");
  EXPECT_EQ(first.Group, 3);
  EXPECT_TRUE(window->tmrHeartbeat->Enabled());
  EXPECT_EQ(executionStates, (std::vector<std::uint32_t>{kAwake}));
  EXPECT_EQ(window->LocalNode().IPAddress, "127.0.0.1");

  clock.Advance(1000);
  ASSERT_EQ(udp->Broadcasts.size(), 2u);
  EXPECT_FALSE(Announcement(1).Refresh) << "Refresh goes out once";
}

TEST_F(MainWindowLifeTest, HeartbeatZeroAnnouncesNothing) {
  WritePreferences(0, 0);
  ShowAndSettle();
  clock.Advance(5000);
  EXPECT_TRUE(udp->Active());
  EXPECT_TRUE(udp->Broadcasts.empty());
  EXPECT_FALSE(window->tmrHeartbeat->Enabled());
}

TEST_F(MainWindowLifeTest, ATakenPortFallsBackToAFreeOneThatIsSaved) {
  WritePreferences(5000, 1000);
  udp->PortsInUse = {5000};
  ShowAndSettle();
  EXPECT_TRUE(udp->Active());
  EXPECT_NE(udp->CurrentPort(), 5000);
  EXPECT_EQ(Prefs->LocalPort, udp->CurrentPort());

  const int chosen = udp->CurrentPort();
  window->close();
  Prefs->LoadDefaults();
  Prefs->Load();
  EXPECT_EQ(Prefs->LocalPort, chosen);
}

TEST_F(MainWindowLifeTest, AFailedFallBackIsLoggedAndStartUpGoesOn) {
  WritePreferences(5000, 1000);
  CreateWindow();
  udp->FailNextStart(2);  // the preferred port and the fall-back to any port
  ShowAndSettle();
  EXPECT_FALSE(udp->Active());
  EXPECT_TRUE(udp->Broadcasts.empty());
  EXPECT_FALSE(window->tmrHeartbeat->Enabled());
  EXPECT_EQ(window->DisplayLineList().Count(), 1) << "the default screen is shown";
  const auto errors = test::LoggedTexts("Error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("TfmMain.PreferencesChanged: ", 0), 0u) << errors[0];
  EXPECT_EQ(executionStates, (std::vector<std::uint32_t>{kAwake}));

  // Mended settings are applied again (after the settings dialog).
  window->PreferencesChanged();
  EXPECT_TRUE(udp->Active());
  EXPECT_EQ(udp->Broadcasts.size(), 1u);
}

TEST_F(MainWindowLifeTest, ClosingStopsTheNodeSavesAndLetsTheMachineSleep) {
  WritePreferences(0, 1000);
  ShowAndSettle();
  Prefs->SetNodeName("Stage Left");
  window->close();

  EXPECT_FALSE(udp->Active());
  EXPECT_FALSE(window->tmrHeartbeat->Enabled());
  EXPECT_EQ(executionStates, (std::vector<std::uint32_t>{kAwake, kAsleep}));
  const std::size_t announced = udp->Broadcasts.size();
  clock.Advance(3000);
  EXPECT_EQ(udp->Broadcasts.size(), announced) << "no heartbeat after closing";

  Prefs->LoadDefaults();
  Prefs->Load();
  EXPECT_EQ(Prefs->NodeName(), "Stage Left");
}

TEST_F(MainWindowLifeTest, TheCloseTimerClosesTheWindowOnce) {
  ShowAndSettle();
  ASSERT_TRUE(window->isVisible());
  window->tmrClose->SetEnabled(true);
  clock.Advance(99);
  EXPECT_TRUE(window->isVisible());
  clock.Advance(1);
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(window->tmrClose->Enabled());
  EXPECT_TRUE(std::filesystem::exists(PreferencesPath()));
}

TEST_F(MainWindowLifeTest, ThePopupMenuHasItsFourItemsInOrder) {
  CreateWindow();
  const auto menus = window->findChildren<QMenu*>();
  ASSERT_EQ(menus.size(), 1);
  QStringList captions;
  for (const QAction* action : menus[0]->actions()) captions << action->text();
  EXPECT_EQ(captions, (QStringList{"Exit Program", "Minimise Window", "Settings ...", "About ..."}));
}

TEST_F(MainWindowLifeTest, DoubleClickMaximisesAndRestores) {
  ShowAndSettle();
  const auto doubleClick = [this] {
    QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(50, 50), window->mapToGlobal(QPointF(50, 50)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &event);
  };
  doubleClick();
  EXPECT_TRUE(window->isMaximized());
  doubleClick();
  EXPECT_FALSE(window->isMaximized());
}

TEST_F(MainWindowLifeTest, AParameterMessageRefreshesTheOpenSettingsDialog) {
  ShowAndSettle();
  SettingsFormCreate(window.get(), [this] { window->UpdateDisplay(); });
  fmSettings->show();
  QCoreApplication::processEvents();
  ASSERT_EQ(fmSettings->edNodeName->text(), "Lumaren");

  udp->Receive(R"(<VELOMARK><Message Type="4"/><Node Name="Bar" Group="12"/></VELOMARK>)");
  EXPECT_EQ(fmSettings->edNodeName->text(), "Bar");
  EXPECT_EQ(fmSettings->edGroup->value(), 12);
  EXPECT_EQ(window->LocalNode().NodeName, "Bar");
  SettingsFormFree();
}

TEST_F(MainWindowLifeTest, DatagramsReachTheDisplay) {
  ShowAndSettle();
  udp->Receive(R"(<VELOMARK><Message Type="6"/><Display Expiry="500"><Line Centre="Gate 4"/></Display></VELOMARK>)");
  ASSERT_EQ(window->DisplayLineList().Count(), 1);
  EXPECT_EQ(window->DisplayLineList().Items(0).TextCentre, "Gate 4");
  clock.Advance(500);
  EXPECT_EQ(window->DisplayLineList().Count(), 0) << "the content expired";

  udp->Receive(R"(<VELOMARK><Message Type="3"/></VELOMARK>)");
  EXPECT_TRUE(window->isVisible());
  clock.Advance(100);
  EXPECT_FALSE(window->isVisible()) << "Shutdown closes the window 100 ms later";
}

}  // namespace
}  // namespace lumaren
