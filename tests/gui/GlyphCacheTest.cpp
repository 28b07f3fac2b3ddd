// Text of every size is drawn with the program's glyph-cache settings
// (ConfigureGlyphCache, made by the test main as by the program): small text
// keeps FreeType's own cache, large text the paint engine's, and one size
// drawn on devices of different density must show on each, whichever device
// drew it first.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <memory>

#include "display/DisplayPainter.h"
#include "support/qt/TImageInk.h"

namespace lumaren {
namespace {

const QColor kBlack(0, 0, 0);

struct TShot {
  QRect Ink;
  int Size = 0;
};

TShot PaintHg(const char* font, int width, int height, qreal dpr) {
  TDisplayLineList list;
  list.Clear();
  auto line = std::make_unique<TDisplayLine>();
  line->TextCentre = "Hg";
  list.Add(std::move(line));
  QImage image(qRound(width * dpr), qRound(height * dpr), QImage::Format_RGB32);
  image.setDevicePixelRatio(dpr);
  QPainter painter(&image);
  const TDisplayLook look{kBlack, QColor(255, 255, 255), QString::fromLatin1(font)};
  TShot shot;
  shot.Size = PaintDisplay(painter, QRect(0, 0, width, height), list, look).value_or(0);
  painter.end();
  shot.Ink = test::InkRect(image, kBlack);
  return shot;
}

TEST(GlyphCache, TextOfEverySizeShowsOnDevicesOfEveryDensity) {
  // Window heights whose fitted sizes fall below, around and far above the
  // 64 pixels of FreeType's own cache, on one, two and three device pixels
  // per logical pixel, in an order that draws each size small first.
  const int heights[] = {60, 100, 150, 200, 400, 1200};
  const qreal densities[] = {1, 2, 1, 3};
  for (const char* font : {"Arial", "Courier New"}) {
    for (const int height : heights) {
      const TShot reference = PaintHg(font, 4000, height, 1);
      ASSERT_FALSE(reference.Ink.isNull()) << font << " at " << reference.Size << " px";
      for (const qreal dpr : densities) {
        SCOPED_TRACE(::testing::Message() << font << ", " << reference.Size << " px, density " << dpr);
        const TShot shot = PaintHg(font, 4000, height, dpr);
        EXPECT_EQ(shot.Size, reference.Size);
        ASSERT_FALSE(shot.Ink.isNull()) << "no text drawn";
        EXPECT_NEAR(shot.Ink.height() / dpr, reference.Ink.height(), 2);
        EXPECT_NEAR(shot.Ink.width() / dpr, reference.Ink.width(), 2);
      }
    }
  }
}

}  // namespace
}  // namespace lumaren
