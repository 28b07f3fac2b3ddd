// A message that changes some lines repaints only their rows, and the window
// then shows what a whole redraw would: the redraw of the changed region is
// painted over the earlier picture and compared, pixel for pixel, with a
// whole redraw of the new content.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <memory>
#include <string>
#include <vector>

#include "display/DisplayPainter.h"
#include "display/ShownFrame.h"

namespace lumaren {
namespace {

using TLines = std::vector<std::vector<std::string>>;  // left, centre, right

void Fill(TDisplayLineList& list, const TLines& lines) {
  list.Clear();
  for (const auto& texts : lines) {
    auto line = std::make_unique<TDisplayLine>();
    line->TextLeft = texts[0];
    line->TextCentre = texts[1];
    line->TextRight = texts[2];
    list.Add(std::move(line));
  }
}

const TDisplayLook kLook{QColor(0, 0, 80), QColor(255, 255, 0), QStringLiteral("Arial")};
const TDisplayLook kRedLook{QColor(120, 0, 0), QColor(255, 255, 0), QStringLiteral("Arial")};
const TDisplayLook kCourierLook{QColor(0, 0, 80), QColor(255, 255, 0), QStringLiteral("Courier New")};

const TLines kBoard{{"", "#0001 Gate 4", ""}, {"", "Doors close in two minutes", ""}, {"Left", "", "Right"}};

struct TChange {
  const char* why;
  TLines before;
  TLines after;
  TDisplayLook afterLook;
  qreal dpr;
  std::vector<int> rows;  // the rows repainted; {-1}: the whole window
};

// Paints lines over image (all of it, or only region) and returns the frame.
TFrame Paint(QImage& image, const QRect& client, const TLines& lines, const TDisplayLook& look,
             const QRegion* region = nullptr) {
  TDisplayLineList list;
  Fill(list, lines);
  QPainter painter(&image);
  if (region) {
    PaintDisplay(painter, client, *region, list, look);
  } else {
    PaintDisplay(painter, client, list, look);
  }
  return DisplayFrame(image, client, list, look);
}

TEST(PartialRepaint, TheChangedRowsRepaintedShowWhatAWholeRedrawShows) {
  const TChange changes[] = {
      {"one counter changes", kBoard,
       {{"", "#0002 Gate 4", ""}, {"", "Doors close in two minutes", ""}, {"Left", "", "Right"}}, kLook, 1, {0}},
      {"two rows change, one of three texts", kBoard,
       {{"", "#0003 Gate 4", ""}, {"", "Doors close in two minutes", ""}, {"Left", "", "Right now"}}, kLook, 1,
       {0, 2}},
      {"a text of several lines changes", {{"", "Line one\r\nLine two", ""}, {"", "Doors close in two minutes", ""}},
       {{"", "Line one\r\nLine 2", ""}, {"", "Doors close in two minutes", ""}}, kLook, 1, {0}},
      {"on a double-density device", kBoard,
       {{"", "#0009 Gate 4", ""}, {"", "Doors close in two minutes", ""}, {"Left", "", "Right"}}, kLook, 2, {0}},
      {"nothing changes", kBoard, kBoard, kLook, 1, {}},
      {"the widest line grows, so the size changes", kBoard,
       {{"", "#0001 Gate 4", ""}, {"", "Doors close in two minutes, please", ""}, {"Left", "", "Right"}}, kLook, 1,
       {-1}},
      {"a line is added", kBoard,
       {{"", "#0001 Gate 4", ""}, {"", "Doors close in two minutes", ""}, {"Left", "", "Right"}, {"", "New", ""}},
       kLook, 1, {-1}},
      {"the window colour changes", kBoard, kBoard, kRedLook, 1, {-1}},
      {"the face changes", kBoard, kBoard, kCourierLook, 1, {-1}},
      {"the content is cleared", kBoard, {}, kLook, 1, {-1}},
  };
  const QRect client(0, 0, 900, 450);
  for (const TChange& c : changes) {
    SCOPED_TRACE(c.why);
    QImage shown(qRound(client.width() * c.dpr), qRound(client.height() * c.dpr), QImage::Format_RGB32);
    shown.setDevicePixelRatio(c.dpr);
    TShownFrame record;
    record.Painted(Paint(shown, client, c.before, kLook), QRegion(client));

    TDisplayLineList after;
    Fill(after, c.after);
    const TFrame next = DisplayFrame(shown, client, after, c.afterLook);
    const QRegion changed = record.ChangedRegion(next);
    QRegion expected;
    for (int row : c.rows) expected += row < 0 ? client : next.RowRect(row);
    EXPECT_EQ(changed, expected);

    Paint(shown, client, c.after, c.afterLook, &changed);
    QImage whole(shown.size(), QImage::Format_RGB32);
    whole.setDevicePixelRatio(c.dpr);
    Paint(whole, client, c.after, c.afterLook);
    EXPECT_TRUE(shown == whole) << "the window differs from a whole redraw";
  }
}

TEST(PartialRepaint, WhatIsShownFollowsThePaintsThatReachedTheWindow) {
  const QRect client(0, 0, 900, 450);
  QImage image(client.size(), QImage::Format_RGB32);
  TDisplayLineList list;
  Fill(list, kBoard);
  const TFrame a = DisplayFrame(image, client, list, kLook);
  TFrame b = a;
  b.Rows[0].Centre = "#0002 Gate 4";
  TFrame other = a;
  other.WindowColour = kRedLook.WindowColour.rgba();
  const QRect row0 = a.RowRect(0);
  const QRect row1 = a.RowRect(1);

  struct TStep {
    const TFrame* painted;
    QRegion region;
  };
  const struct {
    const char* why;
    std::vector<TStep> paints;
    const TFrame* next;
    QRegion expected;
  } cases[] = {
      {"nothing painted yet", {}, &a, QRegion(client)},
      {"the same frame painted whole", {{&a, QRegion(client)}}, &a, QRegion()},
      {"a row painted with newer text, then the older text again",
       {{&a, QRegion(client)}, {&b, QRegion(row0)}}, &a, QRegion(row0)},
      {"an expose over half a row leaves that row unknown",
       {{&a, QRegion(client)}, {&b, QRegion(row0.adjusted(0, 0, 0, -row0.height() / 2))}}, &a, QRegion(row0)},
      {"an expose outside the rows changes nothing", {{&a, QRegion(client)}, {&b, QRegion(0, 0, 2, 2)}}, &a,
       QRegion()},
      {"part of the window painted in another layout", {{&a, QRegion(client)}, {&other, QRegion(row1)}}, &other,
       QRegion(client)},
      {"the other layout then painted whole", {{&a, QRegion(client)}, {&other, QRegion(client)}}, &other, QRegion()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TShownFrame record;
    for (const TStep& step : c.paints) record.Painted(*step.painted, step.region);
    EXPECT_EQ(record.ChangedRegion(*c.next), c.expected);
  }
}

}  // namespace
}  // namespace lumaren
