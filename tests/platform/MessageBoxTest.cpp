// The information box: modal, with the text given and an OK button only.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

#include "platform/MessageBox.h"

namespace lumaren::platform {
namespace {

TEST(MessageBox, InformationBoxShowsTextWithOKAndReturnsWhenClosed) {
  QString text;
  QMessageBox::StandardButtons buttons;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QElapsedTimer clock;
  clock.start();
  // Answers the box once it is up, as a user would; gives up after a while
  // so a box that never shows cannot hang the test.
  QTimer user;
  user.setInterval(10);
  QObject::connect(&user, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box) {
      text = box->text();
      buttons = box->standardButtons();
      icon = box->icon();
      user.stop();
      box->button(QMessageBox::Ok)->click();
    } else if (clock.hasExpired(10000)) {
      user.stop();
      for (QWidget* w : QApplication::topLevelWidgets()) w->close();
    }
  });
  user.start();
  ShowInformationBox("No addresses were found for the requested parameters");
  EXPECT_EQ(text.toStdString(), "No addresses were found for the requested parameters");
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(icon, QMessageBox::Information);
}

}  // namespace
}  // namespace lumaren::platform
