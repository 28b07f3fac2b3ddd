#include "display/DisplayPainter.h"

#include <QByteArray>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QTransform>
#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <utility>

#include "display/uDisplayMetrics.h"
#include "platform/qt/QtColour.h"

namespace lumaren {

namespace {

QRect ToQRect(const TRect& r) { return QRect(QPoint(r.Left, r.Top), QSize(r.Width(), r.Height())); }

// QRect's right and bottom are inclusive; ours are one past the last pixel.
TRect FromQRect(const QRect& r) { return TRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

// The width of the widest text line in font on device; 0 when no line has
// any text.
std::int64_t WidestTextLine(const QFont& font, const QPaintDevice& device, const TDisplayLineList& list,
                            TTextMeasureCache* cache) {
  const QFontMetrics metrics(font, &device);
  const QString context = cache ? TTextMeasureCache::WidthContext(font, device) : QString();
  std::int64_t widest = 0;
  for (int i = 0; i < list.Count(); ++i) {
    for (const std::string& textLine : SplitTextLines(list.Items(i).Text())) {
      const QString text = QString::fromStdString(textLine);
      const int width = cache ? cache->Width(context, metrics, text) : metrics.horizontalAdvance(text);
      widest = std::max<std::int64_t>(widest, width);
    }
  }
  return widest;
}

// What Qt's FreeType engine renders into its own glyph cache at most, in
// device pixels.
constexpr qreal CON_FreeTypeCachedGlyphSize = 64;

// Whether ConfigureGlyphCache switched the FreeType engine's own glyph cache
// off; only a switch that it made is undone below.
bool FreeTypeCacheSwitchedOff() {
  return qgetenv("QT_NO_FT_CACHE") == "1" &&
         qEnvironmentVariableIntValue("QT_MAX_CACHED_GLYPH_SIZE") > CON_FreeTypeCachedGlyphSize;
}

// Whether text of pixelSize drawn by painter should keep the FreeType
// engine's own glyph cache. ConfigureGlyphCache switches that cache off,
// because the engine leaves glyphs above 64 device pixels out of it; but for
// many small glyphs it is several times faster than the paint engine's
// cache, which asks FreeType for every glyph's metrics at every draw.
bool KeepsFreeTypeCache(const QPainter& painter, int pixelSize) {
  const qreal scale = std::sqrt(std::abs(painter.deviceTransform().determinant()));
  return pixelSize > 0 && pixelSize * scale <= CON_FreeTypeCachedGlyphSize && FreeTypeCacheSwitchedOff();
}

// Fonts made inside this scope keep the FreeType engine's own glyph cache:
// the engine reads the setting once, when a face is first used at a size.
// The fonts used in the scope carry a mark of their own (a style strategy
// that draws nothing differently), so the engines made here serve only
// what the scope was entered for: draws that KeepsFreeTypeCache allowed,
// never the same size drawn larger on a denser device, and measuring at the
// reference height, which the engine's cache makes about four times faster
// and which is never drawn.
class TFreeTypeCacheScope {
 public:
  explicit TFreeTypeCacheScope(bool active) : FActive(active) {
    if (FActive) qunsetenv("QT_NO_FT_CACHE");
  }
  ~TFreeTypeCacheScope() {
    if (FActive) qputenv("QT_NO_FT_CACHE", "1");
  }
  TFreeTypeCacheScope(const TFreeTypeCacheScope&) = delete;
  TFreeTypeCacheScope& operator=(const TFreeTypeCacheScope&) = delete;

  void Mark(QFont& font) const {
    if (FActive) font.setStyleStrategy(QFont::PreferQuality);
  }

 private:
  bool FActive;
};

}  // namespace

void ConfigureGlyphCache() {
  if (qEnvironmentVariableIsEmpty("QT_MAX_CACHED_GLYPH_SIZE")) {
    qputenv("QT_MAX_CACHED_GLYPH_SIZE", QByteArray::number(CON_MaxCachedGlyphSize));
  }
  if (qEnvironmentVariableIsEmpty("QT_NO_FT_CACHE")) qputenv("QT_NO_FT_CACHE", "1");
}

QString TTextMeasureCache::Key(const QFont& font, const QPaintDevice& device, const QString& measure,
                               const QString& text) {
  // The font's key names its face, size and style; the density and the
  // resolution pick the metrics of the device.
  return font.key() + QLatin1Char('\x1f') + QString::number(device.devicePixelRatioF()) + QLatin1Char(' ') +
         QString::number(device.logicalDpiY()) + QLatin1Char('\x1f') + measure + QLatin1Char('\x1f') + text;
}

int TTextMeasureCache::Width(const QFont& font, const QPaintDevice& device, const QString& text) {
  return Width(WidthContext(font, device), QFontMetrics(font, &device), text);
}

QString TTextMeasureCache::WidthContext(const QFont& font, const QPaintDevice& device) {
  return Key(font, device, QString(), QString());
}

int TTextMeasureCache::Width(const QString& context, const QFontMetrics& metrics, const QString& text) {
  return FWidths.Find(context + text, [&] { return metrics.horizontalAdvance(text); });
}

int TTextMeasureCache::WrappedHeight(QPainter& painter, const QRect& r, int flags, const QString& text) {
  const QString key = Key(painter.font(), *painter.device(),
                          QString::number(r.width()) + QLatin1Char(' ') + QString::number(flags), text);
  return FHeights.Find(key, [&] { return painter.boundingRect(r, flags, text).height(); });
}

void TMeasureTable::Keep(const QString& key, int value) {
  if (FNewer.size() >= CON_TextMeasureCacheSize) {
    FOlder = std::move(FNewer);
    FNewer = QHash<QString, int>();
  }
  FNewer.insert(key, value);
}

TDisplayLook ResolveDisplayLook(const TDisplayLineList& list, TColor prefsBgColour, TColor prefsFontColour,
                                const std::string& prefsFontName, bool flashState) {
  TDisplayLook look;
  look.WindowColour = platform::TColorToQColor(list.BgColour == clNone ? prefsBgColour : list.BgColour);
  look.FontName = QString::fromStdString(list.FontName.empty() ? prefsFontName : list.FontName);
  look.FontColour = platform::TColorToQColor(list.FontColour == clNone ? prefsFontColour : list.FontColour);
  if (flashState) {
    if (list.DisplayStyle == TDisplayStyle::dsBlink) {
      look.FontColour = look.WindowColour;
    } else if (list.DisplayStyle == TDisplayStyle::dsAlternate) {
      std::swap(look.WindowColour, look.FontColour);
    }
  }
  return look;
}

QFont DisplayFont(const QString& fontName, std::int32_t height) {
  QFont font(fontName);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  if (height < 0) {
    font.setPixelSize(-height);
  } else if (height > 0) {
    // A cell height: scale the em size so that ascent plus descent comes to
    // the height asked for. The face's proportions are read at the reference
    // height, where rounding in the metrics is negligible.
    font.setPixelSize(FHeight);
    const QFontMetricsF reference(font);
    const double cell = reference.ascent() + reference.descent();
    const auto pixels = cell > 0 ? Round(height * static_cast<double>(FHeight) / cell) : height;
    font.setPixelSize(static_cast<int>(std::max<std::int64_t>(pixels, 1)));
  } else {
    const QFont application = QGuiApplication::font();
    if (application.pixelSize() > 0) {
      font.setPixelSize(application.pixelSize());
    } else {
      font.setPointSizeF(application.pointSizeF());
    }
  }
  return font;
}

QString NormalisedText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

namespace {

// DrawTextAligned's flags: vertical placement is DrawTextAligned's own.
int TopAligned(int drawFlags) { return (drawFlags & ~Qt::AlignVertical_Mask) | Qt::AlignTop; }

// The height of s wrapped to r's width, measured with the flags it is drawn
// with.
int TextHeight(QPainter& canvas, const QRect& r, const QString& s, int flags, TTextMeasureCache* cache) {
  return cache ? cache->WrappedHeight(canvas, r, flags, s) : canvas.boundingRect(r, flags, s).height();
}

// DrawTextAligned once the text's height is known.
void DrawMeasured(QPainter& canvas, const QRect& r, const QString& s, int flags, int textHeight) {
  const QRect t = ToQRect(VerticallyCentred(FromQRect(r), textHeight));
  // Qt clips only when the text overflows; the clip keeps text that is
  // taller than the row (or words wider than it) inside t.
  canvas.save();
  canvas.setClipRect(t, Qt::IntersectClip);
  canvas.drawText(t, flags, s);
  canvas.restore();
}

}  // namespace

void DrawTextAligned(QPainter& canvas, const QRect& r, const QString& s, int drawFlags, TTextMeasureCache* cache) {
  // Nothing of the text could show in an empty rectangle, and laying out
  // word-wrapped text in a width of zero or less is pointless work.
  if (r.width() <= 0 || r.height() <= 0) return;
  const int flags = TopAligned(drawFlags);
  DrawMeasured(canvas, r, s, flags, TextHeight(canvas, r, s, flags, cache));
}

namespace {

// The one text of a row, drawn as DrawTextAligned draws it. When it lays out
// as one line, its cell is not filled first: the cell would be filled with
// the window colour over the window colour, and no other text of the row
// and no later line of its own could cover its glyphs, so the pixels are the
// same. Filling the cells was a sizeable part of a paint.
void DrawAlone(QPainter& painter, const QRect& row, const TDisplayLine& line, TTextMeasureCache* cache) {
  const bool left = !line.TextLeft.empty();
  const bool centre = !line.TextCentre.empty();
  const QString s = NormalisedText(left ? line.TextLeft : centre ? line.TextCentre : line.TextRight);
  const int flags = TopAligned(left ? CON_DrawLeft : centre ? CON_DrawCentre : CON_DrawRight);
  const int textHeight = TextHeight(painter, row, s, flags, cache);
  // Two lines are at least twice the font's height.
  const bool oneLine = !s.contains(QLatin1Char('\n')) && textHeight < painter.fontMetrics().height() * 3 / 2;
  if (oneLine) painter.setBackgroundMode(Qt::TransparentMode);
  DrawMeasured(painter, row, s, flags, textHeight);
  if (oneLine) painter.setBackgroundMode(Qt::OpaqueMode);
}

}  // namespace

std::optional<std::int32_t> FittedDisplaySize(const QPaintDevice& device, const QRect& client,
                                              const TDisplayLineList& list, const QString& fontName,
                                              TTextMeasureCache* cache) {
  if (list.Count() == 0) return std::nullopt;
  // Every text line is measured once, at the reference character height.
  const TFreeTypeCacheScope freeTypeCache(FreeTypeCacheSwitchedOff());
  QFont reference = DisplayFont(fontName, -FHeight);
  freeTypeCache.Mark(reference);
  const std::int64_t widest = WidestTextLine(reference, device, list, cache);
  return FittedTextSize(client.height(), client.width(), list.TotalLineCount(), widest);
}

std::optional<std::int32_t> PaintDisplay(QPainter& painter, const QRect& client, const TDisplayLineList& list,
                                         const TDisplayLook& look, TTextMeasureCache* cache) {
  return PaintDisplay(painter, client, QRegion(client), list, look, cache);
}

std::optional<std::int32_t> PaintDisplay(QPainter& painter, const QRect& client, const QRegion& region,
                                         const TDisplayLineList& list, const TDisplayLook& look,
                                         TTextMeasureCache* cache) {
  const QRegion area = region.intersected(client);
  const bool whole = area == QRegion(client);
  painter.save();
  if (!whole) painter.setClipRegion(area, Qt::IntersectClip);
  for (const QRect& r : area) painter.fillRect(r, look.WindowColour);
  const std::optional<std::int32_t> size = FittedDisplaySize(*painter.device(), client, list, look.FontName, cache);
  if (!size) {
    painter.restore();
    return size;
  }
  const TFreeTypeCacheScope freeTypeCache(KeepsFreeTypeCache(painter, *size));
  QFont font = DisplayFont(look.FontName, FontHeightForSize(*size));
  freeTypeCache.Mark(font);
  painter.setFont(font);
  painter.setPen(look.FontColour);
  // Text cells are laid on the window colour, so where texts of one row
  // overlap the one drawn later covers the earlier.
  painter.setBackground(look.WindowColour);
  painter.setBackgroundMode(Qt::OpaqueMode);

  const TRect bounds = FromQRect(client);
  for (int i = 0; i < list.Count(); ++i) {
    const TDisplayLine& line = list.Items(i);
    const QRect row = ToQRect(RowRect(bounds, list.Count(), i));
    if (!whole && !area.intersects(row)) continue;
    const int texts = !line.TextLeft.empty() + !line.TextCentre.empty() + !line.TextRight.empty();
    if (texts == 1 && row.width() > 0 && row.height() > 0) {
      DrawAlone(painter, row, line, cache);
      continue;
    }
    if (!line.TextLeft.empty()) DrawTextAligned(painter, row, NormalisedText(line.TextLeft), CON_DrawLeft, cache);
    if (!line.TextCentre.empty()) {
      DrawTextAligned(painter, row, NormalisedText(line.TextCentre), CON_DrawCentre, cache);
    }
    if (!line.TextRight.empty()) DrawTextAligned(painter, row, NormalisedText(line.TextRight), CON_DrawRight, cache);
  }
  painter.restore();
  return size;
}

}  // namespace lumaren
