// The default skin as the build made it.
#include <gtest/gtest.h>

#include "ButtonOutline.h"
#include "InterfaceInfo.h"
#include "InterfacePackage.h"
#include "SkinBitmap.h"

using namespace cx;

namespace {

TEST(DefaultSkin, HoldsEveryEntryTheWindowsUse)
{
    const auto package = InterfacePackage::open(CX_DEFAULT_SKIN_FILE);
    ASSERT_TRUE(package);
    EXPECT_EQ(package->formatTag(), corvanexFormatTag);
    EXPECT_EQ(package->entries().size(), package->storedEntryCount());

    InterfaceInfo info;
    parseInterfaceInfo(package->textEntry("info.txt").value_or(""), info);
    EXPECT_GE(info.buttonPoints.readPoints().size(), static_cast<size_t>(ButtonPoint::minimumCount));
    EXPECT_FALSE(package->textEntry("Status.txt").value_or("").empty());

    const QImage background = loadSkinBitmap(*package, "background.bmp");
    ASSERT_FALSE(background.isNull());
    // A shaped window: keyed corners, an opaque body that covers the grid.
    const QRegion shape = keyedOutline(background, keyColourOf(background));
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_FALSE(shape.contains(QPoint(background.width() - 3, background.height() - 3)));
    EXPECT_TRUE(shape.contains(QRect(info.viewArea.left, info.viewArea.top, info.viewArea.right - info.viewArea.left,
                                     info.viewArea.bottom - info.viewArea.top)));
    EXPECT_LE(background.width(), 1280);
    EXPECT_LE(background.height(), 800);

    for (const char* name : {"about.bmp", "exit.bmp", "cameras.bmp", "monitor.bmp", "options.bmp", "addcamera.bmp",
                             "snapshot.bmp", "adjust.bmp", "record.bmp", "replay.bmp", "sound.bmp", "website.bmp",
                             "interface.bmp", "update corvanex.bmp", "close.bmp", "select.bmp", "update.bmp", "save.bmp",
                             "properties.bmp", "Remove Camera.bmp"}) {
        const QImage button = loadSkinBitmap(*package, name);
        ASSERT_FALSE(button.isNull()) << name;
        const QRegion outline = keyedOutline(button, keyColourOf(button));
        // Rounded: the corner is cut, the middle is button.
        EXPECT_FALSE(outline.contains(QPoint(0, 0))) << name;
        EXPECT_TRUE(outline.contains(QPoint(button.width() / 2, button.height() / 2))) << name;
    }
}

}  // namespace
