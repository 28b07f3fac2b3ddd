#include "support/qt/TImageInk.h"

namespace lumaren::test {

namespace {

QImage Plain(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

QRect Within(const QImage& image, const QRect& area) {
  return area.isNull() ? image.rect() : area.intersected(image.rect());
}

}  // namespace

QRect InkRect(const QImage& image, const QColor& background, const QRect& area) {
  const QImage plain = Plain(image);
  const QRect box = Within(plain, area);
  const QRgb bg = background.rgb();
  QRect ink;
  for (int y = box.top(); y <= box.bottom(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(plain.constScanLine(y));
    for (int x = box.left(); x <= box.right(); ++x) {
      if (line[x] != bg) ink |= QRect(x, y, 1, 1);
    }
  }
  return ink;
}

int CountPixels(const QImage& image, const QColor& colour, const QRect& area) {
  const QImage plain = Plain(image);
  const QRect box = Within(plain, area);
  const QRgb wanted = colour.rgb();
  int count = 0;
  for (int y = box.top(); y <= box.bottom(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(plain.constScanLine(y));
    for (int x = box.left(); x <= box.right(); ++x) {
      if (line[x] == wanted) ++count;
    }
  }
  return count;
}

std::vector<TBand> InkBands(const QImage& image, const QColor& background) {
  const QImage plain = Plain(image);
  const QRgb bg = background.rgb();
  std::vector<TBand> bands;
  bool inBand = false;
  for (int y = 0; y < plain.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(plain.constScanLine(y));
    bool ink = false;
    for (int x = 0; x < plain.width() && !ink; ++x) ink = line[x] != bg;
    if (ink && !inBand) bands.push_back(TBand{y, y});
    if (ink) bands.back().Bottom = y;
    inBand = ink;
  }
  return bands;
}

}  // namespace lumaren::test
