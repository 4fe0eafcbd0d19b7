#include "SkinBitmap.h"

#include <bit>

#include "InterfacePackage.h"

namespace cx {

namespace {

uint16_t u16(std::span<const uint8_t> b, size_t at)
{
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t u32(std::span<const uint8_t> b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

constexpr size_t fileHeaderSize = 14;
constexpr uint32_t infoHeaderSize = 40;
constexpr uint32_t compressionNone = 0;
constexpr uint32_t compressionBitFields = 3;

// One colour channel described by a bit mask, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    static Channel of(uint32_t mask)
    {
        Channel c;
        c.mask = mask;
        if (mask == 0) return c;
        c.shift = std::countr_zero(mask);
        c.bits = std::popcount(mask);
        return c;
    }
    // A mask must be one run of bits.
    bool valid() const { return mask != 0 && ((mask >> shift) & ((mask >> shift) + 1)) == 0; }

    int value(uint32_t pixel) const
    {
        const uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<int>(v >> (bits - 8));
        // Spread a short channel over 0..255.
        const uint32_t max = (1u << bits) - 1;
        return static_cast<int>((v * 255 + max / 2) / max);
    }
};

}  // namespace

QImage decodeSkinBitmap(std::span<const uint8_t> b)
{
    if (b.size() < fileHeaderSize + infoHeaderSize) return {};
    if (u16(b, 0) != 0x4D42) return {};
    const uint32_t pixelOffset = u32(b, 10);
    const uint32_t headerSize = u32(b, 14);
    const auto width = static_cast<int32_t>(u32(b, 18));
    const auto rawHeight = static_cast<int32_t>(u32(b, 22));
    const uint16_t bitCount = u16(b, 28);
    const uint32_t compression = u32(b, 30);

    if (bitCount != 16 && bitCount != 24 && bitCount != 32) return {};
    if (headerSize < infoHeaderSize || fileHeaderSize + uint64_t{headerSize} > b.size()) return {};
    if (width <= 0 || width > maxBitmapSide) return {};
    if (rawHeight == 0 || rawHeight < -maxBitmapSide || rawHeight > maxBitmapSide) return {};
    const bool topDown = rawHeight < 0;
    const int32_t height = topDown ? -rawHeight : rawHeight;

    Channel red, green, blue;
    if (compression == compressionNone) {
        if (bitCount == 16) {
            red = Channel::of(0x7C00), green = Channel::of(0x03E0), blue = Channel::of(0x001F);
        } else {
            red = Channel::of(0xFF0000), green = Channel::of(0x00FF00), blue = Channel::of(0x0000FF);
        }
    } else if (compression == compressionBitFields && bitCount != 24) {
        // The three masks follow a 40-byte header; larger headers hold them inside.
        const size_t masksAt = fileHeaderSize + infoHeaderSize;
        if (b.size() < masksAt + 12) return {};
        red = Channel::of(u32(b, masksAt)), green = Channel::of(u32(b, masksAt + 4)),
        blue = Channel::of(u32(b, masksAt + 8));
        const uint32_t pixelBits = bitCount == 16 ? 0xFFFFu : 0xFFFFFFFFu;
        for (const auto* c : {&red, &green, &blue}) {
            if (!c->valid() || (c->mask & ~pixelBits) != 0) return {};
        }
    } else {
        return {};
    }

    const uint64_t stride = ((uint64_t{static_cast<uint32_t>(width)} * bitCount + 31) / 32) * 4;
    const uint64_t pixelBytes = stride * static_cast<uint32_t>(height);
    if (pixelOffset < fileHeaderSize + infoHeaderSize || uint64_t{pixelOffset} + pixelBytes > b.size()) return {};

    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    const int bytesPerPixel = bitCount / 8;
    for (int32_t row = 0; row < height; ++row) {
        const int32_t y = topDown ? row : height - 1 - row;
        const uint8_t* src = b.data() + pixelOffset + stride * static_cast<uint32_t>(row);
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int32_t x = 0; x < width; ++x, src += bytesPerPixel) {
            uint32_t pixel = 0;
            for (int k = 0; k < bytesPerPixel; ++k) pixel |= static_cast<uint32_t>(src[k]) << (8 * k);
            dst[x] = qRgb(red.value(pixel), green.value(pixel), blue.value(pixel));
        }
    }
    return image;
}

QImage loadSkinBitmap(const InterfacePackage& package, const std::string& name)
{
    const int index = package.findEntry(name);
    if (index < 0) return {};
    return decodeSkinBitmap(package.entryData(index));
}

std::vector<uint8_t> encodeBitmap24(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const uint32_t w = static_cast<uint32_t>(image.width());
    const uint32_t h = static_cast<uint32_t>(image.height());
    const uint32_t stride = ((w * 24 + 31) / 32) * 4;
    const uint32_t dataSize = stride * h;
    const uint32_t offset = fileHeaderSize + infoHeaderSize;
    std::vector<uint8_t> out;
    out.reserve(offset + dataSize);
    auto put16 = [&](uint16_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        for (int s = 0; s < 32; s += 8) out.push_back(static_cast<uint8_t>(v >> s));
    };
    put16(0x4D42);
    put32(offset + dataSize);
    put32(0);
    put32(offset);
    put32(infoHeaderSize);
    put32(w);
    put32(h);
    put16(1);
    put16(24);
    put32(compressionNone);
    put32(dataSize);
    put32(2835);  // 72 dpi
    put32(2835);
    put32(0);
    put32(0);
    for (int y = static_cast<int>(h) - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (uint32_t x = 0; x < w; ++x) {
            out.push_back(static_cast<uint8_t>(qBlue(line[x])));
            out.push_back(static_cast<uint8_t>(qGreen(line[x])));
            out.push_back(static_cast<uint8_t>(qRed(line[x])));
        }
        for (uint32_t pad = w * 3; pad < stride; ++pad) out.push_back(0);
    }
    return out;
}

}  // namespace cx
