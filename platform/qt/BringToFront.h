#pragma once
// Brings a top-level window to the user: a minimised window is restored (to
// maximised again if it was maximised before), any other is raised and
// given the focus. The window system may still refuse to steal the focus;
// it then usually marks the window as wanting attention.

class QWidget;

namespace lumaren::platform {

void BringToFront(QWidget* window);

}  // namespace lumaren::platform
