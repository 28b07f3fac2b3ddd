#pragma once
// Paints display content into any QPainter: the main window's paint handler,
// a QImage in the tests, a benchmark. Everything here works in the paint
// device's logical pixels, so a high-density device shows the same layout
// with finer glyphs.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

#include "display/uDisplayLine.h"
#include "protocol/uXMLHelpers.h"

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

// Our colour layout (red in the low byte, then green, then blue) as a QColor;
// the top byte is ignored.
QColor TColorToQColor(TColor colour);

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

// Draws s inside r, aligned horizontally by drawFlags (CON_Draw...), centred
// vertically with an odd pixel below; text taller than r starts at r's top
// and is clipped at r's bottom. Uses the painter's font, pen and background.
void DrawTextAligned(QPainter& canvas, const QRect& r, const QString& s, int drawFlags);

// Everything a redraw does after the colours are chosen: fills client with
// the window colour, fits the font to client and draws one row per display
// line. Returns the fitted size (FittedTextSize: the character height, or 0
// and below for the special heights), nothing for an empty list.
std::optional<std::int32_t> PaintDisplay(QPainter& painter, const QRect& client, const TDisplayLineList& list,
                                         const TDisplayLook& look);

}  // namespace lumaren
