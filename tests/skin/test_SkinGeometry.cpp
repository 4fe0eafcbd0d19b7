#include <gtest/gtest.h>

#include "ButtonOutline.h"
#include "ControlPlacement.h"
#include "GradientStrips.h"
#include "InterfaceInfo.h"

using namespace cx;

namespace {

constexpr uint32_t colour(int r, int g, int b) { return static_cast<uint32_t>(r | (g << 8) | (b << 16)); }

TEST(GradientStrips, HeightHundredGivesHundredStripsOfOne)
{
    const uint32_t first = colour(200, 100, 0), second = colour(0, 0, 100);
    const auto strips = gradientStrips(100, first, second, GradientDirection::TopToBottom);
    ASSERT_EQ(strips.size(), 100u);
    for (size_t i = 0; i < strips.size(); ++i) {
        const int k = static_cast<int>(i) + 1;
        EXPECT_EQ(strips[i].offset, 100 - k);
        EXPECT_EQ(strips[i].length, 1);
    }
    EXPECT_EQ(strips.back().offset, 0);
    EXPECT_EQ(strips.back().colour, first);               // top edge: colour 11
    EXPECT_EQ(strips.front().colour, colour(2, 1, 99));   // bottom strip, k = 1
    // k = 50: 0 + 200×50/100, 0 + 100×50/100, 100 − 100×50/100.
    EXPECT_EQ(strips[49].colour, colour(100, 50, 50));
}

TEST(GradientStrips, HeightThreeHundredStepsByTwo)
{
    const uint32_t first = colour(255, 255, 255), second = colour(0, 0, 0);
    const auto strips = gradientStrips(300, first, second, GradientDirection::TopToBottom);
    ASSERT_EQ(strips.size(), 150u);
    for (size_t i = 0; i < strips.size(); ++i) {
        EXPECT_EQ(strips[i].length, 2);
        EXPECT_EQ(strips[i].offset, 300 - 2 * (static_cast<int>(i) + 1));
    }
    EXPECT_EQ(strips.back().colour, first);
    // k = 1: 255 × 1 × 2 / 300 = 1 (integer division).
    EXPECT_EQ(strips.front().colour, colour(1, 1, 1));
    // k = 75 (offset 150): 255 × 150 / 300 = 127.
    EXPECT_EQ(strips[74].offset, 150);
    EXPECT_EQ(strips[74].colour, colour(127, 127, 127));
}

TEST(GradientStrips, DirectionsDifferOnlyAtARemainder)
{
    // 301 = 150 steps of 2 and 1 pixel over: top to bottom paints one more
    // strip half outside the edge, left to right stops.
    const auto down = gradientStrips(301, colour(9, 9, 9), 0, GradientDirection::TopToBottom);
    const auto across = gradientStrips(301, colour(9, 9, 9), 0, GradientDirection::LeftToRight);
    EXPECT_EQ(down.size(), 151u);
    EXPECT_EQ(down.back().offset, -1);
    EXPECT_EQ(across.size(), 150u);
    EXPECT_EQ(across.back().offset, 1);
    EXPECT_EQ(gradientStrips(300, 1, 2, GradientDirection::LeftToRight).size(), 150u);
    EXPECT_TRUE(gradientStrips(0, 1, 2, GradientDirection::TopToBottom).empty());
}

TEST(ControlPlacement, LabelAndHoverButtonRules)
{
    // Parent 800 wide: column −7 lies 336 pixels right of the centre position.
    const int centre = (800 - 100) / 2;
    EXPECT_EQ(placeLabel(0, 800, 600, 1, 0, 100, 20), (PlacedRect{centre, 600 - 4 - 20, 100, 20}));
    EXPECT_EQ(placeLabel(0, 800, 600, 1, -7, 100, 20).x, centre + 336);

    struct Case {
        int row, column;
        PlacedRect label, hover;
    };
    const Case cases[] = {
        // y label: bottom − 4d − ((d + 1)H)/2; y hover: bottom − 4(d + 1) − (d + 1)H
        {0, 2, {254, 590, 100, 21}, {254, 575, 100, 21}},
        {2, 0, {350, 561, 100, 21}, {350, 525, 100, 21}},
        // Too far right: the label moves back inside, the button is cut.
        {0, -8, {700, 590, 100, 21}, {734, 575, 66, 21}},
        // Too far left: both start at 0.
        {1, 10, {0, 575, 100, 21}, {0, 550, 100, 21}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(placeLabel(0, 800, 600, c.row, c.column, 100, 21), c.label) << c.row << "," << c.column;
        EXPECT_EQ(placeHoverButton(0, 800, 600, c.row, c.column, 100, 21), c.hover) << c.row << "," << c.column;
    }
    // The left edge takes part in the centre: (right − W − left) / 2.
    EXPECT_EQ(placeLabel(100, 800, 600, 0, 0, 100, 20).x, 300);
}

TEST(ButtonOutline, FortyByTwentyKeyedOnGreen)
{
    const QRgb green = qRgb(0, 255, 0);
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(qRgb(30, 40, 50));
    for (int x = 0; x < 40; ++x) image.setPixel(x, 0, green), image.setPixel(x, 19, green);
    for (int y = 0; y < 20; ++y) image.setPixel(0, y, green), image.setPixel(39, y, green);
    image.setPixel(10, 10, green);  // a hole inside
    image.setPixel(38, 18, qRgb(0, 254, 0));  // near-green stays

    ASSERT_EQ(keyColourOf(image), green);
    const QRegion outline = keyedOutline(image, keyColourOf(image));
    EXPECT_EQ(outline.boundingRect(), QRect(1, 1, 38, 18));
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool inButton = x < 39 && y < 19;
            const bool expected = inButton && image.pixel(x, y) != green;
            EXPECT_EQ(outline.contains(QPoint(x, y)), expected) << x << "," << y;
        }
    }
}

}  // namespace
