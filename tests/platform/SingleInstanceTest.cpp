// The single-instance guard: one listener per user and product, hand-over of
// a later start's command line, and recovery from a crashed run's socket.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QWidget>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/SingleInstance.h"
#include "platform/qt/BringToFront.h"
#include "support/TTempDir.h"

namespace lumaren::platform {
namespace {

using TCmdLine = std::vector<std::string>;

// Runs the event loop until pred holds or the deadline passes.
template <typename Pred>
bool WaitFor(Pred pred, int ms = 5000) {
  QDeadlineTimer deadline(ms);
  while (!pred() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return pred();
}

class SingleInstance : public ::testing::Test {
 protected:
  std::unique_ptr<TSingleInstance> Start(const TCmdLine& commandLine, TCmdLineReceived handler = {}) {
    return NewSingleInstance("Tivora", "Lumaren", commandLine, std::move(handler), FDir.Path().string());
  }
  std::string SocketPath() const { return SingleInstanceSocketPath(FDir.Path().string(), "Tivora", "Lumaren"); }

  test::TTempDir FDir;
};

TEST_F(SingleInstance, FirstListensAndLaterStartHandsOverItsCommandLine) {
  std::vector<TCmdLine> received;
  bool onMainThread = false;
  auto first = Start({"lumaren"}, [&](const TCmdLine& commandLine) {
    onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    received.push_back(commandLine);
  });
  ASSERT_TRUE(first->IsFirstInstance());
  EXPECT_TRUE(std::filesystem::exists(SocketPath()));

  // Arguments with spaces, non-ASCII text and an empty one arrive unchanged.
  const TCmdLine secondLine = {"/usr/bin/lumaren", "--x", "two words", "", "Gr\xC3\xBC\xC3\x9F" "e"};
  auto second = Start(secondLine);
  EXPECT_FALSE(second->IsFirstInstance());
  ASSERT_TRUE(WaitFor([&] { return !received.empty(); }));
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0], secondLine);
  EXPECT_TRUE(onMainThread);

  // A third start meets the same first instance; the second one never listened.
  second.reset();
  auto third = Start({"lumaren", "3"});
  EXPECT_FALSE(third->IsFirstInstance());
  ASSERT_TRUE(WaitFor([&] { return received.size() == 2; }));
  EXPECT_EQ(received[1], (TCmdLine{"lumaren", "3"}));
}

TEST_F(SingleInstance, HandlerSetLaterReceivesLaterStarts) {
  auto first = Start({"lumaren"});
  ASSERT_TRUE(first->IsFirstInstance());
  std::vector<TCmdLine> received;
  first->SetOnCmdLineReceived([&](const TCmdLine& commandLine) { received.push_back(commandLine); });
  auto second = Start({"lumaren", "again"});
  EXPECT_FALSE(second->IsFirstInstance());
  ASSERT_TRUE(WaitFor([&] { return !received.empty(); }));
  EXPECT_EQ(received[0], (TCmdLine{"lumaren", "again"}));
}

TEST_F(SingleInstance, StaleSocketOfACrashedRunDoesNotBlock) {
  // A socket file nobody listens on any more, as a killed run leaves it:
  // bound and listened on, then closed without removing the file.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(SocketPath().size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, SocketPath().c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(fd, 1), 0);
  ::close(fd);
  ASSERT_TRUE(std::filesystem::exists(SocketPath()));
  auto first = Start({"lumaren"});
  EXPECT_TRUE(first->IsFirstInstance());
  auto second = Start({"lumaren"});
  EXPECT_FALSE(second->IsFirstInstance());
}

TEST_F(SingleInstance, StrayPlainFileAtTheSocketPathDoesNotBlock) {
  std::ofstream(SocketPath()) << "not a socket";
  auto first = Start({"lumaren"});
  EXPECT_TRUE(first->IsFirstInstance());
  auto second = Start({"lumaren"});
  EXPECT_FALSE(second->IsFirstInstance());
}

TEST_F(SingleInstance, AfterTheFirstEndsTheNextStartIsFirst) {
  auto first = Start({"lumaren"});
  ASSERT_TRUE(first->IsFirstInstance());
  first.reset();
  EXPECT_FALSE(std::filesystem::exists(SocketPath()));
  auto next = Start({"lumaren"});
  EXPECT_TRUE(next->IsFirstInstance());
  auto later = Start({"lumaren"});
  EXPECT_FALSE(later->IsFirstInstance());
}

TEST_F(SingleInstance, ProductsAndFoldersDoNotMeet) {
  auto lumaren = Start({"lumaren"});
  ASSERT_TRUE(lumaren->IsFirstInstance());
  auto other = NewSingleInstance("Tivora", "Other Product", {"other"}, {}, FDir.Path().string());
  EXPECT_TRUE(other->IsFirstInstance());
  test::TTempDir elsewhere;
  auto otherFolder = NewSingleInstance("Tivora", "Lumaren", {"lumaren"}, {}, elsewhere.Path().string());
  EXPECT_TRUE(otherFolder->IsFirstInstance());
}

TEST(SingleInstanceSocketPath, NamesAreSafeAndPerUser) {
  const std::string path = SingleInstanceSocketPath("/run/user/1000", "Tivora", "Lumaren Pro/2");
  EXPECT_EQ(path, "/run/user/1000/Tivora-Lumaren_Pro_2-" + std::to_string(getuid()) + ".socket");
}

TEST(BringToFront, RestoresAMinimisedWindowToItsFormerState) {
  struct Case {
    Qt::WindowState before;
    const char* why;
  };
  const Case cases[] = {{Qt::WindowNoState, "a normal window comes back normal"},
                        {Qt::WindowMaximized, "a maximised window comes back maximised"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.resize(300, 200);
    window.setWindowState(c.before);
    window.show();
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    BringToFront(&window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.isMaximized(), c.before == Qt::WindowMaximized);
  }
}

TEST(BringToFront, LeavesAVisibleWindowsStateAlone) {
  QWidget window(nullptr, Qt::FramelessWindowHint);
  window.resize(300, 200);
  window.showMaximized();
  BringToFront(&window);
  EXPECT_TRUE(window.isMaximized());
  EXPECT_TRUE(window.isVisible());
  BringToFront(nullptr);  // no window yet: nothing happens
}

}  // namespace
}  // namespace lumaren::platform
