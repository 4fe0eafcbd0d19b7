#pragma once
// The few pixel copies the frame path needs, on RGB32 images, written out
// by hand: QPainter's scaled and mirrored image drawing costs several times
// more than a nearest-neighbour loop at these sizes.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRgb>

namespace cx {

// Stretches all of `source` into `area` of `target` (nearest neighbour),
// mirrored left to right with `mirrorH` and top to bottom with `mirrorV`.
// A null source fills the area black. Clipped to the target.
void stretchInto(QImage& target, QRect area, const QImage& source, bool mirrorH, bool mirrorV);

// Copies `source` to `at` in `target`, leaving out the pixels of colour
// `transparent`. Clipped to `clip` and the target.
void copyKeyed(QImage& target, QPoint at, const QImage& source, QRgb transparent, QRect clip);

// Lays `source` (premultiplied ARGB32, such as text drawn on a transparent
// image) over `target` at `at`, source over destination. Clipped to `clip`
// and the target.
void blendOver(QImage& target, QPoint at, const QImage& source, QRect clip);

}  // namespace cx
