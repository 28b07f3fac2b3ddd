#pragma once
// Pixel queries for tests that look at what a window or painter drew.
// Coordinates are the image's own (device) pixels.

#include <QColor>
#include <QImage>
#include <QRect>

#include <vector>

namespace lumaren::test {

// The bounding rectangle of the pixels that differ from background inside
// area (the whole image when area is null); a null rectangle when none do.
QRect InkRect(const QImage& image, const QColor& background, const QRect& area = QRect());

// The number of pixels exactly of colour inside area (the whole image when
// area is null).
int CountPixels(const QImage& image, const QColor& colour, const QRect& area = QRect());

// The runs of image rows, top to bottom, that hold at least one pixel
// differing from background: each band as [top, bottom] rows, inclusive.
struct TBand {
  int Top;
  int Bottom;
};
std::vector<TBand> InkBands(const QImage& image, const QColor& background);

}  // namespace lumaren::test
