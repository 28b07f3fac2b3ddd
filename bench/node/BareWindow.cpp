// The floor for the node's start-up: a bare Qt Widgets program that shows a
// borderless window and paints one fitted line of text in it, nothing else.
//   lumaren_bench_bare_window WIDTH HEIGHT
// Prints first_paint_ns (CLOCK_MONOTONIC) when its first paint ends, then
// quits.

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QTimer>
#include <QWidget>

#include <cstdlib>

#include "BenchUtil.h"

namespace {

class TBareWindow : public QWidget {
 public:
  TBareWindow() : QWidget(nullptr, Qt::FramelessWindowHint) { setAttribute(Qt::WA_OpaquePaintEvent); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QString text = QStringLiteral("Waiting to connect...");
    // Fitted as the node fits its text: measured at 1000 pixels, scaled to
    // the width, and never taller than 80 % of half the height.
    QFont font(QStringLiteral("Courier New"));
    font.setPixelSize(1000);
    const int widest = QFontMetrics(font).horizontalAdvance(text);
    const int size = std::min(width() * 1000 / (widest * 11 / 10), height() / 2 * 8 / 10);
    font.setPixelSize(size);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(rect(), Qt::AlignCenter, text);
    painter.end();
    if (!FDone) {
      FDone = true;
      lumaren::bench::Report("first_paint_ns", static_cast<double>(lumaren::bench::NowNanos()));
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
  }

 private:
  bool FDone = false;
};

}  // namespace

int main(int argc, char* argv[]) {
  // The same glyph cache as the node.
  if (qEnvironmentVariableIsEmpty("QT_MAX_CACHED_GLYPH_SIZE")) qputenv("QT_MAX_CACHED_GLYPH_SIZE", "1000");
  if (qEnvironmentVariableIsEmpty("QT_NO_FT_CACHE")) qputenv("QT_NO_FT_CACHE", "1");
  QApplication app(argc, argv);
  lumaren::bench::Report("app_ready_ns", static_cast<double>(lumaren::bench::NowNanos()));
  TBareWindow window;
  window.setGeometry(0, 0, argc > 2 ? std::atoi(argv[1]) : 1920, argc > 2 ? std::atoi(argv[2]) : 1080);
  window.show();
  lumaren::bench::Report("window_shown_ns", static_cast<double>(lumaren::bench::NowNanos()));
  return QApplication::exec();
}
