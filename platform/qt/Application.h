#pragma once
// The program's application object. An exception that escapes an event
// handler, a slot or a timer tick is handed to the crash reporter instead of
// tearing down the event loop; the program goes on unless the user chooses
// otherwise. Before CrashReporterModuleStart (and after its end) exceptions
// pass through unchanged.

#include <QApplication>

namespace lumaren::platform {

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace lumaren::platform
