// End to end: the real program without a window, in a program folder made
// by the folder tool, with simulated cameras and a schedule that covers the
// current minute. It records, stays quiet, and SIGTERM ends it within 2 s
// with every recording complete.
#include <gtest/gtest.h>

#include "CameraSimulator.h"
#include "support/AviReader.h"
#include "support/Ffprobe.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"
#include "support/StreamCamera.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

TEST(NoWindowRun, RecordsByTheScheduleAndEndsOnSigtermWithFilesComplete)
{
    TempFolder folder;
    sim::CameraSimulator simulator;
    sim::CameraConfig camera = model101Stream(25);
    const int front = simulator.add(camera);
    sim::CameraConfig snapshot = camera;
    snapshot.kind = sim::CameraKind::Snapshot;
    snapshot.path = "/netcam.jpg";
    snapshot.fps = 10;
    const int yard = simulator.add(snapshot);
    ASSERT_NE(front, 0);
    ASSERT_NE(yard, 0);

    const fs::path program = folder.path() / "program";
    ASSERT_EQ(prepareProgramFolder(program, {{"Front", front, 101}, {"Yard", yard, 200}}, CX_PROGRAM_FOLDER), "");
    // A recorder shows nothing: it needs no skin package.
    fs::remove_all(program / "Interface");

    const fs::path err = folder.path() / "stderr.txt";
    pid_t pid = spawnIn(program, {CORVANEX_BINARY, "--no-window"}, err);
    ChildGuard guard{pid};
    ASSERT_GT(pid, 0);
    // Recordings appear and grow.
    auto recordedBytes = [&] {
        uintmax_t n = 0;
        for (const char* name : {"Front", "Yard"})
            for (const auto& f : recordingsIn(program / "video" / name)) n += fs::file_size(f);
        return n;
    };
    bool recording = false;
    for (int i = 0; i < 1500 && !recording; ++i) {
        std::this_thread::sleep_for(10ms);
        recording = recordingsIn(program / "video" / "Front").size() == 1 &&
                    recordingsIn(program / "video" / "Yard").size() == 1 && recordedBytes() > 200'000;
    }
    ASSERT_TRUE(recording) << readText(err);
    ASSERT_EQ(waitForExit(pid, 0ms), -1) << "the program ended by itself: " << readText(err);

    ASSERT_NE(stopWithSigterm(pid), -1);

    // Quiet: no database traces, no messages.
    EXPECT_EQ(readText(err), "");
    // Closed properly: the index is there and an independent reader agrees.
    for (const char* name : {"Front", "Yard"}) {
        SCOPED_TRACE(name);
        const auto files = recordingsIn(program / "video" / name);
        ASSERT_EQ(files.size(), 1u);
        const AviFile avi = readAvi(files[0]);
        EXPECT_GT(avi.indexEntries, 0u);
        const ProbedStream probe = ffprobe(files[0]);
        EXPECT_TRUE(probe.ok);
        EXPECT_EQ(probe.codecName, "mjpeg");
        EXPECT_GT(probe.packets, 5);
    }
}

// Rows no model can serve, an unknown model code and an RTSP camera whose
// settings were lost, are told once each; the program runs on, records
// the camera that works, and ends on SIGTERM as always.
TEST(NoWindowRun, UnusableRowsAreToldOnceAndTheOthersRecord)
{
    TempFolder folder;
    sim::CameraSimulator simulator;
    const int front = simulator.add(model101Stream(25));
    ASSERT_NE(front, 0);
    const fs::path program = folder.path() / "program";
    ASSERT_EQ(prepareProgramFolder(program, {{"Front", front, 101}, {"Odd", 1, 4242}}, CX_PROGRAM_FOLDER), "");
    const fs::path toolErr = folder.path() / "tool.txt";
    const int added = waitForExit(spawnIn(folder.path(), {CX_PROGRAM_FOLDER, program.string(), "--rtsp-camera", "Gate",
                                                          "127.0.0.1", "554", "/main"},
                                          toolErr),
                                  30s);
    ASSERT_TRUE(WIFEXITED(added) && WEXITSTATUS(added) == 0) << readText(toolErr);
    const std::string database = (program / "Database" / "Corvanex.mdb").string();
    ASSERT_EQ(std::system(("sqlite3 '" + database + "' 'DELETE FROM rtspCameraCX'").c_str()), 0);

    const fs::path err = folder.path() / "stderr.txt";
    pid_t pid = spawnIn(program, {CORVANEX_BINARY, "--no-window"}, err);
    ChildGuard guard{pid};
    ASSERT_GT(pid, 0);
    auto recorded = [&] {
        uintmax_t n = 0;
        for (const auto& f : recordingsIn(program / "video" / "Front")) n += fs::file_size(f);
        return n;
    };
    bool recording = false;
    for (int i = 0; i < 1500 && !recording; ++i) {
        std::this_thread::sleep_for(10ms);
        recording = recorded() > 200'000;
    }
    ASSERT_TRUE(recording) << readText(err);
    // A few ticks more: nothing is told again.
    std::this_thread::sleep_for(2s);
    ASSERT_EQ(waitForExit(pid, 0ms), -1) << "the program ended by itself: " << readText(err);
    ASSERT_NE(stopWithSigterm(pid), -1);
    EXPECT_EQ(readText(err), "Corvanex: Camera Odd: unknown camera model 4242\n"
                             "Corvanex: Camera Gate: RTSP settings are missing\n");
}
