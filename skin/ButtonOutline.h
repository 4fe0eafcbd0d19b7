#pragma once
// The outline of a colour-keyed picture: the rectangle of its first w − 1
// columns and h − 1 rows with every pixel of the key colour cut out. Used
// for skinned buttons and for the shaped main window.

#include <QImage>
#include <QRegion>

namespace cx {

QRegion keyedOutline(const QImage& image, QRgb key);

// The key colour of a picture: its pixel (0, 0), opaque.
QRgb keyColourOf(const QImage& image);

}  // namespace cx
