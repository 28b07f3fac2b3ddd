// The display painted into images: colours and font choice, the fitted size,
// the rows, the three alignments, vertical centring and clipping, line
// breaks, and the same layout on a high-density device.

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QtMath>

#include <cstdlib>
#include <optional>
#include <string>

#include "display/DisplayPainter.h"
#include "display/uDisplayMetrics.h"
#include "support/qt/TImageInk.h"

namespace lumaren {
namespace {

using test::CountPixels;
using test::InkBands;
using test::InkRect;

const QColor kBlack(0, 0, 0);
const QColor kWhite(255, 255, 255);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

const TDisplayLook kWhiteOnBlack{kBlack, kWhite, QStringLiteral("Arial")};

void AddLine(TDisplayLineList& list, std::string left, std::string centre, std::string right) {
  auto line = std::make_unique<TDisplayLine>();
  line->TextLeft = std::move(left);
  line->TextCentre = std::move(centre);
  line->TextRight = std::move(right);
  list.Add(std::move(line));
}

struct TPainted {
  QImage Image;
  std::optional<std::int32_t> Size;
};

// Paints list into a logical width x height client on an image of the given
// pixel density.
TPainted Paint(const TDisplayLineList& list, const TDisplayLook& look, int width, int height, qreal dpr = 1) {
  TPainted painted;
  painted.Image = QImage(qRound(width * dpr), qRound(height * dpr), QImage::Format_RGB32);
  painted.Image.setDevicePixelRatio(dpr);
  painted.Image.fill(kRed);  // PaintDisplay must cover every pixel
  QPainter painter(&painted.Image);
  painted.Size = PaintDisplay(painter, QRect(0, 0, width, height), list, look);
  return painted;
}

QRect RowQRect(int width, int height, int lineCount, int index) {
  const TRect r = RowRect(TRect{0, 0, width, height}, lineCount, index);
  return QRect(QPoint(r.Left, r.Top), QSize(r.Width(), r.Height()));
}

TEST(DisplayLook, ColoursAndFontComeFromTheContentOrThePreferences) {
  constexpr TColor prefsBg = 0x000000;
  constexpr TColor prefsFont = 0xFFFFFF;
  const std::string prefsName = "Courier New";
  const struct {
    const char* why;
    TColor bg, font;
    const char* name;
    std::uint8_t style;
    bool flash;
    QColor window, fontColour;
    const char* expectedName;
  } cases[] = {
      {"nothing set: the preferences", clNone, clNone, "", 0, false, kBlack, kWhite, "Courier New"},
      {"everything set: the content (red in the low byte)", 0x0000FF, 0xFF0000, "Arial", 0, false, kRed, kBlue,
       "Arial"},
      {"only the background set", 0xFF0000, clNone, "", 0, false, kBlue, kWhite, "Courier New"},
      {"blink, shown phase", 0x0000FF, clNone, "", 1, false, kRed, kWhite, "Courier New"},
      {"blink, hidden phase: font colour := window colour", 0x0000FF, clNone, "", 1, true, kRed, kRed,
       "Courier New"},
      {"alternate, plain phase", clNone, 0xFF0000, "", 2, false, kBlack, kBlue, "Courier New"},
      {"alternate, swapped phase", clNone, 0xFF0000, "", 2, true, kBlue, kBlack, "Courier New"},
      {"steady ignores the phase", clNone, clNone, "", 0, true, kBlack, kWhite, "Courier New"},
      {"an unknown style ignores the phase", 0x0000FF, clNone, "", 3, true, kRed, kWhite, "Courier New"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    TDisplayLineList list;
    list.Clear();
    list.BgColour = c.bg;
    list.FontColour = c.font;
    list.FontName = c.name;
    list.DisplayStyle = static_cast<TDisplayStyle>(c.style);
    const TDisplayLook look = ResolveDisplayLook(list, prefsBg, prefsFont, prefsName, c.flash);
    EXPECT_EQ(look.WindowColour, c.window);
    EXPECT_EQ(look.FontColour, c.fontColour);
    EXPECT_EQ(look.FontName.toStdString(), c.expectedName);
  }
}

TEST(DisplayFont, HeightConvention) {
  {
    SCOPED_TRACE("negative: a character height in pixels");
    const QFont font = DisplayFont(QStringLiteral("Arial"), -175);
    EXPECT_EQ(font.pixelSize(), 175);
    EXPECT_EQ(font.weight(), QFont::Normal);
    EXPECT_FALSE(font.italic());
    EXPECT_EQ(font.family(), QStringLiteral("Arial"));
  }
  for (int cell : {1, 2, 40, 175}) {
    SCOPED_TRACE(::testing::Message() << "positive: a cell height of " << cell);
    const QFont font = DisplayFont(QStringLiteral("Arial"), cell);
    const QFontMetrics metrics(font);
    EXPECT_GE(font.pixelSize(), 1);
    EXPECT_NEAR(metrics.ascent() + metrics.descent(), cell, 1 + cell / 50);
    EXPECT_LT(font.pixelSize(), cell + 1) << "the em is smaller than the cell";
  }
  {
    SCOPED_TRACE("0: the application font's size");
    const QFont font = DisplayFont(QStringLiteral("Arial"), 0);
    const QFont application = QGuiApplication::font();
    if (application.pixelSize() > 0) {
      EXPECT_EQ(font.pixelSize(), application.pixelSize());
    } else {
      EXPECT_EQ(font.pointSizeF(), application.pointSizeF());
    }
  }
}

TEST(DisplayFont, TheUsualFacesResolveToMetricCompatibleOnes) {
  // The preference default and the content default must not fall back to an
  // arbitrary face: the fit would then differ from machine to machine.
  for (const char* name : {"Arial", "Courier New"}) {
    SCOPED_TRACE(name);
    const QFontInfo info(DisplayFont(QString::fromLatin1(name), -100));
    EXPECT_TRUE(info.family().startsWith(QStringLiteral("Liberation"))) << info.family().toStdString();
  }
  EXPECT_TRUE(QFontInfo(DisplayFont(QStringLiteral("Courier New"), -100)).fixedPitch());
}

TEST(NormalisedText, EveryBreakBecomesALineFeed) {
  EXPECT_EQ(NormalisedText("A\r\nB\rC\nD\r\n"), QStringLiteral("A\nB\nC\nD\n"));
  EXPECT_EQ(NormalisedText("Caf\xC3\xA9 & co"), QString::fromUtf8("Caf\xC3\xA9 & co"));
}

// DrawTextAligned with an opaque background of its own colour shows the text
// cell it chose, so centring and clipping can be read off the pixels.
class DrawTextAlignedTest : public ::testing::Test {
 protected:
  QImage image{400, 300, QImage::Format_RGB32};

  QRect DrawCell(const QRect& r, const QString& s, int flags) {
    image.fill(kWhite);
    QPainter painter(&image);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(20);
    painter.setFont(font);
    painter.setPen(kBlack);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(kRed);
    DrawTextAligned(painter, r, s, flags);
    return InkRect(image, kWhite);
  }
};

TEST_F(DrawTextAlignedTest, CentresTheCellWithTheOddPixelBelow) {
  // One line's cell is ascent plus descent, rounded up to whole pixels; the
  // opaque fill starts at the cell's top (and may end a pixel short of its
  // bottom). Centred with the odd pixel below means a gap above of
  // (H - cell) div 2.
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(20);
  const QFontMetricsF metrics(font);
  const int cellHeight = qCeil(metrics.ascent() + metrics.descent());
  for (int height : {100, 101, 102, 103}) {
    SCOPED_TRACE(::testing::Message() << "rectangle height " << height);
    const QRect r(10, 20, 300, height);
    const QRect cell = DrawCell(r, QStringLiteral("Xg"), CON_DrawLeft);
    ASSERT_FALSE(cell.isNull());
    EXPECT_EQ(cell.left(), r.left());
    EXPECT_EQ(cell.top() - r.top(), (height - cellHeight) / 2);
    EXPECT_GE(cell.height(), cellHeight - 1);
    EXPECT_LE(cell.height(), cellHeight);
  }
}

TEST_F(DrawTextAlignedTest, TextTallerThanTheRectangleStartsAtItsTopAndIsClipped) {
  const QRect r(10, 50, 300, 30);  // room for one line of a 20-pixel font, not three
  const QRect ink = DrawCell(r, QStringLiteral("One\nTwo\nThree"), CON_DrawCentre);
  ASSERT_FALSE(ink.isNull());
  EXPECT_EQ(ink.top(), r.top());
  EXPECT_TRUE(r.contains(ink)) << "ink outside the rectangle";
}

TEST_F(DrawTextAlignedTest, AlignsHorizontallyByTheFlags) {
  const QRect r(10, 20, 300, 100);
  const QRect left = DrawCell(r, QStringLiteral("Mid"), CON_DrawLeft);
  const QRect centre = DrawCell(r, QStringLiteral("Mid"), CON_DrawCentre);
  const QRect right = DrawCell(r, QStringLiteral("Mid"), CON_DrawRight);
  EXPECT_EQ(left.left(), r.left());
  EXPECT_EQ(right.right(), r.right());
  EXPECT_LE(std::abs((centre.left() - r.left()) - (r.right() - centre.right())), 1);
  EXPECT_EQ(left.width(), right.width());
}

TEST_F(DrawTextAlignedTest, WrapsAtWordsAndStaysInsideTheRectangle) {
  const QRect r(10, 10, 120, 280);
  const QRect one = DrawCell(r, QStringLiteral("word"), CON_DrawLeft);
  const QRect many = DrawCell(r, QStringLiteral("word word word word word word"), CON_DrawLeft);
  EXPECT_GE(many.height(), 3 * one.height());
  EXPECT_TRUE(r.contains(many));
}

TEST_F(DrawTextAlignedTest, AnAmpersandIsDrawnAsItself) {
  // With mnemonic processing a lone "&" would vanish and "A&B" would lose a
  // character.
  const QRect r(10, 10, 380, 100);
  image.fill(kWhite);
  {
    QPainter painter(&image);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(40);
    painter.setFont(font);
    painter.setPen(kBlack);
    DrawTextAligned(painter, r, QStringLiteral("&"), CON_DrawLeft);
  }
  EXPECT_GT(CountPixels(image, kBlack), 20);
  const QRect withAmpersand = DrawCell(r, QStringLiteral("A&B"), CON_DrawLeft);
  const QRect withoutAmpersand = DrawCell(r, QStringLiteral("AB"), CON_DrawLeft);
  EXPECT_GT(withAmpersand.width(), withoutAmpersand.width());
}

TEST_F(DrawTextAlignedTest, EveryKindOfBreakStartsANewLine) {
  const QRect r(10, 10, 380, 280);
  const QRect oneLine = DrawCell(r, QStringLiteral("A B"), CON_DrawLeft);
  for (const char* text : {"A\r\nB", "A\rB", "A\nB"}) {
    SCOPED_TRACE(::testing::Message() << "break " << QString::fromLatin1(text).toUtf8().toHex().toStdString());
    const QRect twoLines = DrawCell(r, NormalisedText(text), CON_DrawLeft);
    EXPECT_GE(twoLines.height(), 2 * oneLine.height());
  }
}

TEST(PaintDisplay, AnEmptyListFillsTheClientWithTheWindowColour) {
  TDisplayLineList list;
  list.Clear();
  const TPainted painted = Paint(list, TDisplayLook{kBlue, kWhite, QStringLiteral("Arial")}, 300, 200);
  EXPECT_FALSE(painted.Size.has_value());
  EXPECT_EQ(CountPixels(painted.Image, kBlue), 300 * 200);
}

TEST(PaintDisplay, AShortLineIsSizedByTheHeightLimit) {
  TDisplayLineList list;
  list.Clear();
  AddLine(list, "", "H", "");
  const TPainted painted = Paint(list, kWhiteOnBlack, 2000, 439);
  ASSERT_TRUE(painted.Size.has_value());
  EXPECT_EQ(*painted.Size, 175);  // Round(0.8 * (439 div 2))
  // The size is a character height: the capital's ink is the face's cap
  // height at 175 pixels.
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(175);
  const QRect ink = InkRect(painted.Image, kBlack);
  EXPECT_NEAR(ink.height(), QFontMetrics(font).capHeight(), 3);
  EXPECT_GT(CountPixels(painted.Image, kWhite), 1000);
}

TEST(PaintDisplay, ALongLineIsSizedByTheWidthLimitAndFitsTheWidth) {
  TDisplayLineList list;
  list.Clear();
  AddLine(list, "", "A rather long line of text that sets the size", "");
  const int width = 800;
  const TPainted painted = Paint(list, kWhiteOnBlack, width, 600);
  ASSERT_TRUE(painted.Size.has_value());
  EXPECT_LT(*painted.Size, Round(0.8 * (600 / 2)));
  const QRect ink = InkRect(painted.Image, kBlack);
  // About 1/1.1 of the window's width, on one line.
  EXPECT_GT(ink.width(), width * 85 / 100);
  EXPECT_LT(ink.width(), width - 2 * CON_RowMargin);
  EXPECT_EQ(InkBands(painted.Image, kBlack).size(), 1u);
}

TEST(PaintDisplay, WidestIsMeasuredOverTheJoinedTextLines) {
  // Left "AAAA" and right "BBBB" are measured as "AAAABBBB": a size fitted to
  // one of them alone would make the two overlap.
  TDisplayLineList joined;
  joined.Clear();
  AddLine(joined, "AAAA", "", "BBBB");
  TDisplayLineList single;
  single.Clear();
  AddLine(single, "AAAABBBB", "", "");
  const TPainted a = Paint(joined, kWhiteOnBlack, 800, 600);
  const TPainted b = Paint(single, kWhiteOnBlack, 800, 600);
  ASSERT_TRUE(a.Size.has_value());
  EXPECT_EQ(a.Size, b.Size);
  EXPECT_LT(*a.Size, Round(0.8 * 300)) << "the width limit governs";
  // A break in the left text splits the joined text into "AAAA" and "BBBB":
  // sized like two rows holding one of them each.
  TDisplayLineList broken;
  broken.Clear();
  AddLine(broken, "AAAA\r\nBB", "", "BB");
  const TPainted c = Paint(broken, kWhiteOnBlack, 800, 600);
  TDisplayLineList twoRows;
  twoRows.Clear();
  AddLine(twoRows, "AAAA", "", "");
  AddLine(twoRows, "", "", "BBBB");
  const TPainted d = Paint(twoRows, kWhiteOnBlack, 800, 600);
  EXPECT_GT(*c.Size, *a.Size);
  EXPECT_EQ(c.Size, d.Size);
}

TEST(PaintDisplay, FiveTextLinesInOneRowAreCentredWithTheDivisorSix) {
  TDisplayLineList list;
  list.Clear();
  AddLine(list, "", "Lumaren\r\nVersion: 1.0.4.0\r\nNode: Foyer\r\nGroup: 1\r\nWaiting to connect...", "");
  const int width = 1600;
  const int height = 600;
  const TPainted painted = Paint(list, kWhiteOnBlack, width, height);
  ASSERT_TRUE(painted.Size.has_value());
  EXPECT_EQ(*painted.Size, 80);  // Round(0.8 * (600 div 6))
  const auto bands = InkBands(painted.Image, kBlack);
  ASSERT_EQ(bands.size(), 5u);
  for (const auto& band : bands) {
    const QRect ink = InkRect(painted.Image, kBlack, QRect(0, band.Top, width, band.Bottom - band.Top + 1));
    SCOPED_TRACE(::testing::Message() << "band at " << band.Top);
    EXPECT_LE(std::abs(ink.left() - (width - 1 - ink.right())), 12) << "centred";
  }
  // The block of five lines sits in the middle of the single row.
  const QRect all = InkRect(painted.Image, kBlack);
  EXPECT_LE(std::abs(all.top() - (height - 1 - all.bottom())), *painted.Size / 2);
}

TEST(PaintDisplay, EachDisplayLineGetsItsOwnRow) {
  TDisplayLineList list;
  list.Clear();
  AddLine(list, "", "One", "");
  AddLine(list, "", "Two", "");
  AddLine(list, "", "Three", "");
  const int width = 900;
  const int height = 300;
  const TPainted painted = Paint(list, kWhiteOnBlack, width, height);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const QRect row = RowQRect(width, height, 3, i);
    EXPECT_EQ(row, QRect(5, 100 * i + 5, width - 10, 90));
    const QRect slot(0, 100 * i, width, 100);
    const QRect ink = InkRect(painted.Image, kBlack, slot);
    ASSERT_FALSE(ink.isNull());
    EXPECT_TRUE(row.contains(ink));
    // The glyphs' ink is not the text cell, but it lies near the middle.
    EXPECT_LE(std::abs(ink.center().y() - row.center().y()), row.height() / 6);
  }
}

TEST(PaintDisplay, LeftCentreAndRightShareTheRow) {
  TDisplayLineList list;
  list.Clear();
  AddLine(list, "L", "C", "R");
  const int width = 1200;
  const TPainted painted = Paint(list, kWhiteOnBlack, width, 300);
  const QRect whole = InkRect(painted.Image, kBlack);
  ASSERT_FALSE(whole.isNull());
  const int size = *painted.Size;
  EXPECT_LT(whole.left(), CON_RowMargin + size / 5) << "left text at the left edge";
  EXPECT_GT(whole.right(), width - CON_RowMargin - size / 5) << "right text at the right edge";
  const QRect middle = InkRect(painted.Image, kBlack, QRect(width / 2 - size / 2, 0, size, 300));
  EXPECT_FALSE(middle.isNull()) << "centre text in the middle";
  // Nothing between the three.
  EXPECT_TRUE(InkRect(painted.Image, kBlack, QRect(size, 0, width / 2 - size / 2 - size - 1, 300)).isNull());
  EXPECT_TRUE(InkRect(painted.Image, kBlack, QRect(width / 2 + size, 0, width / 2 - 2 * size, 300)).isNull());
}

TEST(PaintDisplay, TextsOfOneRowAreCentredEachOnItsOwn) {
  TDisplayLineList list;
  list.Clear();
  AddLine(list, "Top\r\nBottom", "", "Right");
  const int width = 1200;
  const int height = 400;
  const TPainted painted = Paint(list, kWhiteOnBlack, width, height);
  const QRect left = InkRect(painted.Image, kBlack, QRect(0, 0, width / 2, height));
  const QRect right = InkRect(painted.Image, kBlack, QRect(width / 2, 0, width / 2, height));
  ASSERT_FALSE(left.isNull());
  ASSERT_FALSE(right.isNull());
  EXPECT_GT(left.height(), right.height() * 3 / 2);
  EXPECT_LE(std::abs(left.center().y() - height / 2), *painted.Size / 3);
  EXPECT_LE(std::abs(right.center().y() - height / 2), *painted.Size / 3);
}

TEST(PaintDisplay, TextTallerThanItsRowIsClippedAtTheRowBottom) {
  // Five text lines share the height with a sixth in the second row, so the
  // first row's text needs about two thirds of the window but gets half.
  TDisplayLineList list;
  list.Clear();
  AddLine(list, "", "1\r\n2\r\n3\r\n4\r\n5", "");
  AddLine(list, "", "6", "");
  const int width = 600;
  const int height = 400;
  const TPainted painted = Paint(list, kWhiteOnBlack, width, height);
  const QRect row0 = RowQRect(width, height, 2, 0);
  const QRect ink0 = InkRect(painted.Image, kBlack, QRect(0, 0, width, height / 2));
  EXPECT_TRUE(row0.contains(ink0));
  EXPECT_LT(ink0.top(), row0.top() + *painted.Size / 2) << "starts at the row top";
  EXPECT_GE(ink0.bottom(), row0.bottom() - 2) << "runs to the row bottom";
  // The margins between the rows stay clear.
  EXPECT_TRUE(InkRect(painted.Image, kBlack, QRect(0, row0.bottom() + 1, width, 10)).isNull());
}

TEST(PaintDisplay, LinesWithoutTextDrawNothing) {
  TDisplayLineList list;
  list.Clear();
  AddLine(list, "", "", "");
  AddLine(list, "", "", "");
  const TPainted painted = Paint(list, kWhiteOnBlack, 400, 300);
  ASSERT_TRUE(painted.Size.has_value());
  EXPECT_EQ(*painted.Size, -1);  // widest 0 gives the width limit -1
  EXPECT_EQ(CountPixels(painted.Image, kBlack), 400 * 300);
}

TEST(PaintDisplay, MoreTextLinesThanPixelRowsTakeTheDefaultHeight) {
  std::string many;
  for (int i = 0; i < 60; ++i) many += "line\r\n";
  TDisplayLineList list;
  list.Clear();
  AddLine(list, many, "", "");
  const TPainted painted = Paint(list, kWhiteOnBlack, 300, 50);
  ASSERT_TRUE(painted.Size.has_value());
  EXPECT_EQ(*painted.Size, 0);
  EXPECT_TRUE(RowQRect(300, 50, 1, 0).contains(InkRect(painted.Image, kBlack)));

  // More display lines than pixel rows: every row is empty and nothing shows.
  TDisplayLineList rows;
  rows.Clear();
  for (int i = 0; i < 80; ++i) AddLine(rows, "", "x", "");
  const TPainted crowded = Paint(rows, kWhiteOnBlack, 300, 50);
  EXPECT_EQ(CountPixels(crowded.Image, kBlack), 300 * 50);
}

TEST(PaintDisplay, AHighDensityDeviceShowsTheSameLayout) {
  TDisplayLineList list;
  list.Clear();
  AddLine(list, "Left", "", "");
  AddLine(list, "", "Centre & more", "");
  AddLine(list, "", "", "Right");
  const TPainted normal = Paint(list, kWhiteOnBlack, 500, 300, 1);
  const TPainted dense = Paint(list, kWhiteOnBlack, 500, 300, 2);
  EXPECT_EQ(dense.Image.size(), QSize(1000, 600));
  EXPECT_EQ(normal.Size, dense.Size);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const QRect slot(0, 100 * i, 500, 100);
    const QRect a = InkRect(normal.Image, kBlack, slot);
    const QRect b = InkRect(dense.Image, kBlack, QRect(slot.topLeft() * 2, slot.size() * 2));
    ASSERT_FALSE(a.isNull());
    ASSERT_FALSE(b.isNull());
    EXPECT_NEAR(b.left() / 2.0, a.left(), 2);
    EXPECT_NEAR(b.right() / 2.0, a.right(), 2);
    EXPECT_NEAR(b.top() / 2.0, a.top(), 2);
    EXPECT_NEAR(b.bottom() / 2.0, a.bottom(), 2);
  }
}

}  // namespace
}  // namespace lumaren
