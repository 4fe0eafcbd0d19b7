#pragma once
// JPEG frames made by the tests themselves, with TurboJPEG.

#include <turbojpeg.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

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
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int flags = options.progressive ? TJFLAG_PROGRESSIVE : 0;
    const int rc = tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &out, &size,
                               options.grey ? TJSAMP_GRAY : TJSAMP_420, options.quality, flags);
    std::vector<uint8_t> jpeg;
    if (rc == 0) jpeg.assign(out, out + size);
    tjFree(out);
    tjDestroy(handle);
    if (rc != 0) throw std::runtime_error("JPEG encoding failed");
    return jpeg;
}

inline std::vector<uint8_t> quadrantJpeg(int width, int height, JpegOptions options = {})
{
    return encodeJpeg(quadrantPixels(width, height), width, height, options);
}

}  // namespace cx::test
