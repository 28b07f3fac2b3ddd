// A node's run from start to end: the port it binds, what it leaves behind
// when a Shutdown message or a signal ends it (preferences with that port,
// the archived log), a second start beside it, and how it copes with a
// preferred port that someone else holds.

#include <QUdpSocket>

#include <pugixml.hpp>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <regex>

#include "e2e/TNodeFixture.h"

namespace lumaren::test {
namespace {

namespace fs = std::filesystem;

using LifeTest = NodeTest;

// The "LocalPort" the saved preferences hold; nothing when the file or the
// element is missing.
std::optional<int> SavedLocalPort(const fs::path& file) {
  pugi::xml_document doc;
  if (!doc.load_file(file.c_str())) return std::nullopt;
  const pugi::xml_node port = doc.child("Settings").child("Network").child("LocalPort");
  if (!port) return std::nullopt;
  return port.text().as_int();
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// The ways a running node is asked to end, each of which must end it as
// cleanly as the other.
struct TEndRequest {
  const char* Name;
  int Signal;  // 0: a Shutdown message
};

void PrintTo(const TEndRequest& request, std::ostream* out) { *out << request.Name; }

class CleanEndTest : public NodeTest, public ::testing::WithParamInterface<TEndRequest> {};

TEST_P(CleanEndTest, EndsWithZeroSavingTheBoundPortAndArchivingTheLog) {
  // An archive of an earlier run, which the new one joins.
  const fs::path earlier = Node.LogDir() / "20200101-000000.zip";
  fs::create_directories(Node.LogDir());
  std::ofstream(earlier, std::ios::binary) << "earlier run";

  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));  // local port 0: any free port
  const quint16 port = Controller.Announcements().front().SenderPort;
  ASSERT_NE(port, 0);
  const auto running = Node.LogFiles(".log");
  ASSERT_EQ(running.size(), 1u);
  const fs::path log = running.front();

  if (GetParam().Signal == 0) {
    ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Shutdown)));
  } else {
    ASSERT_EQ(::kill(static_cast<pid_t>(Node.Pid()), GetParam().Signal), 0);
  }
  ASSERT_EQ(Node.WaitForExit(CON_ExitTimeout), 0);

  EXPECT_EQ(SavedLocalPort(Node.PreferencesFile()), port);
  EXPECT_TRUE(Node.LogFiles(".log").empty());
  const auto archives = Node.LogFiles(".zip");
  ASSERT_EQ(archives.size(), 2u);
  EXPECT_EQ(ReadFile(earlier), "earlier run");
  const fs::path archive = log.parent_path() / (log.stem().string() + ".zip");
  EXPECT_EQ(archives.back(), archive);  // the earlier one sorts first
  EXPECT_TRUE(std::regex_match(archive.filename().string(), std::regex(R"(\d{8}-\d{6}\.zip)"))) << archive;

  const auto entries = ReadZipEntries(archive);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].first, log.filename().string());
  const auto logged = ParseLog(entries[0].second);
  ASSERT_GE(logged.size(), 2u);
  EXPECT_TRUE(StartsWith(logged.front().Text, "Start: ")) << logged.front().Text;
  if (GetParam().Signal == 0) {
    EXPECT_EQ(logged[logged.size() - 2].Text, "Shutdown message received from Undefined");
  }
  EXPECT_EQ(logged.back().Title, "Session");
  EXPECT_TRUE(StartsWith(logged.back().Text, "End: ")) << logged.back().Text;
}

INSTANTIATE_TEST_SUITE_P(Requests, CleanEndTest,
                         ::testing::Values(TEndRequest{"ShutdownMessage", 0}, TEndRequest{"SIGTERM", SIGTERM},
                                           TEndRequest{"SIGINT", SIGINT}, TEndRequest{"SIGHUP", SIGHUP}),
                         [](const ::testing::TestParamInfo<TEndRequest>& info) {
                           return std::string(info.param.Name);
                         });

TEST_F(LifeTest, ASecondStartEndsAtOnceAndTheFirstServesOn) {
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(Preferences()));
  const quint16 port = Controller.Announcements().front().SenderPort;

  const auto second = Node.InSameFolders();
  second->Start();
  EXPECT_EQ(second->WaitForExit(CON_ExitTimeout), 0);

  // The first goes on announcing, and nothing announces from elsewhere.
  const std::size_t seen = Controller.Announcements().size();
  ASSERT_TRUE(Controller.WaitForAnnouncements(seen + 1, 3s));
  for (const TAnnouncement& a : Controller.Announcements()) EXPECT_EQ(a.SenderPort, port);
  EXPECT_TRUE(Node.Running());
  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Acknowledge)));
  EXPECT_TRUE(WaitForSession("Acknowledge message received from Undefined"));
  EXPECT_EQ(ShutDown(), 0);
}

TEST_F(LifeTest, TakenPreferredPortIsReplacedByAFreeOneThatServesAndIsSaved) {
  // Held without address sharing, so no one else can bind it.
  QUdpSocket holder;
  ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
  TNodePreferences prefs = Preferences();
  prefs.LocalPort = holder.localPort();
  ASSERT_NO_FATAL_FAILURE(StartAnnouncingNode(prefs));

  const quint16 port = Controller.Announcements().front().SenderPort;
  EXPECT_NE(port, 0);
  EXPECT_NE(port, holder.localPort());
  ASSERT_TRUE(Controller.SendToNode(MessageXml(CON_Acknowledge)));
  EXPECT_TRUE(WaitForSession("Acknowledge message received from Undefined"));
  EXPECT_FALSE(holder.hasPendingDatagrams());

  ASSERT_EQ(ShutDown(), 0);
  EXPECT_EQ(SavedLocalPort(Node.PreferencesFile()), port);
}

}  // namespace
}  // namespace lumaren::test
