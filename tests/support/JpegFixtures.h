#pragma once
// JPEG frames made by the tests themselves, with TurboJPEG.

#include <QRgb>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FrameSource.h"

namespace cx::test {

struct Rgb {
    uint8_t r, g, b;
};

// Quadrant colours: each flip moves a different one into the top-left corner.
inline constexpr Rgb topLeftColour{220, 30, 30};
inline constexpr Rgb topRightColour{30, 200, 40};
inline constexpr Rgb bottomLeftColour{40, 40, 220};
inline constexpr Rgb bottomRightColour{230, 220, 40};

struct JpegOptions {
    bool grey = false;
    bool progressive = false;
    int quality = 90;
};

// RGB pixels, four coloured quadrants.
inline std::vector<uint8_t> quadrantPixels(int width, int height)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            const Rgb c = bottom ? (right ? bottomRightColour : bottomLeftColour)
                                 : (right ? topRightColour : topLeftColour);
            uint8_t* p = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3];
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    return rgb;
}

inline std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, JpegOptions options = {})
{
    return sim::encodeJpeg(rgb, width, height, options.quality, options.grey, options.progressive);
}

// JPEG colours drift a little; a quadrant is recognised within this distance.
inline bool near(QRgb pixel, Rgb expected, int tolerance = 24)
{
    return std::abs(qRed(pixel) - expected.r) <= tolerance && std::abs(qGreen(pixel) - expected.g) <= tolerance &&
           std::abs(qBlue(pixel) - expected.b) <= tolerance;
}

inline std::vector<uint8_t> quadrantJpeg(int width, int height, JpegOptions options = {})
{
    return encodeJpeg(quadrantPixels(width, height), width, height, options);
}

}  // namespace cx::test
