#include "ButtonOutline.h"

#include <vector>

namespace cx {

QRgb keyColourOf(const QImage& image)
{
    if (image.isNull()) return 0;
    return image.pixel(0, 0) | 0xFF000000u;
}

QRegion keyedOutline(const QImage& source, QRgb key)
{
    if (source.width() < 2 || source.height() < 2) return {};
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    key |= 0xFF000000u;
    const int w = image.width() - 1;
    const int h = image.height() - 1;
    // One rectangle per run of kept pixels, row by row: the banded order
    // QRegion::setRects expects.
    std::vector<QRect> runs;
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < w) {
            while (x < w && (line[x] | 0xFF000000u) == key) ++x;
            const int start = x;
            while (x < w && (line[x] | 0xFF000000u) != key) ++x;
            if (x > start) runs.emplace_back(start, y, x - start, 1);
        }
    }
    QRegion region;
    if (!runs.empty()) region.setRects(runs.data(), static_cast<int>(runs.size()));
    return region;
}

}  // namespace cx
