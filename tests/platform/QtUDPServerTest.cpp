// The Qt UDP server on real sockets inside the test network namespace, where
// 255.255.255.255 is routed to loopback. Servers bind port 0 and tests wait
// for datagrams with a deadline.

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/qt/QtUDPServer.h"
#include "support/qt/TEventWait.h"

namespace lumaren::platform {
namespace {

using test::ProcessEventsUntil;

const std::string CON_Localhost = "127.0.0.1";

// A server that keeps what it receives.
struct TListener {
  TListener() : Server(CreateQtUDPServer()) {
    Server->SetOnRead([this](const TUDPDatagram& d) { Received.push_back(d); });
  }
  // Starts on all local addresses at a port the system chooses.
  int Start() {
    Server->SetActive(true);
    return Server->CurrentPort();
  }
  bool WaitFor(std::size_t count) {
    return ProcessEventsUntil([&] { return Received.size() >= count; });
  }
  std::unique_ptr<TUDPServer> Server;
  std::vector<TUDPDatagram> Received;
};

int OpenFileCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

TEST(QtUDPServer, StartsStoppedWithoutBindings) {
  const auto server = CreateQtUDPServer();
  EXPECT_FALSE(server->Active());
  EXPECT_EQ(server->BindingCount(), 0);
  EXPECT_EQ(server->DefaultPort(), 0);
  EXPECT_EQ(server->CurrentPort(), 0);
  EXPECT_FALSE(server->ReuseAddress());
}

TEST(QtUDPServer, DeliversDatagramWithSenderAddressAndPort) {
  TListener receiver;
  const int port = receiver.Start();
  ASSERT_GT(port, 0);
  TListener sender;
  const int senderPort = sender.Start();

  sender.Server->Send("hello \xC3\xA9", CON_Localhost, port);
  ASSERT_TRUE(receiver.WaitFor(1));
  EXPECT_EQ(receiver.Received[0].Data, "hello \xC3\xA9");
  EXPECT_EQ(receiver.Received[0].PeerIP, CON_Localhost);
  EXPECT_EQ(receiver.Received[0].PeerPort, senderPort);
}

TEST(QtUDPServer, OnlyDatagramsUpTo8192BytesArrive) {
  struct Case {
    std::size_t Size;
    bool Arrives;
  };
  const Case cases[] = {
      {0, true},  // an empty datagram reaches the handler as zero bytes
      {1, true},
      {8192, true},
      {8193, false},  // whatever its first 8192 bytes hold
      {65507, false},  // the largest IPv4 datagram
  };
  TListener receiver;
  const int port = receiver.Start();
  TListener sender;
  sender.Start();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Size);
    receiver.Received.clear();
    // The filler is a whole message in itself, so a truncating reader would
    // pass it on as if it were the datagram.
    const std::string payload = std::string(c.Size, 'x');
    sender.Server->Send(payload, CON_Localhost, port);
    sender.Server->Send("end", CON_Localhost, port);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !receiver.Received.empty() && receiver.Received.back().Data == "end"; }));
    ASSERT_EQ(receiver.Received.size(), c.Arrives ? 2u : 1u);
    if (c.Arrives) {
      EXPECT_EQ(receiver.Received[0].Data, payload);
    }
  }
}

TEST(QtUDPServer, ReceptionGoesOnAfterSendingToAClosedPort) {
  int closedPort = 0;
  {
    QUdpSocket probe;
    ASSERT_TRUE(probe.bind(QHostAddress::LocalHost, 0));
    closedPort = probe.localPort();
  }
  TListener server;
  const int port = server.Start();
  TListener other;
  other.Start();
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    // The port-unreachable answer may surface on the server's socket.
    EXPECT_NO_THROW(server.Server->Send("nobody", CON_Localhost, closedPort));
    other.Server->Send("still here", CON_Localhost, port);
    ASSERT_TRUE(server.WaitFor(static_cast<std::size_t>(round) + 1));
    EXPECT_EQ(server.Received.back().Data, "still here");
  }
}

TEST(QtUDPServer, StopAndStartKeepTheChosenPort) {
  TListener receiver;
  const int port = receiver.Start();
  ASSERT_EQ(receiver.Server->BindingCount(), 1);
  EXPECT_EQ(receiver.Server->Binding(0).Port, port);
  receiver.Server->SetActive(false);
  EXPECT_FALSE(receiver.Server->Active());
  EXPECT_EQ(receiver.Server->CurrentPort(), port);
  // A new default port does not matter once the server has its binding.
  receiver.Server->SetDefaultPort(1);
  receiver.Server->SetActive(true);
  EXPECT_EQ(receiver.Server->CurrentPort(), port);
  EXPECT_EQ(receiver.Server->BindingCount(), 1);

  TListener sender;
  sender.Start();
  sender.Server->Send("again", CON_Localhost, port);
  ASSERT_TRUE(receiver.WaitFor(1));
  EXPECT_EQ(receiver.Received[0].Data, "again");
}

TEST(QtUDPServer, ExplicitBindingAtPortZeroRemembersItsPort) {
  TListener receiver;
  receiver.Server->AddBinding(CON_Localhost, 0);
  const int port = receiver.Start();
  ASSERT_GT(port, 0);
  EXPECT_EQ(receiver.Server->Binding(0).IP, CON_Localhost);
  receiver.Server->SetActive(false);
  receiver.Server->SetActive(true);
  EXPECT_EQ(receiver.Server->CurrentPort(), port);
}

TEST(QtUDPServer, BroadcastReachesADefaultPortServerFromTheListeningPort) {
  TListener receiver;
  const int port = receiver.Start();
  TListener sender;
  const int senderPort = sender.Start();
  sender.Server->Broadcast("anyone?", port);
  ASSERT_TRUE(receiver.WaitFor(1));
  EXPECT_EQ(receiver.Received[0].Data, "anyone?");
  EXPECT_EQ(receiver.Received[0].PeerPort, senderPort);
}

TEST(QtUDPServer, StartFailsWhenThePortIsTaken) {
  QUdpSocket holder;
  ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
  const auto server = CreateQtUDPServer();
  server->SetDefaultPort(holder.localPort());
  EXPECT_THROW(server->SetActive(true), EUDPServerError);
  EXPECT_FALSE(server->Active());
  // The failed start keeps no binding, so the next one may use another port.
  EXPECT_EQ(server->BindingCount(), 0);
  server->SetDefaultPort(0);
  server->SetActive(true);
  EXPECT_NE(server->CurrentPort(), static_cast<int>(holder.localPort()));
}

TEST(QtUDPServer, TwoServersCannotShareAPortUnlessBothAllowIt) {
  TListener first;
  const int port = first.Start();
  const auto second = CreateQtUDPServer();
  second->SetDefaultPort(port);
  EXPECT_THROW(second->SetActive(true), EUDPServerError);
}

TEST(QtUDPServer, ReuseAddressLetsTwoServersShareAPort) {
  TListener first;
  first.Server->SetReuseAddress(true);
  const int port = first.Start();
  TListener second;
  second.Server->SetReuseAddress(true);
  second.Server->SetDefaultPort(port);
  ASSERT_NO_THROW(second.Start());
  EXPECT_EQ(second.Server->CurrentPort(), port);

  TListener sender;
  sender.Start();
  sender.Server->Broadcast("both", port);
  ASSERT_TRUE(ProcessEventsUntil([&] { return !first.Received.empty() && !second.Received.empty(); }));
  EXPECT_EQ(first.Received[0].Data, "both");
  EXPECT_EQ(second.Received[0].Data, "both");
}

TEST(QtUDPServer, FailedStartOpensNothing) {
  QUdpSocket holder;
  ASSERT_TRUE(holder.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
  const auto server = CreateQtUDPServer();
  server->AddBinding(CON_Localhost, 0);
  server->AddBinding(CON_Localhost, holder.localPort());
  const int before = OpenFileCount();
  EXPECT_THROW(server->SetActive(true), EUDPServerError);
  EXPECT_FALSE(server->Active());
  EXPECT_EQ(OpenFileCount(), before);
  EXPECT_EQ(server->Binding(0).Port, 0);
}

TEST(QtUDPServer, RepeatedStopAndStartLeaksNoSocket) {
  TListener server;
  server.Start();
  server.Server->SetActive(false);
  const int before = OpenFileCount();
  for (int i = 0; i < 200; ++i) {
    server.Server->SetActive(true);
    server.Server->SetActive(false);
  }
  EXPECT_EQ(OpenFileCount(), before);
}

TEST(QtUDPServer, RejectsPortsOutsideTheRange) {
  TListener server;
  server.Start();
  for (const int port : {-1, 65536, 70000}) {
    SCOPED_TRACE(port);
    EXPECT_THROW(server.Server->Send("x", CON_Localhost, port), std::range_error);
    EXPECT_THROW(server.Server->Broadcast("x", port), std::range_error);
    EXPECT_THROW(server.Server->SetDefaultPort(port), std::range_error);
  }
  server.Server->SetActive(false);
  EXPECT_THROW(server.Server->AddBinding(CON_Localhost, 65536), std::range_error);
  EXPECT_EQ(server.Server->BindingCount(), 1);
}

TEST(QtUDPServer, RefusesWhatItCannotDo) {
  const auto server = CreateQtUDPServer();
  EXPECT_THROW(server->Send("x", CON_Localhost, 1965), EUDPServerError);  // not active
  EXPECT_THROW(server->Broadcast("x", 1965), EUDPServerError);
  EXPECT_THROW(server->AddBinding("not an address", 0), EUDPServerError);
  EXPECT_THROW(server->AddBinding("::1", 0), EUDPServerError);  // IPv4 only
  EXPECT_THROW(server->Binding(0), std::out_of_range);
  server->SetActive(true);
  EXPECT_THROW(server->Send("x", "nowhere", 1965), EUDPServerError);
  EXPECT_THROW(server->AddBinding(CON_Localhost, 0), EUDPServerError);  // while active
  EXPECT_THROW(server->ClearBindings(), EUDPServerError);
  // Larger than any IPv4 datagram: the socket refuses it.
  EXPECT_THROW(server->Send(std::string(70000, 'x'), CON_Localhost, server->CurrentPort()), EUDPServerError);
}

TEST(QtUDPServer, HandlerExceptionIsDroppedAndReceptionGoesOn) {
  TListener receiver;
  receiver.Server->SetOnRead([&](const TUDPDatagram& d) {
    receiver.Received.push_back(d);
    if (d.Data == "bad") throw std::runtime_error("cannot read");
  });
  const int port = receiver.Start();
  TListener sender;
  sender.Start();
  sender.Server->Send("bad", CON_Localhost, port);
  sender.Server->Send("good", CON_Localhost, port);
  ASSERT_TRUE(receiver.WaitFor(2));
  EXPECT_EQ(receiver.Received[1].Data, "good");
}

TEST(QtUDPServer, HandlerCanRestartTheServerOnAnotherPort) {
  TListener receiver;
  int restartedPort = 0;
  receiver.Server->SetOnRead([&](const TUDPDatagram& d) {
    receiver.Received.push_back(d);
    if (d.Data == "move") {
      receiver.Server->SetActive(false);
      receiver.Server->ClearBindings();
      receiver.Server->SetDefaultPort(0);
      receiver.Server->SetActive(true);
      restartedPort = receiver.Server->CurrentPort();
    }
  });
  const int port = receiver.Start();
  TListener sender;
  sender.Start();
  // Both are queued before the first is read: the second is lost with the
  // old socket, the reader must not touch that socket again.
  sender.Server->Send("move", CON_Localhost, port);
  sender.Server->Send("lost", CON_Localhost, port);
  ASSERT_TRUE(receiver.WaitFor(1));
  ASSERT_GT(restartedPort, 0);
  sender.Server->Send("moved", CON_Localhost, restartedPort);
  ASSERT_TRUE(ProcessEventsUntil([&] { return receiver.Received.back().Data == "moved"; }));
  EXPECT_EQ(receiver.Received.front().Data, "move");
}

TEST(QtUDPServer, HandlerCanDestroyTheServer) {
  auto doomed = CreateQtUDPServer();
  int calls = 0;
  doomed->SetOnRead([&](const TUDPDatagram&) {
    ++calls;
    doomed.reset();
  });
  doomed->SetActive(true);
  const int port = doomed->CurrentPort();
  TListener sender;
  sender.Start();
  for (int i = 0; i < 3; ++i) sender.Server->Send("bye", CON_Localhost, port);
  ASSERT_TRUE(ProcessEventsUntil([&] { return doomed == nullptr; }));
  // Let the event loop finish with the socket the server left behind.
  TListener probe;
  const int probePort = probe.Start();
  sender.Server->Send("after", CON_Localhost, probePort);
  ASSERT_TRUE(probe.WaitFor(1));
  EXPECT_EQ(calls, 1);
}

TEST(QtUDPServer, ReadEventCanBeReplacedFromInsideIt) {
  TListener receiver;
  std::vector<std::string> second;
  receiver.Server->SetOnRead([&](const TUDPDatagram& d) {
    receiver.Received.push_back(d);
    receiver.Server->SetOnRead([&](const TUDPDatagram& next) { second.push_back(next.Data); });
  });
  const int port = receiver.Start();
  TListener sender;
  sender.Start();
  sender.Server->Send("one", CON_Localhost, port);
  sender.Server->Send("two", CON_Localhost, port);
  ASSERT_TRUE(ProcessEventsUntil([&] { return !second.empty(); }));
  EXPECT_EQ(receiver.Received.size(), 1u);
  EXPECT_EQ(second[0], "two");
}

bool ReceiveBufferCanBeEnlarged() {
  if (geteuid() == 0) return true;
  std::ifstream limit("/proc/sys/net/core/rmem_max");
  long value = 0;
  limit >> value;
  return value >= CON_UDPReceiveBufferSize;
}

// A burst that arrives while the main thread is busy waits in the socket's
// receive queue; the default queue of about 200 KiB would hold only a
// hundred or so of these.
TEST(QtUDPServer, BurstWhileBusyIsKept) {
  if (!ReceiveBufferCanBeEnlarged()) GTEST_SKIP() << "net.core.rmem_max is below the server's receive buffer";
  TListener receiver;
  const int port = receiver.Start();
  TListener sender;
  sender.Start();
  const std::size_t count = 1500;
  const std::string payload(1000, 'b');
  for (std::size_t i = 0; i < count; ++i) sender.Server->Send(payload, CON_Localhost, port);
  ASSERT_TRUE(receiver.WaitFor(count));
  EXPECT_EQ(receiver.Received.size(), count);
}

// A handler slower than the datagrams arrive must not keep the event loop
// until the queue is empty: a timer that falls due meanwhile (the heartbeat,
// the flash) gets its turn between rounds of reading.
TEST(QtUDPServer, SlowHandlerLetsTimersRunWhileDatagramsWait) {
  TListener receiver;
  receiver.Server->SetOnRead([&](const TUDPDatagram& d) {
    receiver.Received.push_back(d);
    ::usleep(1000);
  });
  const int port = receiver.Start();
  TListener sender;
  sender.Start();
  // Few enough for the default receive queue; all waiting before the first is read.
  const std::size_t count = 200;
  for (std::size_t i = 0; i < count; ++i) sender.Server->Send("tick", CON_Localhost, port);
  std::optional<std::size_t> handledWhenDue;
  QTimer::singleShot(5, [&] { handledWhenDue = receiver.Received.size(); });
  ASSERT_TRUE(receiver.WaitFor(count));
  ASSERT_TRUE(ProcessEventsUntil([&] { return handledWhenDue.has_value(); }));
  EXPECT_LT(*handledWhenDue, count) << "the timer waited for the whole queue";
}

TEST(QtUDPServer, AFloodLetsTheEventLoopTurnAndIsDeliveredWhole) {
  TListener receiver;
  const int port = receiver.Start();
  // A slow handler: the queued datagrams take far longer than one round.
  std::size_t handledWhenTheLoopTurned = 0;
  bool posted = false;
  receiver.Server->SetOnRead([&](const TUDPDatagram& d) {
    if (!posted) {
      posted = true;
      QTimer::singleShot(0, [&] { handledWhenTheLoopTurned = receiver.Received.size(); });
    }
    receiver.Received.push_back(d);
    usleep(1000);
  });
  TListener sender;
  sender.Start();
  const std::size_t count = 40;
  for (std::size_t i = 0; i < count; ++i) sender.Server->Send(std::to_string(i), CON_Localhost, port);
  ASSERT_TRUE(receiver.WaitFor(count));
  EXPECT_GT(handledWhenTheLoopTurned, 0u);
  EXPECT_LT(handledWhenTheLoopTurned, count) << "the event loop waited for the whole flood";
  ASSERT_EQ(receiver.Received.size(), count);
  for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(receiver.Received[i].Data, std::to_string(i)) << "in order";
}

}  // namespace
}  // namespace lumaren::platform
