#pragma once
// The display node's one window: borderless, filled with the display content.

#include <QWidget>

namespace lumaren {

class TfmMain : public QWidget {
  Q_OBJECT

 public:
  explicit TfmMain(QWidget* parent = nullptr);
};

}  // namespace lumaren
