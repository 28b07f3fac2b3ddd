#include "support/qt/WidgetInput.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace lumaren::test {

void KeyClick(QWidget* widget, Qt::Key key, const QString& text, Qt::KeyboardModifiers modifiers) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(widget, &release);
}

void TypeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) KeyClick(widget, static_cast<Qt::Key>(c.toUpper().unicode()), QString(c));
}

void MouseClick(QWidget* widget, QPoint pos) {
  if (pos.isNull()) pos = widget->rect().center();
  const QPointF local(pos);
  const QPointF global(widget->mapToGlobal(pos));
  QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &release);
}

}  // namespace lumaren::test
