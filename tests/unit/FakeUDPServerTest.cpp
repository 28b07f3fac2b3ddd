// The fake UDP server keeps the binding rules that callers see on the real
// one; other modules' tests rely on them.

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TFakeUDPServer.h"

namespace lumaren::test {
namespace {

using platform::EUDPServerError;
using platform::TUDPDatagram;

TEST(FakeUDPServer, DefaultPortBindingIsMadeOnceAndKept) {
  TFakeUDPServer server;
  server.SetDefaultPort(0);
  server.SetActive(true);
  ASSERT_EQ(server.BindingCount(), 1);
  const int chosen = server.CurrentPort();
  EXPECT_GT(chosen, 0);
  EXPECT_EQ(server.Binding(0).IP, "");
  server.SetActive(false);
  server.SetDefaultPort(1965);
  server.SetActive(true);
  EXPECT_EQ(server.CurrentPort(), chosen);
  EXPECT_EQ(server.StartCount, 2);
  EXPECT_EQ(server.StopCount, 1);
}

TEST(FakeUDPServer, PortInUseFailsTheStartAndKeepsNoBinding) {
  TFakeUDPServer server;
  server.PortsInUse.insert(1965);
  server.SetDefaultPort(1965);
  EXPECT_THROW(server.SetActive(true), EUDPServerError);
  EXPECT_FALSE(server.Active());
  EXPECT_EQ(server.BindingCount(), 0);
}

TEST(FakeUDPServer, FailNextFailsOnceAndRecordsNothing) {
  TFakeUDPServer server;
  server.FailNextStart();
  EXPECT_THROW(server.SetActive(true), EUDPServerError);
  server.SetActive(true);
  server.FailNextBroadcast();
  EXPECT_THROW(server.Broadcast("a", 1965), EUDPServerError);
  server.Broadcast("b", 1965);
  server.FailNextSend();
  EXPECT_THROW(server.Send("c", "10.0.0.1", 1), EUDPServerError);
  server.Send("d", "10.0.0.1", 1);
  ASSERT_EQ(server.Broadcasts.size(), 1u);
  EXPECT_EQ(server.Broadcasts[0].Text, "b");
  ASSERT_EQ(server.Sent.size(), 1u);
  EXPECT_EQ(server.Sent[0].Text, "d");
}

TEST(FakeUDPServer, RefusesLikeTheRealServer) {
  TFakeUDPServer server;
  EXPECT_THROW(server.Broadcast("x", 1965), EUDPServerError);  // not active
  EXPECT_THROW(server.SetDefaultPort(65536), std::range_error);
  EXPECT_THROW(server.AddBinding("10.0.0.1", -1), std::range_error);
  EXPECT_THROW(server.AddBinding("ten", 0), EUDPServerError);
  server.SetActive(true);
  EXPECT_THROW(server.Broadcast("x", 70000), std::range_error);
  EXPECT_THROW(server.ClearBindings(), EUDPServerError);
}

TEST(FakeUDPServer, ReceiveDeliversOnlyWhatTheRealServerWould) {
  auto server = std::make_unique<TFakeUDPServer>();
  std::vector<TUDPDatagram> received;
  server->SetOnRead([&](const TUDPDatagram& d) { received.push_back(d); });
  EXPECT_FALSE(server->Receive("stopped"));
  server->SetActive(true);
  EXPECT_TRUE(server->Receive("", "10.0.0.9", 4000));
  EXPECT_FALSE(server->Receive(std::string(8193, 'x')));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].PeerIP, "10.0.0.9");
  EXPECT_EQ(received[0].PeerPort, 4000);

  server->SetOnRead([&](const TUDPDatagram&) {
    server.reset();
    throw std::runtime_error("dropped");
  });
  EXPECT_TRUE(server->Receive("last"));
  EXPECT_EQ(server, nullptr);
}

}  // namespace
}  // namespace lumaren::test
