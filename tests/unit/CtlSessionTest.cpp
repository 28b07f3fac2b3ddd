// One run of lumaren-ctl over fake servers and a manual clock: when it stops
// listening, whom it sends to, what it prints and the exit code it ends with.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/uDeviceNode.h"
#include "protocol/uMessage.h"
#include "support/TFakeUDPServer.h"
#include "support/TManualClock.h"
#include "tools/uCtlOptions.h"
#include "tools/uCtlSession.h"

namespace lumaren::ctl {
namespace {

using test::TFakeUDPServer;
using test::TManualClock;

std::string Announcement(const std::string& name, int group) {
  TLocalDeviceNode node;
  node.SetDeviceType(TDeviceType::dtDisplay);
  node.AppName = "Lumaren";
  node.AppVersion = "1.0.4.0";
  node.NodeName = name;
  node.Group = group;
  return node.BuildAnnouncement();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The protocol module over fakes, as lumaren-ctl's main block starts it over
// the real ones.
class CtlSession : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceNodeModuleStart(
        [this] {
          auto server = std::make_unique<TFakeUDPServer>();
          Made.push_back(server.get());
          return server;
        },
        Clock.Factory(), [this] { return TDateTime(std::chrono::milliseconds(Clock.Now())); });
    ListServer = Made.at(0);
    Shared = Made.at(1);
  }
  void TearDown() override {
    Session.reset();
    DeviceNodeModuleEnd();
  }

  void Run(const std::vector<std::string>& args) {
    Session = std::make_unique<TCtlSession>(ParseCtlArguments(args), Out, Err, Clock.Factory(), [this] { ++Quits; },
                                            [this] { return TDateTime(std::chrono::milliseconds(Clock.Now())); });
    Session->Start();
  }

  // A node announcing itself at the discovery port.
  void Announce(const std::string& name, int group, const std::string& ip, int port) {
    ASSERT_TRUE(ListServer->Receive(Announcement(name, group), ip, port)) << "the list is not listening";
  }

  // The datagram sent to ip:port, read back.
  void ReadSentTo(const std::string& ip, int port, TReceivedMessage& out) {
    for (const auto& sent : Shared->Sent) {
      if (sent.Host == ip && sent.Port == port) {
        ReadMessage(sent.Text, out);
        return;
      }
    }
    FAIL() << "nothing sent to " << ip << ":" << port;
  }

  void ExpectFinished(int exitCode) {
    ASSERT_TRUE(Session->Finished());
    EXPECT_EQ(Session->ExitCode(), exitCode);
    EXPECT_EQ(Quits, 1);
    EXPECT_FALSE(ListServer->Active());  // the discovery port is let go
  }

  TManualClock Clock;
  std::vector<TFakeUDPServer*> Made;
  TFakeUDPServer* ListServer = nullptr;
  TFakeUDPServer* Shared = nullptr;
  std::ostringstream Out;
  std::ostringstream Err;
  int Quits = 0;
  std::unique_ptr<TCtlSession> Session;
};

TEST_F(CtlSession, DiscoverListensThenPrintsATable) {
  Run({"discover"});
  EXPECT_TRUE(ListServer->Active());
  EXPECT_EQ(ListServer->CurrentPort(), 1965);
  EXPECT_TRUE(ListServer->ReuseAddress());
  EXPECT_EQ(ListServer->Binding(0).IP, "0.0.0.0");
  EXPECT_FALSE(Shared->Active());  // discovery sends nothing
  Announce("Lobby", 3, "10.77.0.2", 50123);
  Clock.Advance(1000);
  Announce("Sc\xc3\xa8ne", 12, "10.77.0.3", 4000);
  Announce("Lobby", 3, "10.77.0.2", 50123);
  Clock.Advance(1499);
  EXPECT_FALSE(Session->Finished());
  EXPECT_EQ(Out.str(), "");
  Clock.Advance(1);
  ExpectFinished(CON_ExitOK);
  EXPECT_EQ(Out.str(),
            "NAME   GROUP  ADDRESS          APPLICATION  VERSION  ONLINE\n"
            "Lobby  3      10.77.0.2:50123  Lumaren      1.0.4.0  yes\n"
            "Sc\xc3\xa8ne  12     10.77.0.3:4000   Lumaren      1.0.4.0  yes\n");
  EXPECT_EQ(Err.str(), "");
}

TEST_F(CtlSession, DiscoverShowsANodeThatWentSilentAsOffline) {
  Run({"discover", "--json", "--timeout", "5000"});
  Announce("Gone", 1, "10.77.0.4", 4001);
  Clock.Advance(5000);
  ExpectFinished(CON_ExitOK);
  EXPECT_EQ(Out.str(),
            "{\"name\":\"Gone\",\"group\":1,\"address\":\"10.77.0.4\",\"port\":4001,\"application\":\"Lumaren\","
            "\"version\":\"1.0.4.0\",\"device\":\"Display\",\"online\":false}\n");
}

TEST_F(CtlSession, DiscoverWithoutNodesFails) {
  Run({"discover", "--port", "2000"});
  EXPECT_EQ(ListServer->CurrentPort(), 2000);
  Clock.Advance(2500);
  ExpectFinished(CON_ExitFailed);
  EXPECT_EQ(Out.str(), "");
  EXPECT_EQ(Err.str(), "lumaren-ctl: no node announced itself on port 2000 within 2500 ms\n");
}

TEST_F(CtlSession, WatchPrintsEventsAsTheyHappen) {
  Run({"discover", "--watch", "--json"});
  Announce("Lobby", 3, "10.77.0.2", 50123);
  ASSERT_EQ(Lines(Out.str()).size(), 1u);
  EXPECT_EQ(Lines(Out.str())[0].substr(0, 34), "{\"event\":\"new\",\"name\":\"Lobby\",\"gro");
  Clock.Advance(2500);
  ASSERT_EQ(Lines(Out.str()).size(), 2u);
  EXPECT_NE(Lines(Out.str())[1].find("{\"event\":\"offline\",\"name\":\"Lobby\""), std::string::npos);
  Announce("Lobby", 3, "10.77.0.2", 50123);
  ASSERT_EQ(Lines(Out.str()).size(), 3u);
  EXPECT_NE(Lines(Out.str())[2].find("\"event\":\"online\""), std::string::npos);
  EXPECT_NE(Lines(Out.str())[2].find("\"online\":true"), std::string::npos);

  // No deadline: only an interruption ends it, and that is no failure.
  Clock.Advance(60000);
  EXPECT_FALSE(Session->Finished());
  Session->Stop();
  ExpectFinished(CON_ExitOK);
}

TEST_F(CtlSession, WatchWithTimeoutEndsByItself) {
  Run({"discover", "--watch", "--timeout", "1000"});
  Announce("Lobby", 3, "10.77.0.2", 50123);
  EXPECT_NE(Out.str().find(" new     Lobby (group 3) at 10.77.0.2:50123, Lumaren 1.0.4.0\n"), std::string::npos);
  Clock.Advance(1000);
  ExpectFinished(CON_ExitOK);
}

TEST_F(CtlSession, SendToANameGoesAsSoonAsTheNodeIsSeen) {
  Run({"send", "--to", "Lobby", "Gate|B12\\nboarding|10:45", "--style", "blink", "--fg", "FF0000"});
  EXPECT_TRUE(Shared->Active());
  Announce("Other", 3, "10.77.0.9", 4000);
  EXPECT_FALSE(Session->Finished());
  Clock.Advance(400);
  Announce("Lobby", 3, "10.77.0.2", 50123);
  ExpectFinished(CON_ExitOK);
  ASSERT_EQ(Shared->Sent.size(), 1u);
  TReceivedMessage read;
  ReadSentTo("10.77.0.2", 50123, read);
  EXPECT_EQ(read.Type, TMessageType::mtDisplayData);
  TDisplayLineList content;
  content.XMLRead(read.Payload("Display"));
  ASSERT_EQ(content.Count(), 1);
  EXPECT_EQ(content.Items(0).TextLeft, "Gate");
  EXPECT_EQ(content.Items(0).TextCentre, "B12\r\nboarding");
  EXPECT_EQ(content.Items(0).TextRight, "10:45");
  EXPECT_EQ(content.DisplayStyle, TDisplayStyle::dsBlink);
  EXPECT_EQ(content.FontColour, 0x0000FF);
  EXPECT_EQ(Out.str(), "Sent display data to Lobby at 10.77.0.2:50123\n");
  EXPECT_EQ(Err.str(), "");
}

TEST_F(CtlSession, SendWaitsForEveryName) {
  Run({"ack", "--to", "A", "--to", "B"});
  Announce("A", 0, "10.0.0.1", 1);
  EXPECT_FALSE(Session->Finished());
  Announce("B", 0, "10.0.0.2", 2);
  ExpectFinished(CON_ExitOK);
  EXPECT_EQ(Shared->Sent.size(), 2u);
}

TEST_F(CtlSession, EveryNodeOfTheNameIsReached) {
  // Two nodes share a name; both announce before the other name is seen.
  Run({"shutdown", "--to", "Twin", "--to", "Last", "--json"});
  Announce("Twin", 0, "10.0.0.1", 1);
  Announce("Twin", 0, "10.0.0.2", 2);
  Announce("Last", 0, "10.0.0.3", 3);
  ExpectFinished(CON_ExitOK);
  ASSERT_EQ(Shared->Sent.size(), 3u);
  EXPECT_EQ(Lines(Out.str()),
            (std::vector<std::string>{
                "{\"command\":\"shutdown\",\"result\":\"sent\",\"name\":\"Twin\",\"address\":\"10.0.0.1\",\"port\":1}",
                "{\"command\":\"shutdown\",\"result\":\"sent\",\"name\":\"Twin\",\"address\":\"10.0.0.2\",\"port\":2}",
                "{\"command\":\"shutdown\",\"result\":\"sent\",\"name\":\"Last\",\"address\":\"10.0.0.3\",\"port\":3}"}));
}

TEST_F(CtlSession, GroupListensTheWholeTimeAndSendsOncePerNode) {
  Run({"set-state", "maximised", "--group", "3", "--to", "Solo"});
  for (int second = 0; second < 3; ++second) {
    Announce("Lobby", 3, "10.0.0.1", 1);
    Announce("Solo", 3, "10.0.0.2", 2);  // chosen twice over, sent once
    Announce("Bar", 4, "10.0.0.3", 3);
    if (second == 2) Announce("Late", 3, "10.0.0.4", 4);
    EXPECT_FALSE(Session->Finished());
    Clock.Advance(1000);
  }
  ExpectFinished(CON_ExitOK);
  ASSERT_EQ(Shared->Sent.size(), 3u);
  for (const char* ip : {"10.0.0.1", "10.0.0.2", "10.0.0.4"}) {
    SCOPED_TRACE(ip);
    TReceivedMessage read;
    ReadSentTo(ip, ip[7] - '0', read);
    EXPECT_EQ(read.Type, TMessageType::mtParamsSet);
    EXPECT_EQ(GetXMLAtt(read.Payload("Window"), "State", std::int32_t{-1}), 2);
  }
}

TEST_F(CtlSession, AllReachesTheOnlineNodesOnly) {
  Run({"set-name", "--all", "Stage", "--timeout", "4000"});
  Announce("Quiet", 0, "10.0.0.1", 1);
  Clock.Advance(1000);
  Announce("Busy", 0, "10.0.0.2", 2);
  Clock.Advance(1000);
  Announce("Busy", 0, "10.0.0.2", 2);
  Clock.Advance(2000);  // Quiet has been silent for 3000 ms
  ExpectFinished(CON_ExitOK);
  ASSERT_EQ(Shared->Sent.size(), 1u);
  TReceivedMessage read;
  ReadSentTo("10.0.0.2", 2, read);
  EXPECT_EQ(GetXMLAtt(read.Payload("Node"), "Name", "N/A"), "Stage");
}

TEST_F(CtlSession, NodesNotFoundAreReportedAndFail) {
  Run({"ack", "--to", "Lobby", "--to", "Nobody", "--group", "9", "--json", "--timeout", "1000"});
  Announce("Lobby", 3, "10.0.0.1", 1);
  Clock.Advance(1000);
  ExpectFinished(CON_ExitFailed);
  EXPECT_EQ(Shared->Sent.size(), 1u);  // what was found still gets it
  EXPECT_EQ(Lines(Out.str()),
            (std::vector<std::string>{
                "{\"command\":\"ack\",\"result\":\"not-found\",\"name\":\"Nobody\"}",
                "{\"command\":\"ack\",\"result\":\"not-found\",\"group\":9}",
                "{\"command\":\"ack\",\"result\":\"sent\",\"name\":\"Lobby\",\"address\":\"10.0.0.1\",\"port\":1}"}));
  EXPECT_EQ(Lines(Err.str()), (std::vector<std::string>{
                                  "lumaren-ctl: no node named \"Nobody\" on port 1965 within 1000 ms",
                                  "lumaren-ctl: no node in group 9 on port 1965 within 1000 ms"}));
}

TEST_F(CtlSession, AllWithNoNodeFails) {
  Run({"ack", "--all"});
  Clock.Advance(3000);
  ExpectFinished(CON_ExitFailed);
  EXPECT_TRUE(Shared->Sent.empty());
  EXPECT_EQ(Err.str(), "lumaren-ctl: no node announced itself on port 1965 within 3000 ms\n");
}

TEST_F(CtlSession, AddressAndPortAreSentToAtOnceWithoutListening) {
  Run({"ack", "--to", "10.77.0.2:50123", "--bind", "10.77.0.1"});
  ExpectFinished(CON_ExitOK);
  EXPECT_EQ(ListServer->BindingCount(), 0);
  EXPECT_EQ(ListServer->StartCount, 0);
  EXPECT_EQ(Shared->Binding(0).IP, "10.77.0.1");
  TReceivedMessage read;
  ReadSentTo("10.77.0.2", 50123, read);
  EXPECT_EQ(read.Type, TMessageType::mtAcknowledge);
  EXPECT_EQ(Out.str(), "Sent acknowledge to 10.77.0.2:50123\n");
}

TEST_F(CtlSession, BindChoosesTheSendingAddressButDiscoveryHearsEveryAddress) {
  // Broadcasts never reach a socket bound to one address.
  Run({"ack", "--to", "Lobby", "--bind", "10.77.0.2"});
  EXPECT_EQ(ListServer->Binding(0).IP, "0.0.0.0");
  EXPECT_EQ(Shared->Binding(0).IP, "10.77.0.2");
  Announce("Lobby", 3, "10.77.0.3", 1);
  ExpectFinished(CON_ExitOK);
}

TEST_F(CtlSession, AddressAndNameTogether) {
  Run({"ack", "--to", "10.77.0.2:50123", "--to", "Lobby"});
  EXPECT_EQ(Shared->Sent.size(), 1u);  // the address did not wait
  EXPECT_FALSE(Session->Finished());
  Announce("Lobby", 3, "10.0.0.1", 1);
  ExpectFinished(CON_ExitOK);
  EXPECT_EQ(Shared->Sent.size(), 2u);
}

TEST_F(CtlSession, AFailedSendFailsTheRunButNotTheOthers) {
  Run({"ack", "--group", "1", "--json", "--timeout", "1000"});
  Announce("A", 1, "10.0.0.1", 1);
  Announce("B", 1, "10.0.0.2", 2);
  Shared->FailNextSend();
  Clock.Advance(1000);
  ExpectFinished(CON_ExitFailed);
  ASSERT_EQ(Shared->Sent.size(), 1u);
  EXPECT_EQ(Shared->Sent[0].Host, "10.0.0.2");
  const auto lines = Lines(Out.str());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind(
                "{\"command\":\"ack\",\"result\":\"failed\",\"name\":\"A\",\"address\":\"10.0.0.1\",\"port\":1,\"error\":\"",
                0),
            0u)
      << lines[0];
  EXPECT_NE(Err.str().find("lumaren-ctl: cannot send acknowledge to A at 10.0.0.1:1: "), std::string::npos);
}

TEST_F(CtlSession, ContentTooLargeIsAUsageErrorBeforeAnythingHappens) {
  Run({"send", "--to", "Lobby", std::string(9000, 'x')});
  ExpectFinished(CON_ExitUsage);
  EXPECT_EQ(ListServer->StartCount, 0);
  EXPECT_FALSE(Shared->Active());
  EXPECT_NE(Err.str().find("lumaren-ctl: the text is too long: the message takes "), std::string::npos);
  EXPECT_NE(Err.str().find("8192 bytes of one datagram"), std::string::npos);
}

TEST_F(CtlSession, TextXMLCannotCarryIsAUsageError) {
  Run({"set-name", "--to", "10.0.0.1:1", std::string("bell\x07")});
  ExpectFinished(CON_ExitUsage);
  EXPECT_TRUE(Shared->Sent.empty());
  EXPECT_NE(Err.str().find("lumaren-ctl: the text cannot be sent: "), std::string::npos);
}

TEST_F(CtlSession, DiscoveryPortThatCannotBeOpenedFails) {
  ListServer->PortsInUse.insert(1965);
  Run({"discover"});
  ExpectFinished(CON_ExitFailed);
  EXPECT_EQ(Err.str().rfind("lumaren-ctl: cannot listen on 0.0.0.0:1965: ", 0), 0u) << Err.str();
}

TEST_F(CtlSession, SendSocketThatCannotBeOpenedFails) {
  Shared->FailNextStart();
  Run({"ack", "--to", "Lobby"});
  ExpectFinished(CON_ExitFailed);
  EXPECT_EQ(Err.str().rfind("lumaren-ctl: cannot open a socket to send from: ", 0), 0u) << Err.str();
}

TEST_F(CtlSession, InterruptedCommandSendsNothing) {
  Run({"ack", "--group", "1"});
  Announce("A", 1, "10.0.0.1", 1);
  Session->Stop();
  ExpectFinished(CON_ExitFailed);
  EXPECT_TRUE(Shared->Sent.empty());
  EXPECT_EQ(Err.str(), "lumaren-ctl: interrupted before the nodes were found; nothing more was sent\n");
  // Later events and deadlines change nothing.
  Clock.Advance(5000);
  EXPECT_EQ(Quits, 1);
}

TEST_F(CtlSession, InterruptedDiscoveryPrintsWhatItHas) {
  Run({"discover"});
  Announce("Lobby", 3, "10.0.0.1", 1);
  Session->Stop();
  ExpectFinished(CON_ExitOK);
  EXPECT_EQ(Lines(Out.str()).size(), 2u);
}

TEST_F(CtlSession, HostileNamesAreShownHarmless) {
  Run({"discover"});
  // XML carries no ESC, but it does carry the one-character CSI of C1.
  Announce("evil\xc2\x9b" "2J\r\nname", 1, "10.0.0.1", 1);
  Clock.Advance(2500);
  ExpectFinished(CON_ExitOK);
  EXPECT_EQ(Out.str().find("\xc2\x9b"), std::string::npos);
  EXPECT_NE(Out.str().find("evil\\xC2\\x9B2J\\r\\nname"), std::string::npos);
  EXPECT_EQ(Lines(Out.str()).size(), 2u);
}

}  // namespace
}  // namespace lumaren::ctl
