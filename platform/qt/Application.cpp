#include "platform/qt/Application.h"

#include <QEvent>
#include <QMetaEnum>

#include "platform/CrashReporter.h"

namespace lumaren::platform {

namespace {

// "QEvent::Timer to QTimer \"tmrFlash\"": enough to find the handler.
std::string DescribeDelivery(const QObject* receiver, const QEvent* event) {
  std::string text = "QEvent::";
  const char* type = event ? QMetaEnum::fromType<QEvent::Type>().valueToKey(event->type()) : nullptr;
  text += type ? type : (event ? std::to_string(static_cast<int>(event->type())) : std::string("?"));
  if (receiver) {
    text += " to ";
    text += receiver->metaObject()->className();
    if (!receiver->objectName().isEmpty()) text += " \"" + receiver->objectName().toStdString() + "\"";
  }
  return text;
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    if (!CrashReporterStarted()) throw;
    ReportCurrentException(DescribeDelivery(receiver, event));
    return false;
  }
}

}  // namespace lumaren::platform
