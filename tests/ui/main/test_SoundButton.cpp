// The "Sound" button reads the second camera's audio stream on a thread of
// its own: the button's handler returns at once, the window keeps
// answering while a camera stalls, and closing the window, Exit or the
// engine's shutdown end the reading.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <string>

#include "CMonitorDlg.h"
#include "CSkinButton.h"
#include "CameraSimulator.h"
#include "Engine.h"
#include "support/SilentServer.h"
#include "support/TempFolder.h"
#include "support/WindowFolder.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;

namespace {

// A main window on an engine over the cameras of `cameras`.
struct SoundWindow {
    explicit SoundWindow(const std::vector<FolderCamera>& cameras) : ok(makeWindowFolder(folder.path(), cameras))
    {
        engine.loadCameraTable();
        ok = ok && skin.open(folder.path());
        main = std::make_unique<CMonitorDlg>(engine, skin.skin, MonitorOptions{false});
        engine.connectAllCameras();  // as the start-up window does; builds the request paths
    }
    void clickSound() { main->findChild<CSkinButton*>("sound")->click(); }

    TempFolder folder;
    bool ok;  // the folder was made and its skin opened
    Engine engine{{folder.path()}};
    AttachedSkin skin{engine};
    std::unique_ptr<CMonitorDlg> main;
};

// What an AXIS 213 (code 108) is asked for its sound.
const std::string audioPath = "/axis-cgi/audio/receive.cgi?httptype=singlepart";

sim::CameraConfig audioCamera()
{
    sim::CameraConfig audio;
    audio.kind = sim::CameraKind::Audio;
    audio.path = audioPath;
    return audio;
}

TEST(SoundButton, ReadsSlotOneUntilTheWindowCloses)
{
    sim::CameraSimulator simulator;
    const int port = simulator.add(audioCamera());
    ASSERT_GT(port, 0);
    SoundWindow w({{"Door", 1, "101"}, {"Hall", port, "108"}});
    ASSERT_TRUE(w.ok);

    w.clickSound();
    EXPECT_TRUE(w.engine.audioReading());  // the handler came back with the reading under way
    ASSERT_TRUE(waitFor([&] { return simulator.framesSent(0) >= 3; }, 10000));
    EXPECT_TRUE(w.engine.audioReading());

    w.main.reset();  // the window going ends the reading
    EXPECT_TRUE(waitFor([&] { return !w.engine.audioReading(); }, 2000));
    EXPECT_TRUE(w.engine.shutdown());
}

TEST(SoundButton, WithOneCameraNothingIsRead)
{
    sim::CameraSimulator simulator;
    const int port = simulator.add(audioCamera());
    ASSERT_GT(port, 0);
    SoundWindow w({{"Hall", port, "108"}});  // slot 0 could be read, slot 1 is empty
    ASSERT_TRUE(w.ok);
    w.clickSound();
    EXPECT_FALSE(w.engine.audioReading());
    EXPECT_TRUE(w.engine.shutdown());
    EXPECT_EQ(simulator.connections(0), 0u);
}

// A camera that accepts the audio request and never answers.
TEST(SoundButton, StalledCameraLeavesTheWindowAnsweringAndTheExitOnTime)
{
    struct Case {
        const char* how;
        bool exitButton;  // else the engine's shutdown alone
    };
    for (const Case c : {Case{"Exit button", true}, Case{"shutdown", false}}) {
        SCOPED_TRACE(c.how);
        SilentServer camera;
        ASSERT_GT(camera.port(), 0);
        SoundWindow w({{"Door", 1, "101"}, {"Hall", camera.port(), "108"}});
        ASSERT_TRUE(w.ok);
        w.engine.startScheduleTick();  // it ends the window after Exit

        int ticksWhileReading = 0;
        QTimer ticker;
        ticker.setInterval(5);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (w.engine.audioReading()) ++ticksWhileReading;
        });
        ticker.start();
        w.clickSound();
        ASSERT_TRUE(w.engine.audioReading());  // the handler came back with the reading under way
        ASSERT_TRUE(waitFor([&] { return camera.requestsFor(audioPath) == 1; }, 5000));
        w.clickSound();  // pressed again while it reads: no second reading
        ASSERT_TRUE(waitFor([&] { return ticksWhileReading >= 50; }, 10000));
        EXPECT_TRUE(w.engine.audioReading());  // the camera still says nothing
        EXPECT_EQ(camera.requestsFor(audioPath), 1);

        const auto t0 = std::chrono::steady_clock::now();
        if (c.exitButton) {
            w.main->findChild<CSkinButton*>("exit")->click();
            EXPECT_TRUE(waitFor([&] { return w.main->result() == 1 && !w.engine.audioReading(); }, 2000));
        }
        EXPECT_TRUE(w.engine.shutdown());
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
        EXPECT_FALSE(w.engine.audioReading());
        EXPECT_EQ(camera.requestsFor(audioPath), 1);
    }
}

}  // namespace
