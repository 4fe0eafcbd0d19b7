// Skinned controls under the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>

#include "ActiveSkin.h"
#include "ButtonOutline.h"
#include "CActionButton.h"
#include "CHoverButton.h"
#include "CPosStatic.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "PackageWriter.h"
#include "ProgramBitmaps.h"
#include "Settings.h"
#include "SkinBitmap.h"
#include "SkinDialog.h"
#include "SkinLook.h"
#include "support/TempFolder.h"

using namespace cx;

namespace {

// Top row in the key colour, the rest `face`, with a 4 × 4 block of `spot` at (10, 5).
QImage keyed(QSize size, QRgb key, QRgb face, QRgb spot)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(face);
    for (int x = 0; x < size.width(); ++x) image.setPixel(x, 0, key);
    for (int y = 5; y < 9; ++y)
        for (int x = 10; x < 14; ++x) image.setPixel(x, y, spot);
    return image;
}

QImage render(QWidget& w, QColor underneath)
{
    QImage out(w.size(), QImage::Format_ARGB32);
    out.fill(underneath);
    w.render(&out, QPoint(), QRegion(), QWidget::DrawChildren);
    return out;
}

// A small skin with known colours and two buttons keyed on different colours.
class SkinControls : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string info = "2 //n\n";
        for (const char* v : {"0,0,10,10", "0,0,10,10", "0,0,10,10", "1,1,1", "200,10,10", "1,1,1", "10,200,10",
                              "10,10,200", "0,0,100,100", "240,240,240", "16,16,16"})
            info += std::string(v) + " //x\n";
        info += "5,6 //a\n7,8 //b\n";
        const std::vector<PackageItem> items = {
            {"info.txt", {info.begin(), info.end()}},
            {"green.bmp", encodeBitmap24(keyed(QSize(40, 20), qRgb(0, 255, 0), qRgb(200, 30, 30), qRgb(255, 0, 255)))},
            {"magenta.bmp", encodeBitmap24(keyed(QSize(30, 12), qRgb(255, 0, 255), qRgb(0, 255, 0), qRgb(0, 255, 0)))},
        };
        const auto bytes = buildPackage(corvanexFormatTag, items);
        const auto file = folder.path() / "test.int";
        FILE* f = std::fopen(file.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        ASSERT_TRUE(skin.open(file));
        ASSERT_TRUE(skin.parseDescription(folder.path()));
        SkinLook::instance().attach(&skin, nullptr);
        SkinLook::instance().setTile(programBitmap(154));
        setBackgroundImage(1);
    }
    void TearDown() override { SkinLook::instance().attach(nullptr, nullptr); }
    void setBackgroundImage(int on)
    {
        SettingsValues values = SkinLook::instance().settings();
        values.backgroundImageEnabled = on;
        SkinLook::instance().setSettings(values);
    }

    cx::test::TempFolder folder;
    ActiveSkin skin;
};

TEST_F(SkinControls, SkinButtonTakesSizeAndOutlineFromItsBitmap)
{
    CSkinButton button;
    ASSERT_TRUE(button.setBitmap("GREEN.bmp"));
    EXPECT_EQ(button.size(), QSize(39, 19));
    EXPECT_EQ(button.mask(), keyedOutline(button.bitmap(), qRgb(0, 255, 0)));
    EXPECT_FALSE(button.mask().contains(QPoint(5, 0)));
    EXPECT_TRUE(button.mask().contains(QPoint(5, 5)));
    EXPECT_EQ(SkinLook::instance().sharedTransparentColour(), qRgb(0, 255, 0));
    EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);

    CSkinButton missing;
    EXPECT_FALSE(missing.setBitmap("none.bmp"));
    EXPECT_TRUE(missing.mask().isEmpty());
}

TEST_F(SkinControls, ButtonsDrawWithTheKeyOfTheBitmapLoadedLast)
{
    CSkinButton first;
    ASSERT_TRUE(first.setBitmap("green.bmp"));  // key green, red face with a magenta spot
    const QImage before = render(first, Qt::blue);
    EXPECT_EQ(before.pixel(5, 5), qRgb(200, 30, 30));
    EXPECT_EQ(before.pixel(11, 6), qRgb(255, 0, 255));

    CSkinButton second;
    ASSERT_TRUE(second.setBitmap("magenta.bmp"));  // key magenta, green face
    EXPECT_EQ(SkinLook::instance().sharedTransparentColour(), qRgb(255, 0, 255));
    EXPECT_EQ(render(second, Qt::blue).pixel(5, 5), qRgb(0, 255, 0));
    // The first button now leaves magenta out: its spot shows what lies beneath.
    const QImage after = render(first, Qt::blue);
    EXPECT_EQ(after.pixel(11, 6), qRgb(0, 0, 255));
    EXPECT_EQ(after.pixel(5, 5), qRgb(200, 30, 30));
}

TEST_F(SkinControls, OwnerDrawnStyleFollowsTheBackgroundImageOption)
{
    SkinDialog dialog;
    dialog.resize(300, 200);
    auto* skinButton = new CSkinButton(&dialog);
    skinButton->setObjectName("skin");
    skinButton->setText("Close");
    skinButton->setBitmap("green.bmp");
    auto* hover = new CHoverButton(&dialog);
    hover->setObjectName("hover");
    hover->setText("Monitor");
    hover->resize(120, 30);
    auto* action = new CActionButton(&dialog);
    action->setObjectName("action");
    action->resize(120, 30);

    for (auto* b : dialog.findChildren<OwnerDrawButton*>()) EXPECT_TRUE(b->ownerDrawn()) << b->objectName().toStdString();
    const QImage drawn = render(*dialog.findChild<CHoverButton*>("hover"), Qt::blue);

    setBackgroundImage(0);
    applyBackgroundImageStyle(&dialog, false);
    for (auto* b : dialog.findChildren<OwnerDrawButton*>()) EXPECT_FALSE(b->ownerDrawn()) << b->objectName().toStdString();
    EXPECT_TRUE(dialog.findChild<CSkinButton*>("skin")->mask().isEmpty());
    EXPECT_NE(render(*dialog.findChild<CHoverButton*>("hover"), Qt::blue), drawn);

    applyBackgroundImageStyle(&dialog, true);
    EXPECT_FALSE(dialog.findChild<CSkinButton*>("skin")->mask().isEmpty());
    EXPECT_EQ(dialog.findChild<CActionButton*>("action")->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(dialog.findChild<CHoverButton*>("hover")->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(SkinControls, DialogBackgroundIsTileOrGradient)
{
    SkinDialog dialog;
    dialog.resize(150, 100);
    const QImage tile = SkinLook::instance().tile();
    ASSERT_FALSE(tile.isNull());
    QImage tiled = render(dialog, Qt::blue);
    EXPECT_EQ(tiled.pixel(3, 5), tile.pixel(3, 5));
    EXPECT_EQ(tiled.pixel(tile.width() + 3, tile.height() + 5), tile.pixel(3, 5));

    setBackgroundImage(0);
    const QImage gradient = render(dialog, Qt::blue);
    EXPECT_EQ(gradient.pixel(10, 0), qRgb(240, 240, 240));  // colour 11 on top
    // Bottom strip (k = 1): 16 + (240 − 16) × 1 / 100 = 18.
    EXPECT_EQ(gradient.pixel(10, 99), qRgb(18, 18, 18));
}

TEST_F(SkinControls, LabelsTakeRoleColoursAndPlacement)
{
    SkinDialog dialog;
    dialog.resize(800, 600);
    const std::pair<LabelRole, QColor> roles[] = {{LabelRole::Clock, QColor(200, 10, 10)},
                                                  {LabelRole::DateOrStatus, QColor(10, 200, 10)},
                                                  {LabelRole::Other, QColor(10, 10, 200)}};
    for (const auto& [role, colour] : roles) EXPECT_EQ(CPosStatic(role).textColour(), colour);

    auto* label = new CPosStatic(LabelRole::Other, &dialog);
    label->resize(100, 20);
    label->placeByRule(0, 800, 600, 1, -7);
    EXPECT_EQ(label->geometry(), QRect(350 + 336, 576, 100, 20));

    auto* hover = new CHoverButton(&dialog);
    hover->setBitmaps(programBitmap(159), programBitmap(160));
    EXPECT_EQ(hover->size(), programBitmap(159).size());
    hover->resize(100, 21);
    hover->placeByRule(0, 800, 600, 0, -8);
    EXPECT_EQ(hover->geometry(), QRect(734, 575, 66, 21));
}

TEST_F(SkinControls, TitleLabelSwallowsAltWhileItExists)
{
    struct KeyCounter : QWidget {
        int presses = 0;
        void keyPressEvent(QKeyEvent*) override { ++presses; }
    } receiver;
    const auto press = [&](Qt::Key key) {
        QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&receiver, &e);
    };
    {
        CTitleLabel title;
        CTitleLabel second;
        press(Qt::Key_Alt);
        press(Qt::Key_A);
        EXPECT_EQ(receiver.presses, 1);
    }
    press(Qt::Key_Alt);
    EXPECT_EQ(receiver.presses, 2);
}

TEST(ProgramBitmaps, UsedNumbersHavePictures)
{
    for (int id : {154, 143, 156, 159, 160, 164, 165, 166, 167, 168, 169, 191, 192, 193, 194, 233, 234})
        EXPECT_FALSE(programBitmap(id).isNull()) << id;
    EXPECT_EQ(programBitmap(166).size(), programBitmap(167).size());
    EXPECT_TRUE(programBitmap(200).isNull());
}

}  // namespace

int main(int argc, char** argv)
{
    // Test discovery runs the binary outside ctest's environment too.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
