// SIGTERM, SIGINT and SIGHUP close the program through its normal close, on
// the main thread; a second signal ends it at once.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/qt/SignalCloser.h"

namespace lumaren::platform {
namespace {

template <typename Pred>
bool WaitFor(Pred pred, int ms = 5000) {
  QDeadlineTimer deadline(ms);
  while (!pred() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return pred();
}

TEST(SignalCloser, SignalCallsTheCloseOnTheMainThread) {
  struct Case {
    int signal;
    const char* name;
  };
  const Case cases[] = {{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int closes = 0;
    bool onMainThread = false;
    TSignalCloser closer([&] {
      ++closes;
      onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    });
    ::raise(c.signal);  // the test process lives on: the handler took it
    EXPECT_EQ(closes, 0);  // never inside the signal handler
    ASSERT_TRUE(WaitFor([&] { return closes > 0; }));
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(onMainThread);
  }
}

TEST(SignalCloser, PreviousHandlersComeBack) {
  struct sigaction before {};
  sigaction(SIGTERM, nullptr, &before);
  {
    TSignalCloser closer([] {});
    struct sigaction during {};
    sigaction(SIGTERM, nullptr, &during);
    EXPECT_NE(during.sa_handler, before.sa_handler);
    EXPECT_THROW(TSignalCloser([] {}), std::logic_error);
  }
  struct sigaction after {};
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

// A second signal ends the process at once, whether or not the first was
// taken yet (a hung main thread never takes it). Run in a child, which never
// returns to its event loop.
TEST(SignalCloser, SecondSignalEndsTheProgram) {
  TSignalCloser closer([] {});
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::raise(SIGTERM);
    ::raise(SIGTERM);
    _exit(0);  // reached only if the second signal was swallowed
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
}

}  // namespace
}  // namespace lumaren::platform
