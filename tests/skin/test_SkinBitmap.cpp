#include <gtest/gtest.h>

#include <functional>

#include "InterfacePackage.h"
#include "PackageWriter.h"
#include "SkinBitmap.h"
#include "support/Bytes.h"

using namespace cx;
using cx::test::Bytes;
using cx::test::dibFile;

namespace {

// 2 × 2, 24 bits, bottom-up: bottom row blue, green; top row red, white.
// Rows are padded to 8 bytes.
std::vector<uint8_t> twoByTwo24()
{
    const std::vector<uint8_t> pixels = {255, 0, 0, 0, 255, 0, 0, 0,   // bottom: blue, green (BGR)
                                         0, 0, 255, 255, 255, 255, 0, 0};  // top: red, white
    return dibFile(2, 2, 24, 0, {}, pixels);
}

TEST(SkinBitmap, Decodes24BitBottomUp)
{
    const QImage image = decodeSkinBitmap(twoByTwo24());
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(2, 2));
    EXPECT_EQ(image.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(1, 1), qRgb(0, 255, 0));
}

TEST(SkinBitmap, DecodesTopDown32And16Bit)
{
    // 32 bits, negative height: first row in the file is the top row.
    const std::vector<uint8_t> px32 = {10, 20, 30, 0, 40, 50, 60, 0};
    const QImage top = decodeSkinBitmap(dibFile(1, -2, 32, 0, {}, px32));
    ASSERT_FALSE(top.isNull());
    EXPECT_EQ(top.pixel(0, 0), qRgb(30, 20, 10));
    EXPECT_EQ(top.pixel(0, 1), qRgb(60, 50, 40));

    // 16 bits 5-5-5: pure red 0x7C00, then a blue of 16/31.
    const std::vector<uint8_t> px16 = {0x00, 0x7C, 0x10, 0x00};
    const QImage image16 = decodeSkinBitmap(dibFile(2, 1, 16, 0, {}, px16));
    ASSERT_FALSE(image16.isNull());
    EXPECT_EQ(image16.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image16.pixel(1, 0), qRgb(0, 0, 132));

    // 16 bits with 5-6-5 masks: full green.
    Bytes masks;
    masks.u32(0xF800).u32(0x07E0).u32(0x001F);
    const std::vector<uint8_t> green565 = {0xE0, 0x07, 0, 0};
    const QImage image565 = decodeSkinBitmap(dibFile(1, 1, 16, 3, masks.data, green565));
    ASSERT_FALSE(image565.isNull());
    EXPECT_EQ(image565.pixel(0, 0), qRgb(0, 255, 0));
}

TEST(SkinBitmap, PaletteBitmapsGiveNone)
{
    // A 256-colour picture of the same size, with its colour table: refused,
    // while the 24-bit one loads.
    std::vector<uint8_t> table(256 * 4, 0);
    const std::vector<uint8_t> indices = {1, 2, 0, 0, 3, 4, 0, 0};
    const auto palette8 = dibFile(2, 2, 8, 0, table, indices);
    const std::vector<PackageItem> items = {{"Colour256.bmp", palette8}, {"true24.bmp", twoByTwo24()}};
    const auto package = InterfacePackage::fromBytes(buildPackage(corvanexFormatTag, items));
    ASSERT_TRUE(package);
    EXPECT_TRUE(loadSkinBitmap(*package, "colour256.BMP").isNull());
    EXPECT_FALSE(loadSkinBitmap(*package, "TRUE24.bmp").isNull());
    EXPECT_TRUE(loadSkinBitmap(*package, "missing.bmp").isNull());

    for (uint16_t bits : {1, 4, 8}) {
        EXPECT_TRUE(decodeSkinBitmap(dibFile(2, 2, bits, 0, std::vector<uint8_t>(8, 0), std::vector<uint8_t>(8, 0))).isNull())
            << bits;
    }
}

TEST(SkinBitmap, EncoderOutputDecodesToTheSamePicture)
{
    QImage image(5, 3, QImage::Format_RGB32);  // odd width: rows need padding
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) image.setPixel(x, y, qRgb(x * 50, y * 100, 7));
    const QImage back = decodeSkinBitmap(encodeBitmap24(image));
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back, image);
}

// Headers that do not match their bytes give no picture and read nothing
// outside the data (the sanitizer build checks the latter).
TEST(SkinBitmap, LyingHeadersGiveNone)
{
    using Patch = std::function<void(std::vector<uint8_t>&)>;
    const auto put32 = [](std::vector<uint8_t>& b, size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) b[at + k] = static_cast<uint8_t>(v >> (8 * k));
    };
    const std::pair<const char*, Patch> cases[] = {
        {"not BM", [](auto& b) { b[0] = 'M', b[1] = 'B'; }},
        {"cut inside the information header", [](auto& b) { b.resize(40); }},
        {"cut inside the pixels", [](auto& b) { b.resize(b.size() - 1); }},
        {"pixel offset past the end", [&](auto& b) { put32(b, 10, 0xFFFFFFF0u); }},
        {"pixel offset inside the header", [&](auto& b) { put32(b, 10, 20); }},
        {"header size too small", [&](auto& b) { put32(b, 14, 12); }},
        {"header size past the end", [&](auto& b) { put32(b, 14, 0x7FFFFFFF); }},
        {"width zero", [&](auto& b) { put32(b, 18, 0); }},
        {"width negative", [&](auto& b) { put32(b, 18, 0xFFFFFFFEu); }},
        {"height zero", [&](auto& b) { put32(b, 22, 0); }},
        {"height beyond the data", [&](auto& b) { put32(b, 22, 3); }},
        {"huge width and height", [&](auto& b) { put32(b, 18, 0x7FFFFFFF), put32(b, 22, 0x7FFFFFFF); }},
        {"most negative height", [&](auto& b) { put32(b, 22, 0x80000000u); }},
        {"run-length compression", [&](auto& b) { put32(b, 30, 1); }},
        {"bit fields on 24 bits", [&](auto& b) { put32(b, 30, 3); }},
        {"bit count 64", [](auto& b) { b[28] = 64; }},
        {"bit count 0", [](auto& b) { b[28] = 0; }},
    };
    for (const auto& [what, patch] : cases) {
        auto bytes = twoByTwo24();
        patch(bytes);
        EXPECT_TRUE(decodeSkinBitmap(bytes).isNull()) << what;
    }

    // Bit-field masks that are zero, split or wider than the pixel.
    for (uint32_t red : {0u, 0xF0F0u, 0x1F0000u}) {
        Bytes masks;
        masks.u32(red).u32(0x07E0).u32(0x001F);
        EXPECT_TRUE(decodeSkinBitmap(dibFile(1, 1, 16, 3, masks.data, {0, 0, 0, 0})).isNull()) << red;
    }
    // Masks announced but missing.
    EXPECT_TRUE(decodeSkinBitmap(dibFile(1, 1, 32, 3, {}, {0, 0, 0, 0})).isNull());
}

}  // namespace
