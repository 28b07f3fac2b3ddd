// The measurement cache gives the values of the measuring calls it stands
// for, whatever it already holds and however full it gets. (That a redraw
// through it draws the same pixels is checked in PaintDisplayExactnessTest.)

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <memory>
#include <string>
#include <vector>

#include "display/DisplayPainter.h"

namespace lumaren {
namespace {

TEST(TextMeasureCache, AFullCacheStartsAfreshAndStillMeasuresRight) {
  TTextMeasureCache cache;
  QImage image(400, 100, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setFont(DisplayFont(QStringLiteral("Arial"), -40));
  for (int i = 0; i < CON_TextMeasureCacheSize + 10; ++i) {
    const QString text = QString::number(i) + QStringLiteral(" wide text");
    ASSERT_EQ(cache.Width(painter.font(), *painter.device(), text), painter.fontMetrics().horizontalAdvance(text)) << i;
  }
  const QRect r(0, 0, 120, 1000);
  const int flags = CON_DrawCentre | Qt::AlignTop;
  for (const QString& text : {QStringLiteral("short"), QStringLiteral("a text that wraps onto lines")}) {
    EXPECT_EQ(cache.WrappedHeight(painter, r, flags, text), painter.boundingRect(r, flags, text).height());
    EXPECT_EQ(cache.WrappedHeight(painter, r, flags, text), painter.boundingRect(r, flags, text).height());
  }
}

TEST(TextMeasureCache, TextInUseStaysMeasuredWhileOtherTextComesAndGoes) {
  // A board whose first line changes with every message: the other lines
  // are measured once, however many messages come; a text not seen for two
  // generations is measured again, so the cache stays bounded.
  TMeasureTable table;
  int steadyMeasures = 0;
  int oldMeasures = 0;
  const auto steady = [&] { return table.Find(QStringLiteral("steady"), [&] { return ++steadyMeasures, 7; }); };
  const auto old = [&] { return table.Find(QStringLiteral("old"), [&] { return ++oldMeasures, 9; }); };
  EXPECT_EQ(old(), 9);
  for (int message = 0; message < 10 * CON_TextMeasureCacheSize; ++message) {
    EXPECT_EQ(table.Find(QString::number(message), [message] { return message; }), message);
    ASSERT_EQ(steady(), 7);
  }
  EXPECT_EQ(steadyMeasures, 1);
  EXPECT_EQ(old(), 9);
  EXPECT_EQ(oldMeasures, 2);
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
      EXPECT_EQ(cache.Width(painter.font(), *painter.device(), text), painter.fontMetrics().horizontalAdvance(text));
      EXPECT_EQ(cache.WrappedHeight(painter, r, flags, text), painter.boundingRect(r, flags, text).height());
    }
  }
}

}  // namespace
}  // namespace lumaren
