#pragma once
// The four clickable squares along the bottom edge of a camera pane,
// counted from its right edge: magnify, snapshot, horizontal flip,
// vertical flip. The picture code draws their icons at the same places.

#include <QPoint>
#include <QSize>

namespace cx {

enum class HotSpot { None, Magnify, Snapshot, FlipHorizontal, FlipVertical };

inline constexpr int hotSpotSide = 22;

// The square under `point` in a pane of `size` (left and top edges belong
// to a square, right and bottom edges do not).
HotSpot hotSpotAt(QPoint point, QSize size);

}  // namespace cx
