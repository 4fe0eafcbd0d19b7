#include <gtest/gtest.h>

#include <cstdlib>

#include "DecodeScale.h"
#include "FrameDecoder.h"
#include "support/JpegFixtures.h"

using namespace cx;
using namespace cx::test;

namespace {

struct GoodCase {
    const char* name;
    int width;
    int height;
    JpegOptions options;
};

void PrintTo(const GoodCase& c, std::ostream* out) { *out << c.width << "x" << c.height; }

class DecodesJpeg : public ::testing::TestWithParam<GoodCase> {};

}  // namespace

TEST_P(DecodesJpeg, AtItsOwnSize)
{
    const GoodCase c = GetParam();
    const auto jpeg = quadrantJpeg(c.width, c.height, c.options);
    FrameDecoder decoder;
    const DecodeResult r = decoder.DecodeFrame(jpeg.data(), jpeg.size());
    ASSERT_TRUE(r.decoded);
    EXPECT_EQ(r.width, c.width);
    EXPECT_EQ(r.height, c.height);
    const DecodedPicture& picture = decoder.currentPicture();
    ASSERT_TRUE(picture.exists());
    EXPECT_EQ(picture.pixels.size(), QSize(c.width, c.height));
    if (c.width < 16 || c.height < 16) return;  // too small for clean quadrants
    const QRgb topLeft = picture.pixels.pixel(c.width / 4, c.height / 4);
    const QRgb bottomRight = picture.pixels.pixel(c.width * 3 / 4, c.height * 3 / 4);
    if (c.options.grey) {
        EXPECT_EQ(qRed(topLeft), qGreen(topLeft));
        EXPECT_EQ(qGreen(topLeft), qBlue(topLeft));
        EXPECT_NE(qRed(topLeft), qRed(bottomRight));
    } else {
        EXPECT_TRUE(near(topLeft, topLeftColour)) << std::hex << topLeft;
        EXPECT_TRUE(near(bottomRight, bottomRightColour)) << std::hex << bottomRight;
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DecodesJpeg,
                         ::testing::Values(GoodCase{"Vga", 640, 480, {}}, GoodCase{"OddSize", 333, 177, {}},
                                           GoodCase{"OnePixel", 1, 1, {}}, GoodCase{"Hd", 1920, 1080, {}},
                                           GoodCase{"Grey", 320, 240, {.grey = true}},
                                           GoodCase{"Progressive", 640, 480, {.progressive = true}},
                                           GoodCase{"GreyProgressive", 176, 144, {.grey = true, .progressive = true}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameDecoder, BrokenFramesLeaveNoPictureAndTheDefaultSize)
{
    const auto good = quadrantJpeg(640, 480);
    const std::vector<uint8_t> garbage(5000, 0x5A);
    std::vector<uint8_t> badMarker = good;
    badMarker[2] = 0x00;  // the first marker after SOI is no marker at all
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"start of image only", {0xFF, 0xD8}},
        {"cut inside the header", std::vector<uint8_t>(good.begin(), good.begin() + 100)},
        {"garbage", garbage},
        {"broken marker", badMarker},
    };
    FrameDecoder decoder;
    for (const auto& c : cases) {
        ASSERT_TRUE(decoder.DecodeFrame(good.data(), good.size()).decoded);
        const DecodeResult r = decoder.DecodeFrame(c.bytes.data(), c.bytes.size());
        EXPECT_FALSE(r.decoded) << c.name;
        EXPECT_EQ(r.width, 320) << c.name;
        EXPECT_EQ(r.height, 240) << c.name;
        EXPECT_FALSE(decoder.currentPicture().exists()) << c.name << ": the previous picture is gone";
    }
}

TEST(FrameDecoder, FrameCutInsideTheImageDataKeepsWhatArrived)
{
    const auto good = quadrantJpeg(640, 480, {.quality = 95});
    // An exact-size copy, so reading past the cut would be caught by ASan.
    const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 3));
    FrameDecoder decoder;
    const DecodeResult r = decoder.DecodeFrame(cut.data(), cut.size());
    ASSERT_TRUE(r.decoded);
    EXPECT_EQ(r.width, 640);
    EXPECT_TRUE(near(decoder.currentPicture().pixels.pixel(100, 20), topLeftColour));
}

TEST(FrameDecoder, PictureDoesNotDependOnTheFrameBuffer)
{
    auto jpeg = quadrantJpeg(64, 48);
    FrameDecoder decoder;
    ASSERT_TRUE(decoder.DecodeFrame(jpeg.data(), jpeg.size()).decoded);
    const QImage before = decoder.currentPicture().pixels.copy();
    std::fill(jpeg.begin(), jpeg.end(), 0);
    jpeg.clear();
    jpeg.shrink_to_fit();
    EXPECT_EQ(decoder.currentPicture().pixels, before);
    decoder.ReleasePicture();
    EXPECT_FALSE(decoder.currentPicture().exists());
}

TEST(FrameDecoder, RefusesPicturesAboveThePixelLimit)
{
    const auto jpeg = quadrantJpeg(640, 480);
    FrameDecoder decoder;
    decoder.setMaxPixels(640 * 480 - 1);
    EXPECT_FALSE(decoder.DecodeFrame(jpeg.data(), jpeg.size()).decoded);
    decoder.setMaxPixels(640 * 480);
    EXPECT_TRUE(decoder.DecodeFrame(jpeg.data(), jpeg.size()).decoded);
}

TEST(DecodeScale, CheapestScaleThatStillCoversThePane)
{
    const struct {
        QSize picture;
        QSize drawn;
        int denominator;
    } cases[] = {
        {{640, 480}, {200, 150}, 2},   // 1/4 gives 160 x 120: too small
        {{640, 480}, {160, 120}, 4},
        {{640, 480}, {80, 60}, 8},
        {{640, 480}, {400, 300}, 1},   // 1/2 gives 320 x 240: too small
        {{640, 480}, {320, 240}, 2},
        {{640, 480}, {1280, 960}, 1},  // larger pane: full size, stretched
        {{1920, 1080}, {200, 150}, 4},
        {{1920, 1080}, {400, 300}, 2},
        {{1920, 1080}, {240, 135}, 8},
        {{641, 481}, {81, 61}, 8},     // scaled sizes round up
        {{640, 480}, {}, 1},           // no pane size: full size
        {{640, 480}, {300, 0}, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseDecodeScale(c.picture, c.drawn), c.denominator) << c.picture.width() << "x" << c.picture.height()
                                                                        << " into " << c.drawn.width() << "x"
                                                                        << c.drawn.height();
}

TEST(FrameDecoder, DecodesOnlyAsMuchAsThePaneNeedsButReportsItsOwnSize)
{
    const auto jpeg = quadrantJpeg(640, 480);
    FrameDecoder decoder;
    const DecodeResult r = decoder.DecodeFrame(jpeg.data(), jpeg.size(), {200, 150});
    EXPECT_EQ(r.width, 640);
    EXPECT_EQ(r.height, 480);
    EXPECT_EQ(decoder.currentPicture().width, 640);
    EXPECT_EQ(decoder.currentPicture().pixels.size(), QSize(320, 240));
    EXPECT_TRUE(near(decoder.currentPicture().pixels.pixel(300, 10), topRightColour));
}
