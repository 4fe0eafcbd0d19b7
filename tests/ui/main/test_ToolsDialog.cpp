// The tools panel under the offscreen platform: its buttons, where the
// placement rule puts them, and what they open; F10 opens it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include "CCameraListDlg.h"
#include "CHoverButton.h"
#include "CMonitorDlg.h"
#include "CSkinButton.h"
#include "CToolsDialog.h"
#include "Engine.h"
#include "ReplayControls.h"
#include "ReplayDialog.h"
#include "support/MainWindowTest.h"
#include "support/TempFolder.h"
#include "support/WindowFolder.h"

using namespace cx;
using namespace cx::test;

namespace {

class ToolsDialogTest : public MainWindowTest {
protected:
    void adjust(SettingsValues& settings) override { settings.backgroundImageEnabled = 1; }
};

TEST_F(ToolsDialogTest, SevenButtonsPlacedByTheHoverRule)
{
    CToolsDialog tools(*main);
    struct Case {
        const char* name;
        const char* text;
        QPoint at;
    };
    // x = (620 - W) / 2 - 48 e, y = 90 - 4 (d + 1) - (d + 1) H; tool faces
    // 132 by 34, "Record" 116 by 38.
    const Case cases[] = {
        {"monitor", "Monitor", {148, 52}},     {"replayVideo", "Replay Video", {292, 52}},
        {"close", "Close", {436, 52}},         {"cameras", "Cameras", {4, 14}},
        {"options", "Options", {148, 14}},     {"record", "Record", {300, 6}},
        {"addCamera", "Add Camera", {436, 14}},
    };
    EXPECT_EQ(tools.findChildren<CHoverButton*>().size(), 7);
    for (const Case& c : cases) {
        auto* b = tools.findChild<CHoverButton*>(QString::fromLatin1(c.name));
        ASSERT_NE(b, nullptr) << c.name;
        EXPECT_EQ(b->text(), c.text);
        EXPECT_EQ(b->pos(), c.at) << c.name;
        EXPECT_TRUE(b->isEnabled());
    }
}

TEST_F(ToolsDialogTest, ButtonsOpenTheirWindowsAndF10OpensThePanel)
{
    EXPECT_EQ(opens([&] {
                  QKeyEvent f10(QEvent::KeyPress, Qt::Key_F10, Qt::NoModifier);
                  QApplication::sendEvent(main.get(), &f10);
              }),
              "cx::CToolsDialog");
    // The hidden "ToolBox" control does the same.
    EXPECT_EQ(opens([&] { main->findChild<CSkinButton*>("toolBox")->click(); }), "cx::CToolsDialog");

    CToolsDialog tools(*main);
    auto button = [&](const char* name) { return tools.findChild<CHoverButton*>(QString::fromLatin1(name)); };
    EXPECT_EQ(opens([&] { button("cameras")->click(); }), "cx::CCameraListDlg");
    EXPECT_EQ(opens([&] { button("addCamera")->click(); }), "cx::CAddCameraDlg");
    EXPECT_EQ(opens([&] { button("monitor")->click(); }), "cx::CMonitoring");
    EXPECT_EQ(opens([&] { button("options")->click(); }), "cx::OptionsDialog");
    EXPECT_EQ(opens([&] { button("replayVideo")->click(); }), "cx::ReplayDialog");
    tools.show();
    button("close")->click();
    EXPECT_EQ(tools.result(), 1);
    EXPECT_FALSE(tools.isVisible());
}

TEST(ReplayDialogAlone, ShowsTheTemplateControls)
{
    AttachedSkin skin;
    ReplayDialog replay;
    for (const char* shown : {"selectFile", "play", "pause", "stop", "fastForward", "fastReverse", "slowForward",
                              "slowReverse", "close"})
        EXPECT_FALSE(replay.findChild<CHoverButton*>(QString::fromLatin1(shown))->isHidden()) << shown;
    EXPECT_EQ(replay.size(), replay.controls().size());
}

}  // namespace
