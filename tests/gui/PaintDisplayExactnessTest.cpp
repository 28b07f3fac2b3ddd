// PaintDisplay's shortcuts change no pixel: the redraw is compared, pixel for
// pixel, with the plain one built from the same public parts (the fitted
// size, the rows and DrawTextAligned on opaque text cells, measuring every
// text afresh).

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "display/DisplayPainter.h"
#include "display/uDisplayMetrics.h"

namespace lumaren {
namespace {

struct TScene {
  const char* why;
  std::vector<std::vector<std::string>> lines;  // left, centre, right
  const char* font;
  int width, height;
  qreal dpr;
};

void Fill(TDisplayLineList& list, const TScene& scene) {
  list.Clear();
  for (const auto& texts : scene.lines) {
    auto line = std::make_unique<TDisplayLine>();
    line->TextLeft = texts[0];
    line->TextCentre = texts[1];
    line->TextRight = texts[2];
    list.Add(std::move(line));
  }
}

QImage NewImage(const TScene& scene) {
  QImage image(qRound(scene.width * scene.dpr), qRound(scene.height * scene.dpr), QImage::Format_RGB32);
  image.setDevicePixelRatio(scene.dpr);
  return image;
}

const TDisplayLook kLook{QColor(0, 0, 80), QColor(255, 255, 0), QString()};

// The redraw without shortcuts.
QImage Plain(const TScene& scene) {
  TDisplayLineList list;
  Fill(list, scene);
  QImage image = NewImage(scene);
  QPainter painter(&image);
  const QRect client(0, 0, scene.width, scene.height);
  painter.fillRect(client, kLook.WindowColour);
  const QString face = QString::fromLatin1(scene.font);
  painter.setFont(DisplayFont(face, -FHeight));
  std::int64_t widest = 0;
  for (int i = 0; i < list.Count(); ++i) {
    for (const std::string& text : SplitTextLines(list.Items(i).Text())) {
      widest = std::max<std::int64_t>(widest, painter.fontMetrics().horizontalAdvance(QString::fromStdString(text)));
    }
  }
  const int size = FittedTextSize(scene.height, scene.width, list.TotalLineCount(), widest);
  painter.setFont(DisplayFont(face, FontHeightForSize(size)));
  painter.setPen(kLook.FontColour);
  painter.setBackground(kLook.WindowColour);
  painter.setBackgroundMode(Qt::OpaqueMode);
  for (int i = 0; i < list.Count(); ++i) {
    const TRect r = RowRect(TRect{0, 0, scene.width, scene.height}, list.Count(), i);
    const QRect row(r.Left, r.Top, r.Width(), r.Height());
    const TDisplayLine& line = list.Items(i);
    if (!line.TextLeft.empty()) DrawTextAligned(painter, row, NormalisedText(line.TextLeft), CON_DrawLeft);
    if (!line.TextCentre.empty()) DrawTextAligned(painter, row, NormalisedText(line.TextCentre), CON_DrawCentre);
    if (!line.TextRight.empty()) DrawTextAligned(painter, row, NormalisedText(line.TextRight), CON_DrawRight);
  }
  return image;
}

QImage Painted(const TScene& scene, TTextMeasureCache* cache) {
  TDisplayLineList list;
  Fill(list, scene);
  QImage image = NewImage(scene);
  QPainter painter(&image);
  TDisplayLook look = kLook;
  look.FontName = QString::fromLatin1(scene.font);
  PaintDisplay(painter, QRect(0, 0, scene.width, scene.height), list, look, cache);
  return image;
}

TEST(PaintDisplayExactness, TheRedrawDrawsWhatThePlainRedrawDraws) {
  const TScene scenes[] = {
      {"one line per row, large", {{"", "Platform 4", ""}, {"Left only", "", ""}, {"", "", "Right only"}},
       "Arial", 900, 500, 1},
      {"one line per row, small", {{"", "Doors close in two minutes, please take your seats now", ""}},
       "Courier New", 900, 120, 1},
      {"one text wrapped in a narrow window", {{"", "Doors close now", ""}, {"", "x", ""}}, "Arial", 80, 300, 1},
      {"one text of several lines", {{"", "Lumaren\r\nVersion: 1\r\nWaiting to connect...", ""}}, "Courier New",
       640, 480, 1},
      {"three texts in one row, overlapping", {{"Left text here", "Centre text", "Right text here"}}, "Arial", 300,
       200, 1},
      {"two texts in one row", {{"Left", "", "Right"}, {"", "Alone", ""}}, "Times New Roman", 700, 300, 1},
      {"a double-density device", {{"Left", "", ""}, {"", "Centre", ""}, {"", "", "Right"}}, "Arial", 500, 300, 2},
      {"rows too small for their margins", {{"", "a", ""}, {"", "b", ""}, {"", "c", ""}}, "Arial", 200, 24, 1},
  };
  TTextMeasureCache cache;
  for (int pass = 0; pass < 2; ++pass) {
    for (const TScene& scene : scenes) {
      SCOPED_TRACE(::testing::Message() << scene.why << ", pass " << pass);
      const QImage plain = Plain(scene);
      EXPECT_TRUE(Painted(scene, nullptr) == plain) << "measuring afresh";
      EXPECT_TRUE(Painted(scene, &cache) == plain) << "measuring through the cache";
    }
  }
}

}  // namespace
}  // namespace lumaren
