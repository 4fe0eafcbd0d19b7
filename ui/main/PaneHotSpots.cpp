#include "PaneHotSpots.h"

namespace cx {

HotSpot hotSpotAt(QPoint point, QSize size)
{
    const int w = size.width();
    const int h = size.height();
    if (point.y() < h - hotSpotSide || point.y() >= h) return HotSpot::None;
    // Right edge of each square, as its distance from the pane's right edge.
    const struct {
        int gap;
        HotSpot spot;
    } squares[] = {{0, HotSpot::Magnify}, {27, HotSpot::Snapshot}, {54, HotSpot::FlipHorizontal}, {81, HotSpot::FlipVertical}};
    for (const auto& s : squares) {
        const int right = w - s.gap;
        if (point.x() >= right - hotSpotSide && point.x() < right) return s.spot;
    }
    return HotSpot::None;
}

}  // namespace cx
