#include <gtest/gtest.h>

#include "AppState.h"
#include "FrameDecoder.h"
#include "FrameDrawer.h"
#include "ImageBlit.h"
#include "OverlayBitmaps.h"
#include "PaneBuffer.h"
#include "support/JpegFixtures.h"

using namespace cx;
using namespace cx::test;

namespace {

QRgb colourRef(uint32_t bgr) { return qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

// Pixels of exactly `colour` inside `area`.
int count(const QImage& image, QRect area, QRgb colour)
{
    int n = 0;
    area = area.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((image.pixel(x, y) | 0xFF000000u) == (colour | 0xFF000000u)) ++n;
    return n;
}

// `bitmap` appears at `at`, its transparent colour left out.
bool shows(const QImage& pane, const QImage& bitmap, QPoint at, QRgb transparent)
{
    int opaque = 0;
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x) {
            const QRgb b = bitmap.pixel(x, y) | 0xFF000000u;
            if (b == (transparent | 0xFF000000u)) continue;
            ++opaque;
            if ((pane.pixel(at.x() + x, at.y() + y) | 0xFF000000u) != b) return false;
        }
    return opaque > 0;
}

struct Drawing : ::testing::Test {
    AppState state;
    OverlayBitmaps bitmaps = OverlayBitmaps::builtIn();
    FrameDrawer drawer{state, bitmaps};
    FrameDecoder decoder;
    int repaints = 0;

    Drawing()
    {
        state.cameraTable.allocate(2);
        state.cameraTable.count = 2;
        state.setCameraName(0, "Door");
        state.setCameraName(1, "Yard");
    }

    QImage draw(int slot, QSize paneSize, const std::vector<uint8_t>& jpeg, PaneBuffer* reuse = nullptr)
    {
        PaneBuffer own(paneSize);
        PaneBuffer& pane = reuse != nullptr ? *reuse : own;
        pane.setRepaintRequest([this] { ++repaints; });
        const QRect rect = drawer.drawRect(pane.size());
        decoder.DecodeFrame(jpeg.data(), jpeg.size(), rect.size());
        drawer.DrawFrame(decoder.currentPicture(), pane, rect, slot, 12.345f, *state.slotFlips(slot));
        return pane.image();
    }
};

}  // namespace

TEST(Caption, NameAndRateWithOneDecimal)
{
    EXPECT_EQ(captionText("Door", 12.345f), "Door (12.3 fps)");
    EXPECT_EQ(captionText("Door", 7.0f), "Door (7.0 fps)");
    EXPECT_EQ(captionText("", 0.0f), " (0.0 fps)");
    EXPECT_EQ(captionText("Gate 2", 123.96f), "Gate 2 (124.0 fps)");
}

struct FlipCase {
    int h;
    int v;
    Rgb topLeft;  // what the pane shows at its top-left
    QPoint mark;  // where the mark's top-left corner lands in a 400 x 300 pane
};

void PrintTo(const FlipCase& c, std::ostream* out) { *out << "h " << c.h << ", v " << c.v; }

class Flips : public Drawing, public ::testing::WithParamInterface<FlipCase> {};

// The picture and its recording mark turn with the flips; caption and view
// buttons stay where they are.
TEST_P(Flips, MirrorPictureAndMarkOnly)
{
    const FlipCase c = GetParam();
    state.cameraTable.flipHorizontal[0] = c.h;
    state.cameraTable.flipVertical[0] = c.v;
    state.manualRecording[0] = 1;
    const QImage pane = draw(0, {400, 300}, quadrantJpeg(640, 480));

    EXPECT_TRUE(near(pane.pixel(60, 60), c.topLeft)) << std::hex << pane.pixel(60, 60);
    const QImage mark = bitmaps.find(overlay::recordManual)->mirrored(c.h == 1, c.v == 1);
    if (c.v == 0) {
        EXPECT_TRUE(shows(pane, mark, c.mark, qRgb(0, 0, 0)));
    }
    // At the bottom the caption or a button is drawn over the mark: find
    // the mark by its disc colour, in its corner and in no other.
    const QRgb disc = mark.pixel(3, 8);
    for (QPoint corner : {QPoint(0, 0), QPoint(400 - 16, 0), QPoint(0, 300 - 16), QPoint(400 - 16, 300 - 16)}) {
        const int n = count(pane, QRect(corner, QSize(16, 16)), disc);
        if (corner == c.mark) {
            EXPECT_GT(n, 30);
        } else {
            EXPECT_EQ(n, 0) << corner.x() << "," << corner.y();
        }
    }

    const QImage button1 = *bitmaps.find(overlay::viewSingle);
    EXPECT_TRUE(shows(pane, button1, {400 - 22, 300 - 22}, qRgb(255, 255, 255)));
    EXPECT_TRUE(shows(pane, *bitmaps.find(overlay::snapshot), {400 - 22 - 27, 278}, qRgb(255, 255, 255)));
    EXPECT_TRUE(shows(pane, *bitmaps.find(overlay::flipHorizontal), {400 - 22 - 54, 278}, qRgb(255, 255, 255)));
    EXPECT_TRUE(shows(pane, *bitmaps.find(overlay::flipVertical), {400 - 22 - 81, 278}, qRgb(255, 255, 255)));

    const QRgb text = colourRef(state.settings.textColour.load());
    EXPECT_GT(count(pane, {0, 284, 150, 16}, text), 20) << "caption at the bottom-left";
    EXPECT_EQ(count(pane, {0, 0, 400, 270}, text), 0);
    EXPECT_EQ(repaints, 1);
}

INSTANTIATE_TEST_SUITE_P(Drawing, Flips,
                         ::testing::Values(FlipCase{0, 0, topLeftColour, {400 - 16, 0}},
                                           FlipCase{1, 0, topRightColour, {0, 0}},
                                           FlipCase{0, 1, bottomLeftColour, {400 - 16, 300 - 16}},
                                           FlipCase{1, 1, bottomRightColour, {0, 300 - 16}}));

TEST_F(Drawing, PictureIsSqueezedToThePane)
{
    const QImage pane = draw(0, {400, 300}, quadrantJpeg(640, 480));
    EXPECT_TRUE(near(pane.pixel(190, 140), topLeftColour));
    EXPECT_TRUE(near(pane.pixel(210, 140), topRightColour));
    EXPECT_TRUE(near(pane.pixel(190, 160), bottomLeftColour));
    EXPECT_TRUE(near(pane.pixel(210, 200), bottomRightColour));
}

TEST_F(Drawing, FixedImageSizeDrawsAt320By240WithTheCaptionAt224)
{
    state.settings.fixedImageSize = 1;
    const QImage pane = draw(0, {400, 300}, quadrantJpeg(640, 480));
    EXPECT_TRUE(near(pane.pixel(150, 110), topLeftColour));
    EXPECT_TRUE(near(pane.pixel(170, 130), bottomRightColour));
    EXPECT_EQ(pane.pixel(350, 100), qRgb(0, 0, 0)) << "outside 320 x 240 nothing is drawn";
    EXPECT_EQ(pane.pixel(100, 270), qRgb(0, 0, 0));
    const QRgb text = colourRef(state.settings.textColour.load());
    EXPECT_GT(count(pane, {0, 224, 150, 16}, text), 20);
    EXPECT_EQ(count(pane, {0, 0, 400, 222}, text), 0);
    EXPECT_TRUE(shows(pane, *bitmaps.find(overlay::viewSingle), {320 - 22, 240 - 22}, qRgb(255, 255, 255)));
}

TEST_F(Drawing, FailedDecodeIsDrawnBlackWithOverlays)
{
    state.viewEnlarged[0] = 1;
    PaneBuffer pane({320, 240});
    QImage red(320, 240, QImage::Format_RGB32);
    red.fill(Qt::red);
    pane.paint([&](QImage& image) { image = red; });
    const std::vector<uint8_t> garbage(1000, 0x33);
    const QImage image = draw(0, {320, 240}, garbage, &pane);
    EXPECT_EQ(image.pixel(160, 120), qRgb(0, 0, 0));
    EXPECT_TRUE(shows(image, *bitmaps.find(overlay::viewEnlarged), {320 - 22, 240 - 22}, qRgb(255, 255, 255)));
}

TEST_F(Drawing, PaneIsLeftAloneWhenMonitorIsOff)
{
    const auto jpeg = quadrantJpeg(64, 48);
    PaneBuffer pane({100, 80});
    pane.paint([](QImage& image) { image.fill(Qt::magenta); });
    repaints = 0;

    state.settings.monitorEnabled[0] = 0;
    state.manualRecording[0] = 1;
    draw(0, {}, jpeg, &pane);

    EXPECT_EQ(count(pane.image(), pane.image().rect(), qRgb(255, 0, 255)), 100 * 80);
    EXPECT_EQ(repaints, 0);
    EXPECT_EQ(drawer.blinkCounter(), 0);
}

TEST_F(Drawing, MarkBlinksOnTheFramesOfAllCameras)
{
    const auto jpeg = quadrantJpeg(64, 48);
    state.manualRecording[0] = 1;
    state.manualRecording[1] = 1;
    const QImage& mark = *bitmaps.find(overlay::recordManual);
    auto markShown = [&](int slot) { return shows(draw(slot, {160, 120}, jpeg), mark, {160 - 16, 0}, qRgb(0, 0, 0)); };

    // Interleaved frames: the first camera always lands on even counts.
    for (int round = 0; round < 3; ++round) {
        EXPECT_TRUE(markShown(0)) << round;
        EXPECT_FALSE(markShown(1)) << round;
    }
    // One camera alone alternates.
    EXPECT_TRUE(markShown(1));
    EXPECT_FALSE(markShown(1));
    EXPECT_TRUE(markShown(1));
    // A camera that does not record leaves the counter alone.
    draw(0, {160, 120}, jpeg);
    state.manualRecording[0] = 0;
    const int before = drawer.blinkCounter();
    markShown(0);
    EXPECT_EQ(drawer.blinkCounter(), before);
}

TEST_F(Drawing, ScheduledCamerasShowTheScheduleMark)
{
    state.settings.scheduleMode = 1;
    state.settings.scheduleRecord[0] = 1;
    state.scheduledRecording[0] = 1;
    const QImage pane = draw(0, {160, 120}, quadrantJpeg(64, 48));
    EXPECT_TRUE(shows(pane, *bitmaps.find(overlay::recordSchedule), {160 - 16, 0}, qRgb(0, 0, 0)));
}

TEST_F(Drawing, MissingOverlayBitmapIsLeftOut)
{
    bitmaps.remove(overlay::recordManual);
    bitmaps.remove(overlay::snapshot);
    state.manualRecording[0] = 1;
    const QImage pane = draw(0, {160, 120}, quadrantJpeg(64, 48));
    EXPECT_TRUE(near(pane.pixel(160 - 8, 8), topRightColour));
    EXPECT_TRUE(shows(pane, *bitmaps.find(overlay::viewSingle), {160 - 22, 120 - 22}, qRgb(255, 255, 255)));
}

// The caption is drawn once and reused: a new colour, name or pane width
// must still show at the next frame.
TEST_F(Drawing, CaptionFollowsColourNameAndWidth)
{
    const std::vector<uint8_t> jpeg = quadrantJpeg(640, 480);
    PaneBuffer pane({400, 300});
    const QRect captionArea{0, 284, 150, 16};
    const QRgb first = colourRef(state.settings.textColour.load());
    EXPECT_GT(count(draw(0, {400, 300}, jpeg, &pane), captionArea, first), 20);

    state.settings.textColour = 0x0000FF;  // red, as a COLORREF
    QImage shown = draw(0, {400, 300}, jpeg, &pane);
    EXPECT_EQ(count(shown, captionArea, first), 0);
    EXPECT_GT(count(shown, captionArea, qRgb(255, 0, 0)), 20);

    const int shortName = count(shown, {0, 284, 400, 16}, qRgb(255, 0, 0));
    state.setCameraName(0, "Door at the back of the long yard");
    shown = draw(0, {400, 300}, jpeg, &pane);
    EXPECT_GT(count(shown, {0, 284, 400, 16}, qRgb(255, 0, 0)), shortName + 20);

    PaneBuffer narrow({120, 90});
    shown = draw(0, {120, 90}, jpeg, &narrow);
    EXPECT_GT(count(shown, {0, 74, 120, 16}, qRgb(255, 0, 0)), 20);
}

TEST(ImageBlit, BlendOverLaysPremultipliedPixelsOverTheTarget)
{
    QImage target(4, 1, QImage::Format_RGB32);
    target.fill(qRgb(0x80, 0x80, 0x80));
    QImage source(4, 1, QImage::Format_ARGB32_Premultiplied);
    source.setPixel(0, 0, qRgba(0, 0, 0, 0));           // transparent: the target stays
    source.setPixel(1, 0, qRgba(255, 0, 0, 255));       // opaque: replaces
    source.setPixel(2, 0, qRgba(0x80, 0x80, 0x80, 0x80));  // half white (premultiplied)
    source.setPixel(3, 0, qRgba(255, 255, 255, 255));   // outside the clip
    blendOver(target, {0, 0}, source, QRect(0, 0, 3, 1));
    EXPECT_EQ(target.pixel(0, 0), qRgb(0x80, 0x80, 0x80));
    EXPECT_EQ(target.pixel(1, 0), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(2, 0), qRgb(0xC0, 0xC0, 0xC0));  // 0x80 + 0x80 * 127 / 255
    EXPECT_EQ(target.pixel(3, 0), qRgb(0x80, 0x80, 0x80));
}
