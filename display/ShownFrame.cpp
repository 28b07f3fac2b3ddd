#include "display/ShownFrame.h"

#include <QPaintDevice>

#include "display/uDisplayMetrics.h"

namespace lumaren {

namespace {

bool Covers(const QRegion& region, const QRect& r) { return QRegion(r).subtracted(region).isEmpty(); }

}  // namespace

bool TFrame::SameLayout(const TFrame& other) const {
  return Size == other.Size && PixelRatio == other.PixelRatio && LaidOut == other.LaidOut && WindowColour == other.WindowColour &&
         FontColour == other.FontColour && FontName == other.FontName && FittedSize == other.FittedSize &&
         Rows.size() == other.Rows.size();
}

QRect TFrame::RowRect(int index) const {
  const TRect r = lumaren::RowRect(TRect{0, 0, Size.width(), Size.height()}, static_cast<int>(Rows.size()), index);
  return QRect(QPoint(r.Left, r.Top), QSize(r.Width(), r.Height()));
}

TFrame DisplayFrame(const QPaintDevice& device, const QRect& client, const TDisplayLineList& list,
                    const TDisplayLook& look, TTextMeasureCache* cache) {
  TFrame frame;
  frame.Size = client.size();
  frame.PixelRatio = device.devicePixelRatioF();
  frame.LaidOut = true;
  frame.WindowColour = look.WindowColour.rgba();
  frame.FontColour = look.FontColour.rgba();
  frame.FontName = look.FontName;
  frame.FittedSize = FittedDisplaySize(device, client, list, look.FontName, cache);
  frame.Rows.reserve(static_cast<std::size_t>(list.Count()));
  for (int i = 0; i < list.Count(); ++i) {
    const TDisplayLine& line = list.Items(i);
    frame.Rows.push_back(TFrameRow{line.TextLeft, line.TextCentre, line.TextRight});
  }
  return frame;
}

QRegion TShownFrame::ChangedRegion(const TFrame& next) const {
  const QRect whole(QPoint(0, 0), next.Size);
  if (!FFrame || !FFrame->SameLayout(next)) return QRegion(whole);
  QRegion changed;
  for (std::size_t i = 0; i < next.Rows.size(); ++i) {
    if (!FRowKnown[i] || FFrame->Rows[i] != next.Rows[i]) changed += next.RowRect(static_cast<int>(i));
  }
  return changed;
}

void TShownFrame::Painted(const TFrame& painted, const QRegion& region) {
  if (Covers(region, QRect(QPoint(0, 0), painted.Size))) {
    FFrame = painted;
    FRowKnown.assign(painted.Rows.size(), true);
    return;
  }
  if (!FFrame || !FFrame->SameLayout(painted)) {
    // Part of the window shows one layout and part another.
    Forget();
    return;
  }
  for (std::size_t i = 0; i < painted.Rows.size(); ++i) {
    const QRect row = painted.RowRect(static_cast<int>(i));
    if (row.isEmpty() || Covers(region, row)) {
      FFrame->Rows[i] = painted.Rows[i];
      FRowKnown[i] = true;
    } else if (region.intersects(row)) {
      FRowKnown[i] = false;
    }
  }
}

void TShownFrame::Forget() {
  FFrame.reset();
  FRowKnown.clear();
}

}  // namespace lumaren
