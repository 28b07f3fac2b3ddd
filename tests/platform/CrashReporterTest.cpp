// The crash reporter: reports of exceptions that escape event handlers and
// of fatal signals, the report file's size limit, and the dialog's choices.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/CrashReporter.h"
#include "platform/linux/CrashReport.h"
#include "support/TTempDir.h"

namespace lumaren::platform {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t CountReports(const std::string& content) {
  std::size_t count = 0;
  const std::string line = std::string(CON_BugReportSeparator) + "\n";
  for (std::size_t pos = content.find(line); pos != std::string::npos; pos = content.find(line, pos + 1)) {
    if (pos == 0 || content[pos - 1] == '\n') ++count;
  }
  return count;
}

template <typename Pred>
bool WaitFor(Pred pred, int ms = 10000) {
  QDeadlineTimer deadline(ms);
  while (!pred() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return pred();
}

// Sets an environment variable for one test.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old;
    setenv(name, value, 1);
  }
  ~TScopedEnv() {
    if (FOld) setenv(FName, FOld->c_str(), 1);
    else unsetenv(FName);
  }

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

TCrashReport SampleReport(const std::string& text) {
  TCrashReport report;
  report.Time = "2026-03-04 05:06:07.089";
  report.ProgramName = "Lumaren";
  report.ProgramVersion = "9.8.7.6";
  report.ExecutablePath = "/usr/bin/lumaren";
  report.ProcessId = 4242;
  report.ExceptionType = "std::runtime_error";
  report.ExceptionText = text;
  report.Where = "QEvent::Timer to QTimer \"tmrFlash\"";
  report.StackTrace = {"#0  a", "#1  b"};
  report.LastLogLines = "line one\nline two\n";
  return report;
}

TEST(CrashReport, FormatKeepsEveryFieldOnItsLine) {
  const std::string text = FormatCrashReport(SampleReport("bad\nthings"));
  EXPECT_EQ(text.rfind(std::string(CON_BugReportSeparator) + "\n", 0), 0u);
  for (const char* expected :
       {"date/time       : 2026-03-04 05:06:07.089\n", "program         : Lumaren 9.8.7.6\n",
        "exception       : std::runtime_error\n", "message         : bad\n                  things\n",
        "where           : QEvent::Timer to QTimer \"tmrFlash\"\n", "stack trace:\n  #0  a\n  #1  b\n",
        "last log lines:\n  line one\n  line two\n"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
  EXPECT_EQ(CountReports(text), 1u);
  // A message or log line that looks like a separator does not start a report.
  TCrashReport tricky = SampleReport(std::string("x\n") + CON_BugReportSeparator);
  tricky.LastLogLines = std::string(CON_BugReportSeparator) + "\n";
  EXPECT_EQ(CountReports(FormatCrashReport(tricky)), 1u);
}

TEST(CrashReport, OneReportStaysSmall) {
  TCrashReport huge = SampleReport(std::string(200000, 'x'));
  huge.LastLogLines.clear();
  for (int i = 0; i < 20000; ++i) huge.LastLogLines += "log line " + std::to_string(i) + "\n";
  const std::string text = FormatCrashReport(huge);
  EXPECT_LT(text.size(), CON_MaxBugReportBytes / 2);
  EXPECT_NE(text.find("log line 19999\n"), std::string::npos);  // the newest log lines stay
}

TEST(CrashReport, TrimDropsTheOldestWholeReports) {
  const std::string sep = std::string(CON_BugReportSeparator) + "\n";
  const std::string a = sep + "report A\n\n";
  const std::string b = sep + "report B\n\n";
  const std::string c = sep + "report C\n\n";
  struct Case {
    std::string content;
    std::size_t max;
    std::string expected;
    const char* why;
  };
  const Case cases[] = {
      {a + b + c, 1000, a + b + c, "fits: unchanged"},
      {a + b + c, b.size() + c.size(), b + c, "exactly two fit"},
      {a + b + c, b.size() + c.size() - 1, c, "one byte short of two"},
      {"garbage before\n" + b + c, b.size() + c.size(), b + c, "text before the first report goes first"},
      {a + b + c, 10, c.substr(0, 10), "the newest alone too large keeps its beginning"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.why);
    EXPECT_EQ(TrimBugReports(k.content, k.max), k.expected);
  }
}

TEST(CrashReport, FileStaysBelowTheLimitAndKeepsTheNewestReports) {
  test::TTempDir dir;
  const std::string file = (dir / "bugreport.txt").string();
  std::vector<std::string> reports;
  for (int i = 0; i < 60; ++i) {
    reports.push_back(FormatCrashReport(SampleReport("failure number " + std::to_string(i) + " " +
                                                     std::string(3000, 'y'))));
    AppendBugReport(file, reports.back());
  }
  const std::string content = ReadFile(file);
  EXPECT_LE(content.size(), CON_MaxBugReportBytes);
  EXPECT_GT(content.size(), CON_MaxBugReportBytes - reports.back().size());
  // The file is the newest reports, whole, in order.
  std::string newest;
  for (auto it = reports.rbegin(); it != reports.rend() && newest.size() + it->size() <= CON_MaxBugReportBytes; ++it)
    newest = *it + newest;
  EXPECT_EQ(content, newest);
  EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
}

TEST(CrashReport, ReadFileTail) {
  test::TTempDir dir;
  const auto file = dir / "session.log";
  std::ofstream(file) << "one\ntwo\nthree\nfour\n";
  struct Case {
    std::size_t lines, bytes;
    const char* expected;
  };
  const Case cases[] = {
      {2, 1000, "three\nfour\n"}, {10, 1000, "one\ntwo\nthree\nfour\n"},
      {10, 8, "four\n"},          // "e\nfour\n" starts inside "three": dropped
      {1, 1000, "four\n"},        {0, 1000, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(ReadFileTail(file.string(), c.lines, c.bytes), c.expected);
  }
  std::ofstream(file) << "no newline at the end\nlast";
  EXPECT_EQ(ReadFileTail(file.string(), 1, 1000), "last");
  EXPECT_EQ(ReadFileTail((dir / "missing.log").string(), 5, 1000), "");
}

TEST(CrashReport, Demangle) {
  EXPECT_EQ(DemangleStackFrame("/usr/bin/lumaren(_ZN7lumaren7TfmMain13tmrFlashTimerEv+0x1c) [0x55d0]"),
            "/usr/bin/lumaren(lumaren::TfmMain::tmrFlashTimer()+0x1c) [0x55d0]");
  EXPECT_EQ(DemangleStackFrame("/lib/libc.so.6(__libc_start_main+0x80) [0x7f00]"),
            "/lib/libc.so.6(__libc_start_main+0x80) [0x7f00]");
  EXPECT_EQ(DemangleStackFrame("./lumaren(+0x1234) [0x1234]"), "./lumaren(+0x1234) [0x1234]");
  EXPECT_EQ(DemangleTypeName(typeid(std::out_of_range).name()), "std::out_of_range");
}

TEST(CrashReport, StackTraceHasFrames) {
  const std::vector<std::string> trace = CurrentStackTrace();
  ASSERT_GE(trace.size(), 2u);
  EXPECT_EQ(trace[0].rfind("#0 ", 0), 0u);
}

TEST(CrashReport, MailtoUrl) {
  const std::string url = MailtoUrl("support@tivora.example", "Lumaren 1.0 bug report", "a b&c=d\n\xC3\xA4", 1000, "");
  EXPECT_EQ(url, "mailto:support@tivora.example?subject=Lumaren%201.0%20bug%20report&body=a%20b%26c%3Dd%0A%C3%A4");

  // Too long: cut at a character boundary, the note at the end, within the limit.
  const std::string body = std::string(100, 'x') + "\xC3\xA4\xC3\xA4\xC3\xA4" + std::string(5000, 'z');
  for (std::size_t max : {200u, 209u, 210u, 211u, 212u, 300u}) {
    SCOPED_TRACE(max);
    const std::string cut = MailtoUrl("s@t.example", "s", body, max, "[cut]");
    EXPECT_LE(cut.size(), max);
    EXPECT_EQ(cut.substr(cut.size() - 9), "%5Bcut%5D");
    const QByteArray decoded = QByteArray::fromPercentEncoding(QByteArray::fromStdString(cut));
    EXPECT_TRUE(QString::fromUtf8(decoded).toUtf8() == decoded) << "a UTF-8 sequence was split";
  }
}

TEST(CrashReport, RestartWaitsForThePredecessorToEnd) {
  test::TTempDir dir;
  const std::string marker = (dir / "restarted").string();
  // The predecessor: a process that ends a moment later.
  QProcess predecessor;
  predecessor.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("read line")});
  ASSERT_TRUE(predecessor.waitForStarted());
  // The "program" writes its arguments and whether the predecessor was gone.
  const std::string program = (dir / "program.sh").string();
  std::ofstream(program) << "#!/bin/sh\nif kill -0 " << predecessor.processId()
                         << " 2>/dev/null; then echo early; else echo after; fi > '" << marker
                         << "'\nprintf '%s|' \"$@\" >> '" << marker << "'\n";
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);
  const std::vector<std::string> commandLine =
      RestartCommandLine(static_cast<long>(predecessor.processId()), program, {"a b", "$HOME", "'q'"});
  QStringList arguments;
  for (std::size_t i = 1; i < commandLine.size(); ++i) arguments << QString::fromStdString(commandLine[i]);
  QProcess launcher;
  launcher.start(QString::fromStdString(commandLine[0]), arguments);
  ASSERT_TRUE(launcher.waitForStarted());
  EXPECT_FALSE(launcher.waitForFinished(300));  // still waiting for the predecessor
  EXPECT_FALSE(std::filesystem::exists(marker));
  predecessor.closeWriteChannel();  // "read" ends: the predecessor ends
  ASSERT_TRUE(predecessor.waitForFinished(5000));
  ASSERT_TRUE(launcher.waitForFinished(10000));
  EXPECT_EQ(ReadFile(marker), "after\na b|$HOME|'q'|");
}

// Exceptions thrown on the event loop, with the reporter started on a
// temporary folder.
class CrashReporter : public ::testing::Test {
 protected:
  void SetUp() override { Start({}); }
  void TearDown() override { CrashReporterModuleEnd(); }

  void Start(std::function<void()> closeProgram) {
    TCrashReporterSettings settings;
    settings.ProgramName = "Lumaren";
    settings.ProgramVersion = "9.8.7.6";
    settings.ReportFolder = (FDir / "state").string();
    settings.SupportAddress = "support@tivora.example";
    settings.LastLogLines = [] { return std::string("2026/01/01 | Information | Session | last words\n"); };
    settings.CloseProgram = std::move(closeProgram);
    CrashReporterModuleStart(settings);
  }

  std::string Report() const { return ReadFile(FDir / "state" / "bugreport.txt"); }

  test::TTempDir FDir;
};

TEST_F(CrashReporter, ExceptionInATimerTickIsReportedAndTheProgramGoesOn) {
  EXPECT_EQ(BugReportFileName(), (FDir / "state" / "bugreport.txt").string());
  bool later = false;
  QTimer failing;
  failing.setObjectName(QStringLiteral("tmrFlash"));
  failing.setSingleShot(true);
  QObject::connect(&failing, &QTimer::timeout, [] { throw std::out_of_range("flash phase out of range"); });
  failing.start(0);
  QTimer::singleShot(20, [&] { later = true; });
  ASSERT_TRUE(WaitFor([&] { return later && CountReports(Report()) == 1; }));
  const std::string report = Report();
  EXPECT_NE(report.find("exception       : std::out_of_range\n"), std::string::npos) << report;
  EXPECT_NE(report.find("message         : flash phase out of range\n"), std::string::npos);
  EXPECT_NE(report.find("program         : Lumaren 9.8.7.6\n"), std::string::npos);
  EXPECT_NE(report.find("where           : QEvent::Timer to QTimer \"tmrFlash\"\n"), std::string::npos);
  EXPECT_NE(report.find("stack trace:\n  #0 "), std::string::npos);
  EXPECT_NE(report.find("last log lines:\n  2026/01/01 | Information | Session | last words\n"),
            std::string::npos);
}

TEST_F(CrashReporter, ExceptionOfAnyTypeInAPostedEventIsReported) {
  class TFailing : public QObject {
   public:
    bool event(QEvent* e) override {
      if (e->type() == QEvent::User) throw 42;
      return QObject::event(e);
    }
  } failing;
  failing.setObjectName(QStringLiteral("handler"));
  QCoreApplication::postEvent(&failing, new QEvent(QEvent::User));
  ASSERT_TRUE(WaitFor([&] { return CountReports(Report()) == 1; }));
  EXPECT_NE(Report().find("exception       : int\n"), std::string::npos) << Report();
  EXPECT_NE(Report().find("where           : QEvent::User to "), std::string::npos);
}

TEST_F(CrashReporter, ExceptionHandedOnByATimerIsReported) {
  std::exception_ptr caught;
  try {
    throw std::length_error("handed on");
  } catch (...) {
    caught = std::current_exception();
  }
  ReportException(caught, "timer tick");
  ReportException(nullptr, "nothing");  // no exception, no report
  EXPECT_EQ(CountReports(Report()), 1u);
  EXPECT_NE(Report().find("exception       : std::length_error\n"), std::string::npos) << Report();
  EXPECT_NE(Report().find("message         : handed on\n"), std::string::npos);
  EXPECT_NE(Report().find("where           : timer tick\n"), std::string::npos);
}

TEST_F(CrashReporter, NotStartedLetsExceptionsPass) {
  CrashReporterModuleEnd();
  EXPECT_FALSE(CrashReporterStarted());
  QObject receiver;
  QTimer failing;
  QObject::connect(&failing, &QTimer::timeout, [] { throw std::runtime_error("passes through"); });
  failing.setSingleShot(true);
  failing.start(0);
  EXPECT_THROW(WaitFor([] { return false; }, 200), std::runtime_error);
  EXPECT_FALSE(std::filesystem::exists(FDir / "state" / "bugreport.txt"));
}

// A fatal signal in a child process: the minimal report is written and the
// child ends by that signal. raise() rather than a real fault, so that the
// sanitizers do not see a bad access; our handler has replaced theirs.
TEST_F(CrashReporter, FatalSignalLeavesAReportAndEndsByTheSignal) {
  struct Case {
    int signal;
    const char* name;
  };
  const Case cases[] = {{SIGSEGV, "SIGSEGV"}, {SIGABRT, "SIGABRT"}, {SIGFPE, "SIGFPE"}};
  std::size_t reports = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::raise(c.signal);
      _exit(0);  // not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), c.signal);
    const std::string report = Report();
    EXPECT_EQ(CountReports(report), ++reports);
    const std::size_t last = report.rfind(CON_BugReportSeparator);
    const std::string newest = report.substr(last);
    EXPECT_NE(newest.find(std::string("signal          : ") + c.name), std::string::npos) << newest;
    EXPECT_NE(newest.find("program         : Lumaren 9.8.7.6\n"), std::string::npos);
    EXPECT_NE(newest.find("process id      : " + std::to_string(child) + "\n"), std::string::npos);
    EXPECT_NE(newest.find("stack trace:\n"), std::string::npos);
    EXPECT_NE(newest.find(" UTC\n"), std::string::npos);
  }
  // The signal reports join the exception reports' file and its trimming.
  QTimer failing;
  QObject::connect(&failing, &QTimer::timeout, [] { throw std::runtime_error("after the signals"); });
  failing.setSingleShot(true);
  failing.start(0);
  ASSERT_TRUE(WaitFor([&] { return CountReports(Report()) == reports + 1; }));
}

TEST_F(CrashReporter, ReportFileIsTrimmedAtStart) {
  CrashReporterModuleEnd();
  std::filesystem::create_directories(FDir / "state");
  const std::string sep = std::string(CON_BugReportSeparator) + "\n";
  const std::string old = sep + std::string(CON_MaxBugReportBytes, 'o') + "\n";
  const std::string recent = sep + "recent\n";
  std::ofstream(FDir / "state" / "bugreport.txt") << old << recent;
  Start({});
  EXPECT_EQ(Report(), recent);
}

// Clicks a button of the crash dialog once it shows; records the dialogs seen.
class TDialogClicker {
 public:
  TDialogClicker(QString button, std::function<bool()> ready) : FButton(std::move(button)), FReady(std::move(ready)) {
    FTimer.setInterval(20);
    QObject::connect(&FTimer, &QTimer::timeout, [this] { Poll(); });
    FTimer.start();
  }
  std::set<QMessageBox*> Seen;
  QString Text;
  QString Details;

 private:
  void Poll() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (!box || !box->isVisible()) continue;
      Seen.insert(box);
      Text = box->text();
      Details = box->detailedText();
      if (!FReady()) return;
      for (QAbstractButton* button : box->buttons()) {
        if (button->text() == FButton) {
          button->click();
          return;
        }
      }
    }
  }

  QString FButton;
  std::function<bool()> FReady;
  QTimer FTimer;
};

TEST_F(CrashReporter, DialogContinueGoesOnAndShowsOneDialogAtATime) {
  TScopedEnv dialog("LUMAREN_CRASH_DIALOG", "1");
  int closes = 0;
  CrashReporterModuleEnd();
  Start([&] { ++closes; });
  // Continue only once a second failure, while the dialog is open, has
  // been reported.
  TDialogClicker clicker(QStringLiteral("Continue"), [&] { return CountReports(Report()) == 2; });
  bool returned = false;
  QTimer::singleShot(0, [&] {
    QTimer::singleShot(50, [] { throw std::runtime_error("second failure"); });
    try {
      throw std::runtime_error("first failure");
    } catch (...) {
      ReportCurrentException("test");
    }
    returned = true;
  });
  ASSERT_TRUE(WaitFor([&] { return returned; }));
  EXPECT_EQ(clicker.Seen.size(), 1u);
  EXPECT_EQ(clicker.Text, QStringLiteral("An error occurred in the application."));
  EXPECT_TRUE(clicker.Details.contains(QStringLiteral("first failure")));
  EXPECT_EQ(CountReports(Report()), 2u);
  QCoreApplication::processEvents();
  EXPECT_EQ(closes, 0);
}

TEST_F(CrashReporter, DialogCloseEndsThroughTheProgramsClose) {
  TScopedEnv dialog("LUMAREN_CRASH_DIALOG", "1");
  int closes = 0;
  CrashReporterModuleEnd();
  Start([&] { ++closes; });
  TDialogClicker clicker(QStringLiteral("Close"), [] { return true; });
  QTimer failing;
  QObject::connect(&failing, &QTimer::timeout, [] { throw std::runtime_error("close me"); });
  failing.setSingleShot(true);
  failing.start(0);
  ASSERT_TRUE(WaitFor([&] { return closes == 1; }));
  EXPECT_EQ(clicker.Seen.size(), 1u);
}

TEST_F(CrashReporter, NoDialogOffscreenUnlessAsked) {
  TScopedEnv dialog("LUMAREN_CRASH_DIALOG", "");
  TDialogClicker clicker(QStringLiteral("Continue"), [] { return true; });
  bool returned = false;
  QTimer::singleShot(0, [&] {
    try {
      throw std::runtime_error("quiet");
    } catch (...) {
      ReportCurrentException("test");
    }
    returned = true;
  });
  ASSERT_TRUE(WaitFor([&] { return returned; }));
  QCoreApplication::processEvents();
  EXPECT_TRUE(clicker.Seen.empty());
  EXPECT_EQ(CountReports(Report()), 1u);
}

}  // namespace
}  // namespace lumaren::platform
