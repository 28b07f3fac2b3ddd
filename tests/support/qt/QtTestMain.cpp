// gtest main for the suites that need a Qt application: the platform layer's
// sockets and timers, the windows, and the end-to-end driver.

#include <QApplication>
#include <gtest/gtest.h>

#include "display/DisplayPainter.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Text is drawn as the program draws it.
  lumaren::ConfigureGlyphCache();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
