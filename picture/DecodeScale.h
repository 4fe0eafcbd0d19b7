#pragma once
// Which DCT scaling the decoder uses for a picture drawn at a given size.

#include <QSize>

namespace cx {

// Returns the denominator d (1, 2, 4 or 8) of the scale 1/d at which a
// picture of `picture` pixels is decoded before it is stretched to `drawn`.
// An empty `drawn` asks for the full size.
int chooseDecodeScale(QSize picture, QSize drawn);

// Size of a picture decoded at scale 1/d (rounded up, as the decoder does).
QSize scaledSize(QSize picture, int denominator);

}  // namespace cx
