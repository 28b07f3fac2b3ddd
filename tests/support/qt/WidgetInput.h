#pragma once
// Keyboard and mouse input for offscreen widget tests, delivered the way the
// application delivers it (through QApplication::notify, so an ignored key
// travels up to the parent as it would from the keyboard).

#include <QPoint>
#include <QString>
#include <Qt>

class QWidget;

namespace lumaren::test {

// Press and release of one key; text is what the key types, if anything.
void KeyClick(QWidget* widget, Qt::Key key, const QString& text = {},
              Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Types each character of text as a key of its own.
void TypeText(QWidget* widget, const QString& text);
// Press and release of the left button at pos (widget coordinates); the
// widget's centre when pos is null.
void MouseClick(QWidget* widget, QPoint pos = {});

}  // namespace lumaren::test
