#pragma once
// Paints display content into any QPainter: the main window's paint handler,
// a QImage in the tests, a benchmark. Everything here works in the paint
// device's logical pixels, so a high-density device shows the same layout
// with finer glyphs.

#include <QColor>
#include <QFont>
#include <QHash>
#include <QRect>
#include <QRegion>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

#include "display/uDisplayLine.h"
#include "protocol/uXMLHelpers.h"

class QFontMetrics;
class QPaintDevice;
class QPainter;

namespace lumaren {

// Text-drawing flags: horizontal alignment plus word wrap. No mnemonic flag
// is ever set, so an "&" is drawn as itself.
inline constexpr int CON_DrawLeft = Qt::AlignLeft | Qt::TextWordWrap;
inline constexpr int CON_DrawCentre = Qt::AlignHCenter | Qt::TextWordWrap;
inline constexpr int CON_DrawRight = Qt::AlignRight | Qt::TextWordWrap;

// The colours and font face a redraw uses, after the flash phase is applied.
struct TDisplayLook {
  QColor WindowColour;
  QColor FontColour;
  QString FontName;
};

// The largest glyph, in pixels, that the toolkit keeps rendered between
// draws. Qt's own limit is 64 pixels: every larger glyph is filled as a path
// on every draw, which made a redraw of a few fitted lines cost tens of
// milliseconds instead of one or two.
inline constexpr int CON_MaxCachedGlyphSize = 1000;

// Raises the toolkit's glyph-cache limit to CON_MaxCachedGlyphSize unless the
// environment already sets QT_MAX_CACHED_GLYPH_SIZE, and, unless
// QT_NO_FT_CACHE is set too, makes fonts keep their glyphs in the paint
// engine's cache rather than the FreeType engine's: the FreeType engine
// renders no glyph above 64 pixels into its own cache, so with the raised
// limit alone large text would not be drawn at all. The large glyphs then
// come from FreeType's rasteriser instead of Qt's path filler: the same
// shapes in the same places, with edge pixels shaded slightly differently.
// (PaintDisplay gives small text the FreeType engine's own cache back,
// which is the faster for many small glyphs.) Qt reads these settings
// before the first text is drawn, so this goes before the application
// object is made; the program and the tests that draw call it alike.
void ConfigureGlyphCache();

// The content's colours and font name where it sets them, the preferences'
// otherwise; then, in the flash phase, blink hides the text (font colour :=
// window colour) and alternate swaps the two. Other styles ignore the phase.
TDisplayLook ResolveDisplayLook(const TDisplayLineList& list, TColor prefsBgColour, TColor prefsFontColour,
                                const std::string& prefsFontName, bool flashState);

// The drawing font: the face at regular weight, no italics, with the given
// height in the toolkit-neutral convention of FontHeightForSize: negative is
// a character (em) height in pixels, positive a cell height (ascent plus
// descent; at least one pixel), 0 the application font's size.
QFont DisplayFont(const QString& fontName, std::int32_t height);

// Text with every CR LF, lone CR and lone LF turned into "\n", the break
// QPainter lays out.
QString NormalisedText(const std::string& text);

// Remembers text measurements between redraws: the width of each text line
// at the reference height and the height of each text wrapped to its row.
// A flash tick, an expose, or a message that changes one line then measures
// only what is new. The values are those of the measuring calls it stands
// for, keyed by everything they depend on. It keeps two generations of at
// most CON_TextMeasureCacheSize entries each: when the newer is full it
// becomes the older and the oldest go, and a value found in the older moves
// to the newer. So it never grows without bound, and a board that changes a
// line per message keeps its other lines measured instead of measuring all
// of them again whenever the cache fills.
inline constexpr int CON_TextMeasureCacheSize = 512;

// One kind of measure in the cache, in its two generations.
class TMeasureTable {
 public:
  // The value kept under key, or measure()'s, which is then kept.
  template <typename TMeasure>
  int Find(const QString& key, TMeasure measure) {
    const auto found = FNewer.constFind(key);
    if (found != FNewer.constEnd()) return *found;
    const auto old = FOlder.constFind(key);
    const int value = old != FOlder.constEnd() ? *old : measure();
    Keep(key, value);
    return value;
  }

 private:
  void Keep(const QString& key, int value);

  QHash<QString, int> FNewer;
  QHash<QString, int> FOlder;
};

class TTextMeasureCache {
 public:
  // QFontMetrics(font, &device).horizontalAdvance(text): what a painter on
  // device with font set measures.
  int Width(const QFont& font, const QPaintDevice& device, const QString& text);
  // The same for many texts in one font on one device: the context
  // (WidthContext) and the metrics are made once for all of them.
  static QString WidthContext(const QFont& font, const QPaintDevice& device);
  int Width(const QString& context, const QFontMetrics& metrics, const QString& text);
  // painter.boundingRect(r, flags, text).height(), which depends on r only
  // through its width.
  int WrappedHeight(QPainter& painter, const QRect& r, int flags, const QString& text);

 private:
  static QString Key(const QFont& font, const QPaintDevice& device, const QString& measure, const QString& text);

  TMeasureTable FWidths;
  TMeasureTable FHeights;
};

// Draws s inside r, aligned horizontally by drawFlags (CON_Draw...), centred
// vertically with an odd pixel below; text taller than r starts at r's top
// and is clipped at r's bottom. Uses the painter's font, pen and background;
// measures through cache when one is given.
void DrawTextAligned(QPainter& canvas, const QRect& r, const QString& s, int drawFlags,
                     TTextMeasureCache* cache = nullptr);

// The size a redraw of list in client on device fits its text to
// (FittedTextSize: the character height, or 0 and below for the special
// heights); nothing for an empty list. A cache, when given, spares
// measuring again what an earlier call measured.
std::optional<std::int32_t> FittedDisplaySize(const QPaintDevice& device, const QRect& client,
                                              const TDisplayLineList& list, const QString& fontName,
                                              TTextMeasureCache* cache = nullptr);

// Everything a redraw does after the colours are chosen: fills client with
// the window colour, fits the font to client and draws one row per display
// line. Returns the fitted size (FittedDisplaySize), nothing for an empty
// list.
std::optional<std::int32_t> PaintDisplay(QPainter& painter, const QRect& client, const TDisplayLineList& list,
                                         const TDisplayLook& look, TTextMeasureCache* cache = nullptr);

// The same redraw limited to region: the pixels inside it are those of the
// whole redraw, the rest are left alone, and rows outside it cost nothing.
// Every row keeps its text inside its own rectangle (RowRect), so a redraw of
// the rows whose text changed updates a window completely.
std::optional<std::int32_t> PaintDisplay(QPainter& painter, const QRect& client, const QRegion& region,
                                         const TDisplayLineList& list, const TDisplayLook& look,
                                         TTextMeasureCache* cache = nullptr);

}  // namespace lumaren
