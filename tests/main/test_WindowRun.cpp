// End to end with a window: the real program on a virtual display (Xvfb)
// with simulated cameras shows its main window with live pictures, and a
// second start in the same folder ends at once.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <set>

#include "CameraSimulator.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"
#include "support/StreamCamera.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

int distinctColours(const QImage& image)
{
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4) colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

// Pixels (sampled) that differ between two pictures of the screen.
int changedPixels(const QImage& a, const QImage& b)
{
    int n = 0;
    for (int y = 0; y < a.height() && y < b.height(); y += 4)
        for (int x = 0; x < a.width() && x < b.width(); x += 4) n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

struct VirtualDisplay {
    pid_t pid = -1;
    std::string name;
    VirtualDisplay(const fs::path& folder)
    {
        const int number = 90 + static_cast<int>(::getpid() % 400);
        name = ":" + std::to_string(number);
        pid = spawnIn(folder, {"/usr/bin/Xvfb", name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                      folder / "xvfb.txt");
        const fs::path socket = "/tmp/.X11-unix/X" + std::to_string(number);
        for (int i = 0; i < 500 && !fs::exists(socket); ++i) std::this_thread::sleep_for(10ms);
    }
    ~VirtualDisplay()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            waitForExit(pid, 5s);
        }
    }
};

}  // namespace

TEST(WindowRun, MainWindowShowsLivePicturesAndASecondStartEndsAtOnce)
{
    if (!fs::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "no Xvfb";
    TempFolder folder;
    sim::CameraSimulator simulator;
    sim::CameraConfig camera = model101Stream(15);
    camera.width = 640;
    camera.height = 480;
    camera.scene = 1;
    const int first = simulator.add(camera);
    camera.scene = 2;
    const int second = simulator.add(camera);
    const fs::path program = folder.path() / "program";
    ASSERT_EQ(prepareProgramFolder(program, {{"Lobby", first, 101}, {"Yard", second, 101}}, CX_PROGRAM_FOLDER), "");

    VirtualDisplay display(folder.path());
    ASSERT_GT(display.pid, 0);
    ::setenv("DISPLAY", display.name.c_str(), 1);
    // The program and this test both use the virtual display, whatever the
    // suite set for widget tests.
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    const fs::path err = folder.path() / "stderr.txt";
    pid_t pid = spawnIn(program, {CORVANEX_BINARY}, err);
    ChildGuard guard{pid};
    ASSERT_GT(pid, 0);

    int argc = 1;
    char name[] = "cx_window_test";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);

    // The start-up window, then the main window with both cameras live.
    QImage before;
    QImage after;
    bool live = false;
    for (int i = 0; i < 80 && !live; ++i) {  // up to 40 s on a busy machine
        std::this_thread::sleep_for(500ms);
        ASSERT_EQ(waitForExit(pid, 0ms), -1) << "the program ended: " << readText(err);
        before = after;
        after = screen->grabWindow(0).toImage();
        live = !before.isNull() && simulator.framesSent(0) > 30 && simulator.framesSent(1) > 30 &&
               distinctColours(after) > 200 && changedPixels(before, after) > 500;  // more than the clocks: moving pictures
    }
    EXPECT_TRUE(live) << readText(err);

    // A second start in the same folder ends at once, without a window.
    const pid_t again = spawnIn(program, {CORVANEX_BINARY}, folder.path() / "second.txt");
    const int status = waitForExit(again, 3s);
    EXPECT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readText(folder.path() / "second.txt"), "");

    ::kill(pid, SIGTERM);
    if (waitForExit(pid, 5s) == -1) {
        ::kill(pid, SIGKILL);
        waitForExit(pid, 5s);
    }
}
