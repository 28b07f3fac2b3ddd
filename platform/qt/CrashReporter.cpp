// The crash reporter's Qt side: the report of an exception, the dialog that
// asks the user what to do, and the actions behind its buttons.

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QThread>
#include <QUrl>

#include <cxxabi.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <typeinfo>

#include "platform/CrashReporter.h"
#include "platform/linux/CrashReport.h"
#include "platform/linux/FatalSignals.h"

namespace lumaren::platform {

namespace {

// Mail clients take long mailto: addresses, but not without end; the
// report file always has the whole text.
constexpr std::size_t CON_MaxMailtoLength = 8000;

struct TCrashReporterState {
  TCrashReporterSettings Settings;
  std::string ReportFile;
  std::mutex FileLock;  // reports may come from a worker thread's event loop
  bool DialogShowing = false;
  bool CloseRequested = false;
  std::terminate_handler PreviousTerminate = nullptr;
};

std::unique_ptr<TCrashReporterState> GCrashReporter;

struct TCurrentException {
  std::string Type;
  std::string Text;
};

// The exception being handled (inside a catch block or std::terminate).
TCurrentException CurrentException() {
  TCurrentException current;
  const std::type_info* type = abi::__cxa_current_exception_type();
  current.Type = type ? DemangleTypeName(type->name()) : std::string("no exception");
  if (std::exception_ptr exception = std::current_exception()) {
    try {
      std::rethrow_exception(exception);
    } catch (const std::exception& e) {
      current.Text = e.what();
    } catch (...) {
    }
  }
  return current;
}

std::string BuildReport(const TCrashReporterState& state, const TCurrentException& exception,
                        const std::string& where, int skipFrames) {
  TCrashReport report;
  report.Time = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toStdString();
  report.ProgramName = state.Settings.ProgramName;
  report.ProgramVersion = state.Settings.ProgramVersion;
  report.ExecutablePath = QCoreApplication::instance() ? QCoreApplication::applicationFilePath().toStdString() : "";
  report.ProcessId = static_cast<long>(QCoreApplication::applicationPid());
  report.ExceptionType = exception.Type;
  report.ExceptionText = exception.Text;
  report.Where = where;
  report.StackTrace = CurrentStackTrace(skipFrames + 1);
  if (state.Settings.LastLogLines) {
    try {
      report.LastLogLines = state.Settings.LastLogLines();
    } catch (...) {
      report.LastLogLines = "(the log could not be read)";
    }
  }
  return FormatCrashReport(report);
}

void WriteReport(TCrashReporterState& state, const std::string& report) {
  std::lock_guard<std::mutex> lock(state.FileLock);
  try {
    AppendBugReport(state.ReportFile, report);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: cannot write the bug report: %s\n", state.Settings.ProgramName.c_str(), e.what());
  }
}

bool DialogWanted() {
  const QByteArray choice = qgetenv("LUMAREN_CRASH_DIALOG");
  if (choice == "0") return false;
  if (choice == "1") return true;
  // No one would see it: the program goes on by itself.
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

enum class TChoice { chSend, chContinue, chRestart, chClose };

TChoice AskUser(const TCrashReporterState& state, const TCurrentException& exception, const std::string& report) {
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(state.Settings.ProgramName),
                  QStringLiteral("An error occurred in the application."));
  box.setWindowFlag(Qt::WindowStaysOnTopHint);  // above a full-screen display
  box.setInformativeText(QString::fromStdString(exception.Type + ": " + exception.Text));
  box.setDetailedText(QString::fromStdString(report));  // "Show Details..."
  QPushButton* send = box.addButton(QStringLiteral("Send Report"), QMessageBox::ActionRole);
  QPushButton* continueButton = box.addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
  QPushButton* restart = box.addButton(QStringLiteral("Restart"), QMessageBox::ActionRole);
  QPushButton* close = box.addButton(QStringLiteral("Close"), QMessageBox::DestructiveRole);
  box.setDefaultButton(continueButton);
  box.setEscapeButton(continueButton);
  box.exec();
  const QAbstractButton* clicked = box.clickedButton();
  if (clicked == send) return TChoice::chSend;
  if (clicked == restart) return TChoice::chRestart;
  if (clicked == close) return TChoice::chClose;
  return TChoice::chContinue;
}

void SendReport(const TCrashReporterState& state, const std::string& report) {
  const std::string subject = state.Settings.ProgramName + " " + state.Settings.ProgramVersion + " bug report";
  const std::string note = "\n\n[The report was shortened. The whole report is in " + state.ReportFile + "]";
  const std::string url = MailtoUrl(state.Settings.SupportAddress, subject, report, CON_MaxMailtoLength, note);
  if (!QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(url))))
    std::fprintf(stderr, "%s: no mail program to send the report\n", state.Settings.ProgramName.c_str());
}

// Ends the program through its normal close once the failed handler has
// returned; a second request (the close itself failed) ends the event loop.
void RequestClose(TCrashReporterState& state) {
  if (state.CloseRequested) {
    QCoreApplication::exit(1);
    return;
  }
  state.CloseRequested = true;
  std::function<void()> close = state.Settings.CloseProgram;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [close] {
        if (close) close();
        // Leaves every event loop, also those of modal dialogs still open.
        QCoreApplication::quit();
      },
      Qt::QueuedConnection);
}

void Restart(TCrashReporterState& state) {
  QStringList arguments = QCoreApplication::arguments();
  if (!arguments.isEmpty()) arguments.removeFirst();
  std::vector<std::string> programArguments;
  for (const QString& argument : arguments) programArguments.push_back(argument.toStdString());
  const std::vector<std::string> commandLine =
      RestartCommandLine(static_cast<long>(QCoreApplication::applicationPid()),
                         QCoreApplication::applicationFilePath().toStdString(), programArguments);
  QStringList launcherArguments;
  for (std::size_t i = 1; i < commandLine.size(); ++i) launcherArguments << QString::fromStdString(commandLine[i]);
  if (!QProcess::startDetached(QString::fromStdString(commandLine[0]), launcherArguments))
    std::fprintf(stderr, "%s: cannot restart the program\n", state.Settings.ProgramName.c_str());
  RequestClose(state);
}

[[noreturn]] void OnTerminate() {
  if (TCrashReporterState* state = GCrashReporter.get()) {
    const TCurrentException exception = CurrentException();
    const std::string report = BuildReport(*state, exception, "std::terminate", 0);
    // The lock may be held by the thread that failed; then the signal
    // handler's minimal report must do.
    std::unique_lock<std::mutex> lock(state->FileLock, std::try_to_lock);
    if (lock.owns_lock()) {
      try {
        AppendBugReport(state->ReportFile, report);
        MarkFatalReportWritten();
      } catch (...) {
      }
    }
  }
  std::abort();
}

}  // namespace

void CrashReporterModuleStart(const TCrashReporterSettings& settings) {
  if (GCrashReporter) CrashReporterModuleEnd();
  auto state = std::make_unique<TCrashReporterState>();
  state->Settings = settings;
  state->ReportFile = settings.ReportFolder + "/" + CON_BugReportFileName;
  QDir().mkpath(QString::fromStdString(settings.ReportFolder));
  // A fatal signal's report is appended untrimmed; trim it now.
  WriteReport(*state, "");
  InstallFatalSignalHandlers(state->ReportFile, settings.ProgramName + " " + settings.ProgramVersion);
  state->PreviousTerminate = std::set_terminate(OnTerminate);
  GCrashReporter = std::move(state);
}

void CrashReporterModuleEnd() {
  if (!GCrashReporter) return;
  RemoveFatalSignalHandlers();
  std::set_terminate(GCrashReporter->PreviousTerminate);
  GCrashReporter.reset();
}

bool CrashReporterStarted() { return GCrashReporter != nullptr; }

std::string BugReportFileName() { return GCrashReporter ? GCrashReporter->ReportFile : std::string(); }

void ReportCurrentException(const std::string& where) {
  const TCurrentException exception = CurrentException();
  TCrashReporterState* state = GCrashReporter.get();
  if (!state) {
    std::fprintf(stderr, "Unhandled %s: %s (%s)\n", exception.Type.c_str(), exception.Text.c_str(), where.c_str());
    return;
  }
  const std::string report = BuildReport(*state, exception, where, 1);
  WriteReport(*state, report);
  std::fprintf(stderr, "%s: an error occurred (%s: %s); report appended to %s\n",
               state->Settings.ProgramName.c_str(), exception.Type.c_str(), exception.Text.c_str(),
               state->ReportFile.c_str());

  QCoreApplication* app = QCoreApplication::instance();
  const bool mainThread = app && QThread::currentThread() == app->thread();
  // One dialog at a time: a handler that keeps failing while the dialog is
  // open only adds reports.
  if (!mainThread || state->DialogShowing || !DialogWanted() || !qobject_cast<QApplication*>(app)) return;
  state->DialogShowing = true;
  TChoice choice;
  while ((choice = AskUser(*state, exception, report)) == TChoice::chSend) SendReport(*state, report);
  state->DialogShowing = false;
  if (choice == TChoice::chRestart) Restart(*state);
  else if (choice == TChoice::chClose) RequestClose(*state);
}

void ReportException(std::exception_ptr error, const std::string& where) {
  if (!error) return;
  try {
    std::rethrow_exception(error);
  } catch (...) {
    ReportCurrentException(where);
  }
}

}  // namespace lumaren::platform
