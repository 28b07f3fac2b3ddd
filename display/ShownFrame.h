#pragma once
// What the main window shows, kept so that a redraw paints only what
// changed. A scoreboard or a counter changes a line or two at a time; a
// whole redraw of a large window fills tens of megabytes and draws every
// glyph, where the changed rows are a fraction of that.

#include <QRect>
#include <QRegion>
#include <QRgb>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "display/DisplayPainter.h"
#include "display/uDisplayLine.h"

class QPaintDevice;

namespace lumaren {

// The texts of one display line.
struct TFrameRow {
  std::string Left;
  std::string Centre;
  std::string Right;

  bool operator==(const TFrameRow& other) const {
    return Left == other.Left && Centre == other.Centre && Right == other.Right;
  }
  bool operator!=(const TFrameRow& other) const { return !(*this == other); }
};

// Everything the pixels of one redraw depend on.
struct TFrame {
  QSize Size;
  qreal PixelRatio = 1;
  // False while a new size waits for its redraw: the window colour alone.
  bool LaidOut = false;
  QRgb WindowColour = 0;
  QRgb FontColour = 0;
  QString FontName;
  std::optional<std::int32_t> FittedSize;
  std::vector<TFrameRow> Rows;

  // Everything but the rows' texts is the same: each row is then drawn in the
  // same rectangle with the same font and colours.
  bool SameLayout(const TFrame& other) const;
  QRect RowRect(int index) const;
};

// The frame a redraw of list in client (at the origin) on device paints.
TFrame DisplayFrame(const QPaintDevice& device, const QRect& client, const TDisplayLineList& list,
                    const TDisplayLook& look, TTextMeasureCache* cache = nullptr);

class TShownFrame {
 public:
  // The part of the window whose pixels would change if next were painted:
  // nothing when nothing changed, the rectangles of the rows whose texts
  // changed when only texts did, the whole window otherwise, and whenever
  // what the window shows is not known.
  QRegion ChangedRegion(const TFrame& next) const;
  // Notes that painted was drawn over region of the window.
  void Painted(const TFrame& painted, const QRegion& region);
  // What the window shows is no longer known.
  void Forget();

 private:
  std::optional<TFrame> FFrame;
  // Rows that a paint of another frame covered in part show neither.
  std::vector<bool> FRowKnown;
};

}  // namespace lumaren
