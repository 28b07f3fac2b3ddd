#pragma once
// A Qt top-level widget seen as a placement target. The widget stays owned by
// its creator and must outlive this adapter.

#include <string>

#include "platform/FormWindow.h"

class QWidget;

namespace lumaren::platform {

class TQtFormWindow : public TFormWindow {
 public:
  // componentName: the element its placement is filed under, e.g. "fmMain".
  TQtFormWindow(QWidget& window, std::string componentName);

  std::string ComponentName() const override { return FComponentName; }
  std::int32_t Top() const override;
  std::int32_t Left() const override;
  std::int32_t Height() const override;
  std::int32_t Width() const override;
  void SetTop(std::int32_t value) override;
  void SetLeft(std::int32_t value) override;
  void SetHeight(std::int32_t value) override;
  void SetWidth(std::int32_t value) override;
  bool Maximised() const override;
  void Maximise() override;
  bool IntersectsAnyMonitor() const override;

 private:
  QWidget& FWindow;
  std::string FComponentName;
};

}  // namespace lumaren::platform
