// SIGTERM, SIGINT and SIGHUP close the program through its normal close, on
// the main thread; a second signal while the first is pending ends it.

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
    // Handled: a later signal is a new request, not the forced end.
    ::raise(c.signal);
    ASSERT_TRUE(WaitFor([&] { return closes == 2; }));
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

// A hung main thread: the first SIGTERM is never taken, the second ends the
// process. Run in a child, which never returns to its event loop.
TEST(SignalCloser, SecondSignalWhilePendingEndsTheProgram) {
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
