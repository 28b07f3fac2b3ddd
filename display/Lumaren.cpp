// The program's main block: application, main window, event loop.

#include <QApplication>

#include "display/main.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Lumaren"));
  lumaren::TfmMain window;
  window.show();
  return QApplication::exec();
}
