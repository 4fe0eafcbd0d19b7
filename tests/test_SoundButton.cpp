// The "Sound" button reads the second camera's audio stream from the event
// loop; the main window closing meanwhile ends the reading safely.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "CMonitorDlg.h"
#include "CSkinButton.h"
#include "CameraSimulator.h"
#include "Engine.h"
#include "support/TempFolder.h"
#include "support/WindowFolder.h"

using namespace cx;
using namespace cx::test;

namespace {

TEST(SoundButton, ReadsSlotOneUntilTheWindowCloses)
{
    sim::CameraSimulator simulator;
    sim::CameraConfig audio;
    audio.kind = sim::CameraKind::Audio;
    audio.path = "/axis-cgi/audio/receive.cgi?httptype=singlepart";
    const int port = simulator.add(audio);
    ASSERT_GT(port, 0);

    TempFolder folder;
    ASSERT_TRUE(makeWindowFolder(folder.path(), {{"Door", 1, "101"}, {"Hall", port, "108"}}));
    Engine engine{{folder.path()}};
    AttachedSkin skin{engine};
    ASSERT_TRUE(skin.open(folder.path()));
    auto main = std::make_unique<CMonitorDlg>(engine, skin.skin, MonitorOptions{false});
    engine.connectAllCameras();  // as the start-up window does; builds the request paths

    // Runs inside the reading's event pump: the window goes while it reads.
    bool closedWhileReading = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (main && engine.audioReading() && simulator.framesSent(0) >= 3) {
            closedWhileReading = true;
            main.reset();
        }
    });
    poll.start();
    main->findChild<CSkinButton*>("sound")->click();
    EXPECT_FALSE(engine.audioReading());  // not read inside the button's handler
    ASSERT_TRUE(waitFor([&] { return closedWhileReading; }, 10000));
    EXPECT_TRUE(waitFor([&] { return !engine.audioReading(); }, 5000));
    EXPECT_GE(simulator.framesSent(0), 3u);
    poll.stop();
    engine.shutdown();
}

}  // namespace
