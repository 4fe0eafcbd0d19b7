#include "BitmapExport.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace cx {

namespace {

void put32(uint8_t* at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}

void put16(uint8_t* at, uint16_t v)
{
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

void writeRows(const DecodedPicture& picture, uint8_t* out)
{
    const int w = picture.width;
    const int h = picture.height;
    const QImage& src = picture.pixels;
    const size_t stride = bitmapStride(w);
    const int64_t sw = src.width();
    const int64_t sh = src.height();
    const bool sameSize = sw == w && sh == h;
    std::vector<int> columns;
    if (!sameSize) {
        columns.resize(static_cast<size_t>(w));
        for (int x = 0; x < w; ++x) columns[static_cast<size_t>(x)] = static_cast<int>((x * sw) / w);
    }
    for (int row = 0; row < h; ++row) {
        const int y = h - 1 - row;  // bottom row first
        const int sy = sameSize ? y : static_cast<int>((int64_t{y} * sh) / h);
        const auto* in = reinterpret_cast<const uint32_t*>(src.constScanLine(sy));
        uint8_t* o = out + static_cast<size_t>(row) * stride;
        for (int x = 0; x < w; ++x) {
            const uint32_t p = in[sameSize ? x : columns[static_cast<size_t>(x)]];
            *o++ = static_cast<uint8_t>(p);
            *o++ = static_cast<uint8_t>(p >> 8);
            *o++ = static_cast<uint8_t>(p >> 16);
        }
        std::memset(o, 0, stride - static_cast<size_t>(w) * 3);
    }
}

}  // namespace

uint32_t bitmapStride(int width) { return ((static_cast<uint32_t>(width) * 24 + 31) / 32) * 4; }

uint32_t bitmapImageSize(int width, int height) { return bitmapStride(width) * static_cast<uint32_t>(height); }

std::array<uint8_t, bitmapHeaderSize> bitmapInfoHeader(int width, int height)
{
    std::array<uint8_t, bitmapHeaderSize> h{};
    put32(&h[0], 40);
    put32(&h[4], static_cast<uint32_t>(width));
    put32(&h[8], static_cast<uint32_t>(height));
    put16(&h[12], 1);
    put16(&h[14], 24);
    put32(&h[16], 0);
    put32(&h[20], bitmapImageSize(width, height));
    return h;  // resolutions and colour counts stay 0
}

void SaveAsBitmap(const DecodedPicture& picture, uint8_t* pixelArea, size_t byteCount)
{
    if (!picture.exists() || pixelArea == nullptr || picture.width <= 0 || picture.height <= 0) return;
    const QImage& src = picture.pixels;
    if (src.depth() != 32) return;
    const size_t full = bitmapImageSize(picture.width, picture.height);
    if (byteCount >= full) {
        writeRows(picture, pixelArea);
        return;
    }
    std::vector<uint8_t> all(full);
    writeRows(picture, all.data());
    std::memcpy(pixelArea, all.data(), byteCount);
}

}  // namespace cx
