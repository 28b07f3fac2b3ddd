#include "display/main.h"

namespace lumaren {

TfmMain::TfmMain(QWidget* parent) : QWidget(parent, Qt::FramelessWindowHint) {
  setMinimumSize(200, 200);
  setGeometry(0, 0, 524, 439);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::black);
  setPalette(pal);
}

}  // namespace lumaren
