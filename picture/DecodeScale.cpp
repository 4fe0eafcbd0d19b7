#include "DecodeScale.h"

#include <array>

namespace cx {

namespace {

// Scales that pay, cheapest first. Only 1/2, 1/4 and 1/8 have SIMD inverse
// DCTs in libjpeg-turbo; other fractions decode slower than the full size.
// The order comes from bench/picture_bench on photographs (see its output).
constexpr std::array<int, 3> cheapestFirst{8, 4, 2};

}  // namespace

QSize scaledSize(QSize picture, int denominator)
{
    return {(picture.width() + denominator - 1) / denominator, (picture.height() + denominator - 1) / denominator};
}

int chooseDecodeScale(QSize picture, QSize drawn)
{
    if (drawn.isEmpty() || picture.isEmpty()) return 1;
    for (int d : cheapestFirst) {
        const QSize s = scaledSize(picture, d);
        if (s.width() >= drawn.width() && s.height() >= drawn.height()) return d;
    }
    return 1;
}

}  // namespace cx
