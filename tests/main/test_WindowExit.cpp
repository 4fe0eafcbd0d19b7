// Exit from the main window with no recording running ends the program:
// the real program's entry (with a helper that presses Exit once the
// window is up) on the offscreen platform, against a simulated camera.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "CameraSimulator.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"
#include "support/StreamCamera.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(WindowExit, ExitWithNoRecordingEndsTheProcessWithinTwoSecondsWithCodeZero)
{
    TempFolder folder;
    sim::CameraSimulator simulator;
    sim::CameraConfig camera = model101Stream(15);
    const int port = simulator.add(camera);
    const fs::path program = folder.path() / "program";
    ASSERT_EQ(prepareProgramFolder(program, {{"Lobby", port, 101}}, CX_PROGRAM_FOLDER), "");
    // Manual mode, nothing recording: Exit ends the program instead of
    // going to the notification area.
    Settings settings;
    settings.scheduleMode = 0;
    ASSERT_TRUE(saveSettings(settings, program));

    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const fs::path err = folder.path() / "stderr.txt";
    pid_t pid = spawnIn(program, {CX_EXIT_PROBE}, err);
    ChildGuard guard{pid};
    ASSERT_GT(pid, 0);

    // The helper presses Exit once the start-up window has gone (about 3 s).
    bool clicked = false;
    for (int i = 0; i < 600 && !clicked; ++i) {  // up to 30 s on a busy machine
        std::this_thread::sleep_for(50ms);
        ASSERT_EQ(waitForExit(pid, 0ms), -1) << "the program ended before Exit: " << readText(err);
        clicked = readText(err).find("exit clicked: Exit Corvanex\n") != std::string::npos;
    }
    ASSERT_TRUE(clicked) << readText(err);
    const auto pressed = std::chrono::steady_clock::now();
    EXPECT_GT(simulator.framesSent(0), 0);  // the camera was running

    const int status = waitForExit(pid, 2s);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - pressed);
    ASSERT_NE(status, -1) << "still running 2 s after Exit: " << readText(err);
    pid = -1;
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0) << readText(err);
    std::printf("ended %lld ms after Exit\n", static_cast<long long>(took.count()));
}
