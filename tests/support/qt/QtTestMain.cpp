// gtest main for the suites that need a Qt application: the platform layer's
// sockets and timers, the windows, and the end-to-end driver. The
// application object is the program's own; until a test starts the crash
// reporter, exceptions pass through it unchanged.

#include <gtest/gtest.h>

#include "display/DisplayPainter.h"
#include "platform/qt/Application.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Text is drawn as the program draws it.
  lumaren::ConfigureGlyphCache();
  lumaren::platform::TApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
