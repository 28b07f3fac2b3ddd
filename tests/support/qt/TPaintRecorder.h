#pragma once
// Notes every paint the main window receives, as the window receives it
// (grab() would paint by itself): the region painted and the first centre
// text the window shows at that moment.

#include <QObject>
#include <QRegion>

#include <string>
#include <vector>

class QEvent;

namespace lumaren {
class TfmMain;
}

namespace lumaren::test {

class TPaintRecorder : public QObject {
 public:
  explicit TPaintRecorder(TfmMain& window);

  std::vector<QRegion> Regions;
  std::vector<std::string> Shown;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TfmMain& FWindow;
};

}  // namespace lumaren::test
