#include "support/qt/TCtlProcess.h"

#include <QProcess>
#include <QStringList>

#include "support/qt/TEventWait.h"

namespace lumaren::test {

std::string CtlExecutable() { return LUMAREN_CTL_EXE; }

TCtlResult RunCtl(const std::vector<std::string>& args, std::chrono::milliseconds timeout) {
  QStringList list;
  for (const auto& a : args) list << QString::fromStdString(a);
  QProcess process;
  process.start(QString::fromStdString(CtlExecutable()), list);
  TCtlResult result;
  if (!process.waitForStarted(10000)) {
    result.Err = "lumaren-ctl did not start";
    return result;
  }
  if (!ProcessEventsUntil([&] { return process.state() == QProcess::NotRunning; }, timeout)) {
    process.kill();
    process.waitForFinished();
    result.Err = "lumaren-ctl did not end in time";
    return result;
  }
  result.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  result.Out = process.readAllStandardOutput().toStdString();
  result.Err = process.readAllStandardError().toStdString();
  return result;
}

}  // namespace lumaren::test
