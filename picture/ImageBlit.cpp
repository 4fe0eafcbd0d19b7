#include "ImageBlit.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace cx {

void stretchInto(QImage& target, QRect area, const QImage& source, bool mirrorH, bool mirrorV)
{
    const QRect visible = area.intersected(target.rect());
    if (visible.isEmpty() || target.depth() != 32) return;
    if (source.isNull()) {
        for (int y = visible.top(); y <= visible.bottom(); ++y) {
            auto* row = reinterpret_cast<uint32_t*>(target.scanLine(y));
            std::fill(row + visible.left(), row + visible.right() + 1, 0xFF000000u);
        }
        return;
    }
    const QImage src = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                           ? source
                           : source.convertToFormat(QImage::Format_RGB32);
    const int64_t cx = area.width();
    const int64_t cy = area.height();
    const int64_t sw = src.width();
    const int64_t sh = src.height();

    if (sw == cx && sh == cy && !mirrorH) {
        // Already the pane's size (decoders scale into it): rows copy straight.
        for (int y = visible.top(); y <= visible.bottom(); ++y) {
            const int64_t dy = mirrorV ? cy - 1 - (y - area.top()) : y - area.top();
            const auto* in = reinterpret_cast<const uint32_t*>(src.constScanLine(static_cast<int>(dy))) +
                             (visible.left() - area.left());
            auto* out = reinterpret_cast<uint32_t*>(target.scanLine(y)) + visible.left();
            for (int i = 0; i < visible.width(); ++i) out[i] = in[i] | 0xFF000000u;
        }
        return;
    }

    // Per drawing thread, kept between frames: no allocation per frame.
    thread_local std::vector<int> columns;
    columns.resize(static_cast<size_t>(visible.width()));
    for (int x = visible.left(); x <= visible.right(); ++x) {
        int64_t dx = x - area.left();
        if (mirrorH) dx = cx - 1 - dx;
        columns[static_cast<size_t>(x - visible.left())] = static_cast<int>((dx * sw) / cx);
    }
    for (int y = visible.top(); y <= visible.bottom(); ++y) {
        int64_t dy = y - area.top();
        if (mirrorV) dy = cy - 1 - dy;
        const auto* in = reinterpret_cast<const uint32_t*>(src.constScanLine(static_cast<int>((dy * sh) / cy)));
        auto* out = reinterpret_cast<uint32_t*>(target.scanLine(y)) + visible.left();
        for (size_t i = 0; i < columns.size(); ++i) out[i] = in[columns[i]] | 0xFF000000u;
    }
}

void copyKeyed(QImage& target, QPoint at, const QImage& source, QRgb transparent, QRect clip)
{
    if (source.isNull() || target.depth() != 32) return;
    const QRect visible = QRect(at, source.size()).intersected(clip).intersected(target.rect());
    if (visible.isEmpty()) return;
    const QImage src = source.format() == QImage::Format_RGB32 ? source : source.convertToFormat(QImage::Format_RGB32);
    const uint32_t key = transparent | 0xFF000000u;
    for (int y = visible.top(); y <= visible.bottom(); ++y) {
        const auto* in = reinterpret_cast<const uint32_t*>(src.constScanLine(y - at.y()));
        auto* out = reinterpret_cast<uint32_t*>(target.scanLine(y));
        for (int x = visible.left(); x <= visible.right(); ++x) {
            const uint32_t pixel = in[x - at.x()] | 0xFF000000u;
            if (pixel != key) out[x] = pixel;
        }
    }
}

void blendOver(QImage& target, QPoint at, const QImage& source, QRect clip)
{
    if (source.isNull() || target.depth() != 32 || source.format() != QImage::Format_ARGB32_Premultiplied) return;
    const QRect visible = QRect(at, source.size()).intersected(clip).intersected(target.rect());
    if (visible.isEmpty()) return;
    // (c * k + 127) / 255 without a division, exact for 8-bit values.
    auto scale = [](uint32_t c, uint32_t k) {
        const uint32_t t = c * k + 128;
        return (t + (t >> 8)) >> 8;
    };
    for (int y = visible.top(); y <= visible.bottom(); ++y) {
        const auto* in = reinterpret_cast<const uint32_t*>(source.constScanLine(y - at.y()));
        auto* out = reinterpret_cast<uint32_t*>(target.scanLine(y));
        for (int x = visible.left(); x <= visible.right(); ++x) {
            const uint32_t s = in[x - at.x()];
            const uint32_t a = s >> 24;
            if (a == 0) continue;
            if (a == 255) {
                out[x] = s;
                continue;
            }
            const uint32_t d = out[x];
            const uint32_t keep = 255 - a;
            const uint32_t r = ((s >> 16) & 0xFF) + scale((d >> 16) & 0xFF, keep);
            const uint32_t g = ((s >> 8) & 0xFF) + scale((d >> 8) & 0xFF, keep);
            const uint32_t b = (s & 0xFF) + scale(d & 0xFF, keep);
            out[x] = 0xFF000000u | (std::min(r, 255u) << 16) | (std::min(g, 255u) << 8) | std::min(b, 255u);
        }
    }
}

}  // namespace cx
