// The main window on live simulated cameras: monitoring switched off and
// on, a minimized window, a camera that never answers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPointer>

#include <set>

#include "CCameraViews.h"
#include "CMonitorDlg.h"
#include "CMonitoring.h"
#include "CSkinButton.h"
#include "CameraGrid.h"
#include "CameraSimulator.h"
#include "Engine.h"
#include "support/SlotRunning.h"
#include "support/TempFolder.h"
#include "support/WindowFolder.h"
#include "support/StreamCamera.h"

using namespace cx;
using namespace cx::test;

namespace {

// Distinct colours in a picture: more than one means something was drawn.
int distinctColours(const QImage& image)
{
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 5)
        for (int x = 0; x < image.width(); x += 5) colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

class LiveWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::CameraConfig camera = model101Stream(30);
        camera.width = 320;
        camera.height = 240;
        const int port = simulator.add(camera);
        ASSERT_NE(port, 0);
        // Nothing listens on port 1: the second camera never answers.
        ASSERT_TRUE(makeWindowFolder(folder.path(), {{"Street", port, "101"}, {"Backyard", 1, "101"}}));
        ASSERT_TRUE(skin.open(folder.path()));
        main = std::make_unique<CMonitorDlg>(engine, skin.skin, MonitorOptions{false});
        main->show();
        engine.connectAllCameras();
    }
    void TearDown() override
    {
        engine.shutdown();
        main.reset();
        simulator.stop();
    }
    int frames(int slot) { return engine.framesReceived(slot); }
    bool showsPicture(int slot) { return distinctColours(engine.paneImage(slot)) > 10; }

    sim::CameraSimulator simulator;
    TempFolder folder;
    Engine engine{{folder.path()}};
    AttachedSkin skin{engine};
    std::unique_ptr<CMonitorDlg> main;
};

TEST_F(LiveWindowTest, CameraSwitchedOffAndOnShowsLivePicturesAgain)
{
    ASSERT_TRUE(waitFor([&] { return showsPicture(0); }));

    {
        CMonitoring monitoring(engine, main.get());
        monitoring.findChild<QCheckBox*>("monitor0")->setChecked(false);
        monitoring.findChild<CSkinButton*>("select")->click();
    }
    // The stream ends and the pane goes black.
    ASSERT_TRUE(waitFor([&] {
        return slotIdle(engine, 0) && distinctColours(engine.paneImage(0)) == 1;
    }));
    const int stoppedAt = frames(0);

    CMonitoring monitoring(engine, main.get());
    auto* box = monitoring.findChild<QCheckBox*>("monitor0");
    EXPECT_FALSE(box->isChecked());
    box->setChecked(true);
    monitoring.findChild<CSkinButton*>("select")->click();
    EXPECT_TRUE(waitFor([&] { return frames(0) > stoppedAt + 10 && showsPicture(0); }));
    // And the window paints it.
    const QImage shown = main->findChild<CCameraViews*>("pane0")->grab().toImage();
    EXPECT_GT(distinctColours(shown), 10);
}

TEST_F(LiveWindowTest, MinimizedWindowDecodesNothing)
{
    ASSERT_TRUE(waitFor([&] { return engine.decodeCount() > 5; }));
    main->showMinimized();
    waitFor([] { return false; }, 300);  // a frame already being drawn may finish
    const int64_t decoded = engine.decodeCount();
    const int received = frames(0);
    waitFor([] { return false; }, 1000);
    EXPECT_GT(frames(0), received + 10);  // frames keep coming
    EXPECT_EQ(engine.decodeCount(), decoded);

    main->showNormal();
    EXPECT_TRUE(waitFor([&] { return engine.decodeCount() > decoded + 5; }));
}

TEST_F(LiveWindowTest, GridRebuildKeepsTheConnectionAndTheNewPaneShowsThePicture)
{
    ASSERT_TRUE(waitFor([&] { return showsPicture(0) && engine.slotState(0) == SlotState::Live; }));
    std::vector<int> changes;  // connection changes of the live camera from here on
    QObject::connect(&engine, &Engine::connectionChanged, main.get(), [&changes](int slot, int state) {
        if (slot == 0) changes.push_back(state);
    });
    CameraGrid& grid = main->grid();
    const QPointer<CCameraViews> old = main->findChild<CCameraViews*>("pane0");
    grid.shape() = GridShape{3, 3};
    grid.rebuild(grid.geometry());
    ASSERT_TRUE(old.isNull());  // a new widget for every pane
    auto* pane = main->findChild<CCameraViews*>("pane0");
    ASSERT_NE(pane, nullptr);
    EXPECT_NE(main->findChild<CCameraViews*>("pane8"), nullptr);

    const int framesAt = frames(0);
    EXPECT_TRUE(waitFor([&] { return frames(0) > framesAt + 10 && distinctColours(pane->grab().toImage()) > 10; }));
    EXPECT_EQ(engine.slotState(0), SlotState::Live);
    EXPECT_TRUE(changes.empty()) << "the connection was let go: " << changes.size() << " changes";
}

TEST_F(LiveWindowTest, QuietCameraIsMarkedOfflineOverItsPane)
{
    main->grid().setOfflineAfter(300);
    auto* quiet = main->findChild<CCameraViews*>("pane1");
    auto* live = main->findChild<CCameraViews*>("pane0");
    ASSERT_TRUE(waitFor([&] {
        main->grid().checkOffline();
        return !quiet->offlineText().isEmpty();
    }));
    EXPECT_TRUE(quiet->offlineText().startsWith("Backyard\noffline since ")) << quiet->offlineText().toStdString();
    EXPECT_TRUE(quiet->offlineText().endsWith(", retrying"));
    EXPECT_TRUE(waitFor([&] { return showsPicture(0); }));
    main->grid().checkOffline();
    EXPECT_TRUE(live->offlineText().isEmpty());
    // Panes without a camera never say so.
    EXPECT_TRUE(main->findChild<CCameraViews*>("pane3")->offlineText().isEmpty());
}

TEST_F(LiveWindowTest, LostConnectionIsMarkedWithoutWaitingForSilence)
{
    main->grid().setOfflineAfter(10 * 60 * 1000);  // silence alone would take ten minutes
    auto* quiet = main->findChild<CCameraViews*>("pane1");
    ASSERT_TRUE(waitFor([&] { return !quiet->offlineText().isEmpty(); }, 5000));
    EXPECT_TRUE(quiet->offlineText().startsWith("Backyard\noffline since ")) << quiet->offlineText().toStdString();
    EXPECT_NE(engine.snapshot()->camera(1)->connection, ConnectionState::Live);
    ASSERT_TRUE(waitFor([&] { return showsPicture(0); }));
    EXPECT_TRUE(main->findChild<CCameraViews*>("pane0")->offlineText().isEmpty());

    // A camera switched off lets go on purpose: its pane is black, not offline.
    CMonitoring monitoring(engine, main.get());
    monitoring.findChild<QCheckBox*>("monitor1")->setChecked(false);
    monitoring.findChild<CSkinButton*>("select")->click();
    EXPECT_TRUE(waitFor([&] { return quiet->offlineText().isEmpty(); }, 3000));
}

}  // namespace
