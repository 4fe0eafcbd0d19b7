// The window's arithmetic: status text and marquee, grid shapes, pane
// hot spots.
#include <gtest/gtest.h>

#include "GridShape.h"
#include "MainButtons.h"
#include "PaneHotSpots.h"
#include "StatusLine.h"

#include <QKeySequence>

using namespace cx;

namespace {

TEST(StatusLine, TextByCamerasAndRecordings)
{
    const struct {
        int cameras, recording;
        const char* suffix;
        const char* text;
    } cases[] = {
        {1, 0, "", "         Monitoring 1 camera...No camera is Currently recording. "},
        {1, 0, "Hi.", "         Monitoring 1 camera...No camera is Currently recording. Hi."},
        {4, 1, "", "         Monitoring 4 cameras...Recording 1 camera..."},
        {4, 3, "X", "         Monitoring 4 cameras...Recording 3 cameras...X"},
        {0, 0, "", "         Monitoring 0 cameras...No camera is Currently recording. "},
    };
    for (const auto& c : cases) EXPECT_EQ(buildStatusText(c.cameras, c.recording, c.suffix), c.text) << c.text;
}

TEST(StatusLine, MarqueeWrapsAroundItsText)
{
    const std::string text = "abcdefghijklmnopqrstuvwxyz0123";  // 30 characters
    Marquee m;
    m.setText(text);
    std::vector<std::string> shown;
    for (int i = 0; i < 30; ++i) shown.push_back(m.step());
    EXPECT_EQ(m.position(), 0);  // back at the start after 30 steps
    EXPECT_EQ(shown[0], text + text.substr(0, 20));
    EXPECT_EQ(shown[10], text.substr(10) + text);  // characters 10..29, then 0..29
    for (const auto& s : shown) EXPECT_EQ(s.size(), 50u);

    // A text longer than the window: plain 50-character slices until the end nears.
    const std::string longText(40, 'a');
    m.setText(longText + std::string(40, 'b'));
    m.reset();
    EXPECT_EQ(m.step(), longText + std::string(10, 'b'));
    EXPECT_EQ(m.position(), 1);

    // Shorter than the window: the text once more from its start, then
    // blanks fill it up.
    m.setText("abc");
    m.reset();
    EXPECT_EQ(m.step(), "abcabc" + std::string(44, ' '));
    EXPECT_EQ(m.step(), "bcabc" + std::string(45, ' '));

    m.setText("");
    EXPECT_EQ(m.step(), "");
}

TEST(GridShape, ShapeByCameraCount)
{
    const struct {
        int cameras;
        bool set;
        GridShape shape;
    } cases[] = {{1, true, {2, 2}},  {4, true, {2, 2}},   {5, true, {3, 2}},  {6, true, {3, 2}},  {7, true, {3, 3}},
                 {9, true, {3, 3}},  {10, true, {4, 3}},  {12, true, {4, 3}}, {13, true, {4, 4}}, {16, true, {4, 4}},
                 {0, false, {3, 3}}, {17, false, {3, 3}}, {-1, false, {3, 3}}};
    for (const auto& c : cases) {
        GridShape shape{3, 3};  // what was there before
        EXPECT_EQ(computeGridShape(c.cameras, shape), c.set) << c.cameras;
        EXPECT_EQ(shape, c.shape) << c.cameras;
    }
    GridShape one;
    computeGridShape(1, one);
    EXPECT_EQ(one.panes(), 4);  // one camera still gets a 2 by 2 grid
}

TEST(GridShape, PanesAreRowMajor)
{
    EXPECT_EQ(cellOfPane(4, 3), (GridCell{1, 1}));
    EXPECT_EQ(paneIndex(1, 1, 3), 4);
    EXPECT_EQ(cellOfPane(5, 2), (GridCell{2, 1}));
    EXPECT_EQ(paneIndex(3, 0, 4), 12);
}

TEST(PaneHotSpots, EdgesOfTheFourSquares)
{
    const QSize pane(300, 200);
    const int w = 300, h = 200;
    const struct {
        int x, y;
        HotSpot spot;
    } cases[] = {
        {w - 22, h - 22, HotSpot::Magnify},  {w - 1, h - 1, HotSpot::Magnify},
        {w - 23, h - 1, HotSpot::None},      {w - 27, h - 1, HotSpot::None},
        {w - 28, h - 1, HotSpot::Snapshot},  {w - 49, h - 22, HotSpot::Snapshot},
        {w - 50, h - 1, HotSpot::None},      {w - 54, h - 1, HotSpot::None},
        {w - 55, h - 1, HotSpot::FlipHorizontal}, {w - 76, h - 1, HotSpot::FlipHorizontal},
        {w - 77, h - 1, HotSpot::None},      {w - 81, h - 1, HotSpot::None},
        {w - 82, h - 1, HotSpot::FlipVertical},   {w - 103, h - 1, HotSpot::FlipVertical},
        {w - 104, h - 1, HotSpot::None},     {w - 1, h - 23, HotSpot::None},
        {w - 1, h, HotSpot::None},           {w, h - 1, HotSpot::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hotSpotAt(QPoint(c.x, c.y), pane), c.spot) << "x = w - " << (w - c.x) << ", y = h - " << (h - c.y);
}

TEST(MainButtons, FunctionKeysNameButtonsButF10)
{
    EXPECT_EQ(buttonForFunctionKey(Qt::Key_F1), MainButton::cameras);
    EXPECT_EQ(buttonForFunctionKey(Qt::Key_F5), MainButton::adjustLayout);
    EXPECT_EQ(buttonForFunctionKey(Qt::Key_F9), MainButton::replay);
    EXPECT_EQ(buttonForFunctionKey(Qt::Key_F10), 0);
    EXPECT_EQ(buttonForFunctionKey(Qt::Key_F11), MainButton::website);
    EXPECT_EQ(buttonForFunctionKey(Qt::Key_F12), MainButton::about);
    EXPECT_EQ(buttonForFunctionKey(Qt::Key_A), 0);
}

}  // namespace
