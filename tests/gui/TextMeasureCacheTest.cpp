// A redraw that measures through a TTextMeasureCache draws exactly what a
// redraw that measures afresh draws, pixel for pixel, whatever the cache
// already holds from earlier redraws of other content, fonts, sizes and
// densities.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <memory>
#include <string>
#include <vector>

#include "display/DisplayPainter.h"

namespace lumaren {
namespace {

struct TScene {
  const char* why;
  std::vector<std::vector<std::string>> lines;  // left, centre, right
  const char* font;
  int width, height;
  qreal dpr;
};

QImage Paint(const TScene& scene, TTextMeasureCache* cache) {
  TDisplayLineList list;
  list.Clear();
  for (const auto& texts : scene.lines) {
    auto line = std::make_unique<TDisplayLine>();
    line->TextLeft = texts[0];
    line->TextCentre = texts[1];
    line->TextRight = texts[2];
    list.Add(std::move(line));
  }
  const TDisplayLook look{QColor(0, 0, 0), QColor(255, 255, 255), QString::fromLatin1(scene.font)};
  QImage image(qRound(scene.width * scene.dpr), qRound(scene.height * scene.dpr), QImage::Format_RGB32);
  image.setDevicePixelRatio(scene.dpr);
  QPainter painter(&image);
  PaintDisplay(painter, QRect(0, 0, scene.width, scene.height), list, look, cache);
  return image;
}

TEST(TextMeasureCache, ARedrawThroughTheCacheDrawsWhatAFreshRedrawDraws) {
  const TScene scenes[] = {
      {"one line", {{"", "Platform 4", ""}}, "Arial", 640, 360, 1},
      {"the same again, all measured before", {{"", "Platform 4", ""}}, "Arial", 640, 360, 1},
      {"the same text in another face", {{"", "Platform 4", ""}}, "Courier New", 640, 360, 1},
      {"the same text in a narrower window: another fitted size", {{"", "Platform 4", ""}}, "Arial", 300, 360, 1},
      {"a text that wraps in a narrow row",
       {{"", "Doors close in two minutes please", ""}, {"", "x", ""}},
       "Arial", 640, 360, 1},
      {"that text again in a wider row, where it does not wrap",
       {{"", "Doors close in two minutes please", ""}, {"", "x", ""}},
       "Arial", 1200, 360, 1},
      {"three texts in one row", {{"Left", "Centre", "Right"}, {"", "Second\r\nrow", ""}}, "Arial", 800, 400, 1},
      {"the same on a double-density device",
       {{"Left", "Centre", "Right"}, {"", "Second\r\nrow", ""}},
       "Arial", 800, 400, 2},
      {"one line changed among unchanged ones",
       {{"Left", "Centre 2", "Right"}, {"", "Second\r\nrow", ""}},
       "Arial", 800, 400, 1},
  };
  TTextMeasureCache cache;
  for (const TScene& scene : scenes) {
    SCOPED_TRACE(scene.why);
    const QImage fresh = Paint(scene, nullptr);
    EXPECT_TRUE(Paint(scene, &cache) == fresh);
  }
}

TEST(TextMeasureCache, AFullCacheStartsAfreshAndStillMeasuresRight) {
  TTextMeasureCache cache;
  QImage image(400, 100, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setFont(DisplayFont(QStringLiteral("Arial"), -40));
  for (int i = 0; i < CON_TextMeasureCacheSize + 10; ++i) {
    const QString text = QString::number(i) + QStringLiteral(" wide text");
    ASSERT_EQ(cache.Width(painter, text), painter.fontMetrics().horizontalAdvance(text)) << i;
  }
  const QRect r(0, 0, 120, 1000);
  const int flags = CON_DrawCentre | Qt::AlignTop;
  for (const QString& text : {QStringLiteral("short"), QStringLiteral("a text that wraps onto lines")}) {
    EXPECT_EQ(cache.WrappedHeight(painter, r, flags, text), painter.boundingRect(r, flags, text).height());
    EXPECT_EQ(cache.WrappedHeight(painter, r, flags, text), painter.boundingRect(r, flags, text).height());
  }
}

TEST(TextMeasureCache, EveryMeasureIsTheOneItStandsFor) {
  // Each probe follows the others in one cache, so a key that leaves out
  // what a measure depends on returns an earlier probe's value.
  const struct {
    const char* why;
    int pixels;
    int width;
    int flags;
    const char* text;
  } probes[] = {
      {"wrapped in a narrow row", 40, 120, CON_DrawCentre, "a text that wraps onto lines"},
      {"the same in a wide row, on one line", 40, 2000, CON_DrawCentre, "a text that wraps onto lines"},
      {"the same at another size", 20, 2000, CON_DrawCentre, "a text that wraps onto lines"},
      {"the same without word wrap", 40, 120, Qt::AlignHCenter, "a text that wraps onto lines"},
      {"a line break", 40, 2000, CON_DrawLeft, "two\nlines"},
  };
  TTextMeasureCache cache;
  QImage image(400, 100, QImage::Format_RGB32);
  QPainter painter(&image);
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& p : probes) {
      SCOPED_TRACE(::testing::Message() << p.why << ", pass " << pass);
      painter.setFont(DisplayFont(QStringLiteral("Arial"), -p.pixels));
      const QString text = QString::fromUtf8(p.text);
      const QRect r(0, 0, p.width, 1000);
      const int flags = p.flags | Qt::AlignTop;
      EXPECT_EQ(cache.Width(painter, text), painter.fontMetrics().horizontalAdvance(text));
      EXPECT_EQ(cache.WrappedHeight(painter, r, flags, text), painter.boundingRect(r, flags, text).height());
    }
  }
}

}  // namespace
}  // namespace lumaren
