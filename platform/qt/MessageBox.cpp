#include "platform/MessageBox.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

namespace lumaren::platform {

void ShowInformationBox(const std::string& text) {
  QMessageBox::information(nullptr, QGuiApplication::applicationDisplayName(), QString::fromStdString(text),
                           QMessageBox::Ok);
}

}  // namespace lumaren::platform
