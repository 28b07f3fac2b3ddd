// lumaren-ctl as a process against a node on real sockets: the test runs a
// local node that announces itself through the Qt UDP server to a discovery
// port of its own and records what reaches the node; the tool finds it and
// sends to it. Everything stays inside the test network namespace.

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QProcess>
#include <QUdpSocket>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "display/uDisplayLine.h"
#include "platform/qt/QtThreadTimer.h"
#include "platform/qt/QtUDPServer.h"
#include "protocol/uDeviceNode.h"
#include "protocol/uMessage.h"
#include "support/qt/TCtlProcess.h"
#include "support/qt/TEventWait.h"

namespace lumaren {
namespace {

using test::CtlExecutable;
using test::ProcessEventsUntil;
using test::RunCtl;
using test::TCtlResult;
using namespace std::chrono_literals;

QStringList ToQt(const std::vector<std::string>& args) {
  QStringList list;
  for (const auto& a : args) list << QString::fromStdString(a);
  return list;
}

// The node the tool talks to: announcing every 200 ms to the test's own
// discovery port, which the test holds shared so the tool can listen too.
class CtlOnSockets : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(FDiscovery.bind(QHostAddress::AnyIPv4, 0,
                                QAbstractSocket::ShareAddress | QAbstractSocket::ReuseAddressHint));
    DiscoveryPort = FDiscovery.localPort();
    DeviceNodeModuleStart(platform::QtUDPServerFactory(), platform::QtThreadTimerFactory());
    UDPServer->SetOnRead([this](const platform::TUDPDatagram& d) { Received.push_back(d.Data); });
    UDPServer->AddBinding("", 0);
    UDPServer->SetActive(true);
    NodePort = UDPServer->CurrentPort();
    Node.SetDeviceType(TDeviceType::dtDisplay);
    Node.AppName = "Lumaren";
    Node.AppVersion = "1.0.4.0";
    Node.NodeName = "Foyer " + std::to_string(NodePort);
    Node.Group = 5;
    FHeartbeat = platform::CreateQtThreadTimer();
    FHeartbeat->SetOnTimer([this] { Node.Announce(DiscoveryPort); });
    FHeartbeat->SetInterval(200);
    FHeartbeat->SetEnabled(true);
  }
  void TearDown() override {
    FHeartbeat.reset();
    DeviceNodeModuleEnd();
  }

  std::string Port() const { return std::to_string(DiscoveryPort); }
  std::string NodeEndpoint() const { return "127.0.0.1:" + std::to_string(NodePort); }

  // Waits for the first datagram to reach the node and reads it.
  void ReadReceived(TReceivedMessage& out) {
    ASSERT_TRUE(ProcessEventsUntil([&] { return !Received.empty(); }, 5s)) << "nothing reached the node";
    ReadMessage(Received.front(), out);
  }

  int DiscoveryPort = 0;
  int NodePort = 0;
  TLocalDeviceNode Node;
  std::vector<std::string> Received;

 private:
  QUdpSocket FDiscovery;
  std::unique_ptr<platform::TThreadTimer> FHeartbeat;
};

TEST_F(CtlOnSockets, DiscoverFindsTheNode) {
  const TCtlResult r = RunCtl({"discover", "--json", "--port", Port(), "--timeout", "1500"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "{\"name\":\"" + Node.NodeName +
                       "\",\"group\":5,\"address\":\"127.0.0.1\",\"port\":" + std::to_string(NodePort) +
                       ",\"application\":\"Lumaren\",\"version\":\"1.0.4.0\",\"device\":\"Display\",\"online\":true}\n");
  EXPECT_EQ(r.Err, "");
}

TEST_F(CtlOnSockets, DiscoverTableForPeople) {
  const TCtlResult r = RunCtl({"discover", "--port", Port(), "--timeout", "1000"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out.rfind("NAME ", 0), 0u) << r.Out;
  EXPECT_NE(r.Out.find(Node.NodeName + "  5      " + NodeEndpoint() + "  Lumaren      1.0.4.0  yes\n"),
            std::string::npos)
      << r.Out;
}

TEST_F(CtlOnSockets, SendByNameDeliversDisplayData) {
  const TCtlResult r = RunCtl({"send", "--to", Node.NodeName, "--port", Port(), "Gate|B12\\nboarding|10:45", "Last",
                               "--style", "blink", "--fg", "FF0000", "--expiry", "4000"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "Sent display data to " + Node.NodeName + " at " + NodeEndpoint() + "\n");
  TReceivedMessage read;
  ReadReceived(read);
  ASSERT_EQ(read.Type, TMessageType::mtDisplayData);
  TDisplayLineList content;
  content.XMLRead(read.Payload("Display"));
  EXPECT_EQ(content.DisplayStyle, TDisplayStyle::dsBlink);
  EXPECT_EQ(content.ExpiryMilliSecs, 4000);
  EXPECT_EQ(content.FontColour, 0x0000FF);
  ASSERT_EQ(content.Count(), 2);
  EXPECT_EQ(content.Items(0).TextLeft, "Gate");
  EXPECT_EQ(content.Items(0).TextCentre, "B12\r\nboarding");
  EXPECT_EQ(content.Items(0).TextRight, "10:45");
  EXPECT_EQ(content.Items(1).TextCentre, "Last");
}

TEST_F(CtlOnSockets, SendByGroupWithJson) {
  const TCtlResult r = RunCtl({"ack", "--group", "5", "--port", Port(), "--timeout", "800", "--json"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(r.Out, "{\"command\":\"ack\",\"result\":\"sent\",\"name\":\"" + Node.NodeName +
                       "\",\"address\":\"127.0.0.1\",\"port\":" + std::to_string(NodePort) + "}\n");
  TReceivedMessage read;
  ReadReceived(read);
  EXPECT_EQ(read.Type, TMessageType::mtAcknowledge);
}

TEST_F(CtlOnSockets, AddressAndPortNeedNoDiscovery) {
  // A discovery port nobody announces to: the tool must not wait for it.
  const TCtlResult r = RunCtl({"set-name", "--to", NodeEndpoint(), "--port", "9", "Stage\\nleft"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  TReceivedMessage read;
  ReadReceived(read);
  EXPECT_EQ(read.Type, TMessageType::mtParamsSet);
  // Escapes are for lines of text only; a name is sent as typed.
  EXPECT_EQ(GetXMLAtt(read.Payload("Node"), "Name", "N/A"), "Stage\\nleft");
}

TEST_F(CtlOnSockets, UnknownNodeFails) {
  const TCtlResult r = RunCtl({"ack", "--to", "Nobody", "--port", Port(), "--timeout", "600"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(r.Err, "lumaren-ctl: no node named \"Nobody\" on port " + Port() + " within 600 ms\n");
  EXPECT_TRUE(Received.empty());
}

TEST_F(CtlOnSockets, ExitCodesOfTheCommandLine) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* out;  // start of stdout
    const char* err;  // start of stderr
  };
  const Case cases[] = {
      {{}, 2, "", "lumaren-ctl: no command given\nTry 'lumaren-ctl --help'"},
      {{"frobnicate"}, 2, "", "lumaren-ctl: unknown command \"frobnicate\""},
      {{"send", "--to", "x", "--style", "loud"}, 2, "", "lumaren-ctl: --style needs steady, blink or alternate"},
      {{"--help"}, 0, "Usage: lumaren-ctl [OPTIONS] COMMAND", ""},
      {{"--version"}, 0, "lumaren-ctl (Lumaren) 1.0.4.0\n", ""},
      {{"send", "--to", "127.0.0.1:9", std::string(9000, 'x')}, 2, "", "lumaren-ctl: the text is too long"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args[0]);
    const TCtlResult r = RunCtl(c.args);
    EXPECT_EQ(r.ExitCode, c.exitCode) << r.Err;
    EXPECT_EQ(r.Out.rfind(c.out, 0), 0u) << r.Out;
    EXPECT_EQ(r.Err.rfind(c.err, 0), 0u) << r.Err;
  }
}

TEST_F(CtlOnSockets, WatchPrintsTheNodeAndEndsCleanlyOnSIGTERM) {
  QProcess process;
  process.start(QString::fromStdString(CtlExecutable()), ToQt({"discover", "--watch", "--json", "--port", Port()}));
  ASSERT_TRUE(process.waitForStarted(10000));
  std::string out;
  const bool seen = ProcessEventsUntil(
      [&] {
        out += process.readAllStandardOutput().toStdString();
        return out.find("\"event\":\"new\",\"name\":\"" + Node.NodeName + "\"") != std::string::npos;
      },
      15s);
  process.terminate();
  const bool ended = ProcessEventsUntil([&] { return process.state() == QProcess::NotRunning; }, 15s);
  if (!ended) {
    process.kill();
    process.waitForFinished();
  }
  EXPECT_TRUE(seen) << out;
  ASSERT_TRUE(ended);
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

TEST_F(CtlOnSockets, TwoControllersShareTheDiscoveryPort) {
  // The test holds the port too; both tools must still see the node.
  QProcess first;
  QProcess second;
  const QStringList args = ToQt({"discover", "--json", "--port", Port(), "--timeout", "1500"});
  first.start(QString::fromStdString(CtlExecutable()), args);
  second.start(QString::fromStdString(CtlExecutable()), args);
  ASSERT_TRUE(first.waitForStarted(10000));
  ASSERT_TRUE(second.waitForStarted(10000));
  ASSERT_TRUE(ProcessEventsUntil(
      [&] { return first.state() == QProcess::NotRunning && second.state() == QProcess::NotRunning; }, 30s));
  for (QProcess* p : {&first, &second}) {
    EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    EXPECT_NE(p->readAllStandardOutput().toStdString().find("\"name\":\"" + Node.NodeName + "\""), std::string::npos);
  }
}

}  // namespace
}  // namespace lumaren
