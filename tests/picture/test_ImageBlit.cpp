#include <gtest/gtest.h>

#include <QImage>

#include "ImageBlit.h"

namespace cx {
namespace {

QImage numbered(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x, y, 7));
    return image;
}

// Nearest source pixel of each target pixel, mirrors applied: what every
// path of stretchInto must give.
QRgb expectedAt(const QImage& source, QRect area, int x, int y, bool mirrorH, bool mirrorV)
{
    int dx = x - area.left();
    int dy = y - area.top();
    if (mirrorH) dx = area.width() - 1 - dx;
    if (mirrorV) dy = area.height() - 1 - dy;
    return source.pixel(dx * source.width() / area.width(), dy * source.height() / area.height());
}

TEST(StretchInto, EveryPathPutsEachSourcePixelWhereTheNearestRuleSays)
{
    const struct {
        QSize source;
        QRect area;
        bool mirrorH, mirrorV;
    } cases[] = {
        {{40, 30}, {0, 0, 40, 30}, false, false},    // same size: rows copied
        {{40, 30}, {0, 0, 40, 30}, false, true},     // same size, upside down
        {{40, 30}, {0, 0, 40, 30}, true, false},     // same size, mirrored
        {{40, 30}, {-5, 3, 40, 30}, false, true},    // same size, partly outside
        {{40, 30}, {10, -4, 40, 30}, false, false},  // same size, cut at the right and top
        {{64, 48}, {0, 0, 40, 30}, true, true},      // scaled down
        {{20, 15}, {2, 2, 40, 30}, false, false},    // scaled up
    };
    for (const auto& c : cases) {
        const QImage source = numbered(c.source.width(), c.source.height());
        QImage target(40, 30, QImage::Format_RGB32);
        target.fill(qRgb(200, 0, 0));
        stretchInto(target, c.area, source, c.mirrorH, c.mirrorV);
        const QRect visible = c.area.intersected(target.rect());
        for (int y = 0; y < target.height(); ++y)
            for (int x = 0; x < target.width(); ++x) {
                const QRgb want = visible.contains(x, y) ? expectedAt(source, c.area, x, y, c.mirrorH, c.mirrorV)
                                                         : qRgb(200, 0, 0);
                ASSERT_EQ(target.pixel(x, y), want) << "at " << x << "," << y << " for area " << c.area.x() << ","
                                                    << c.area.y() << " mirrors " << c.mirrorH << c.mirrorV;
            }
    }
}

TEST(StretchInto, PicturesWithoutAlphaComeOutOpaque)
{
    QImage source(8, 8, QImage::Format_RGB32);
    source.fill(0x00123456u);  // an X byte left at zero, as some decoders leave it
    QImage target(8, 8, QImage::Format_RGB32);
    stretchInto(target, target.rect(), source, false, false);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(target.constScanLine(3))[5], 0xFF123456u);
}

}  // namespace
}  // namespace cx
