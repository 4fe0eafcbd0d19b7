// The whole program under faults: the real binary without a window, in a
// scratch program folder, one good camera recording beside faulty ones. For
// each group of faults the program keeps running, the good camera keeps its
// frame rate and its recording, no thread spins, memory stays bounded, and
// SIGTERM ends it within 2 s with the recordings closed.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/socket.h>
#include <netinet/in.h>

#include <cstdlib>
#include <random>

#include "CameraSimulator.h"
#include "support/AviReader.h"
#include "support/Ffprobe.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr double goodFps = 15;
const char* const streamPath = "/axis-cgi/mjpg/video.cgi?showlength=1";

sim::CameraConfig stream(sim::Fault fault = sim::Fault::None, int after = 0, int count = 1 << 30)
{
    sim::CameraConfig c;
    c.kind = sim::CameraKind::Stream;
    c.path = streamPath;
    c.fps = goodFps;
    c.fault = fault;
    c.faultAfter = after;
    c.faultCount = count;
    return c;
}

sim::CameraConfig protocol(sim::Fault fault, int after = 2, int count = 1 << 30)
{
    sim::CameraConfig c;
    c.kind = sim::CameraKind::Protocol;
    c.fps = goodFps;
    c.fault = fault;
    c.faultAfter = after;
    c.faultCount = count;
    return c;
}

// A port on which nothing listens.
int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}

struct Measured {
    double goodFps = 0;        // frames the good camera delivered per second
    double cpuShare = 0;       // CPU seconds of the program per second
    double peakMiB = 0;        // peak resident memory
};

struct FaultMatrix : ::testing::Test {
    TempFolder folder;
    sim::CameraSimulator simulator;
    fs::path program = folder.path() / "program";
    fs::path err = folder.path() / "stderr.txt";
    pid_t pid = -1;
    std::vector<ProgramCamera> cameras;
    int protocolPort = 7000 + static_cast<int>(::getpid() % 1500);

    ~FaultMatrix() override
    {
        if (pid > 0 && waitForExit(pid, 0ms) == -1) {
            ::kill(pid, SIGKILL);
            waitForExit(pid, 5s);
        }
    }

    // Serves `config` as camera `name` of model `type`; its simulator index.
    size_t add(const std::string& name, sim::CameraConfig config, int type, std::string login = {},
               std::string password = {})
    {
        int port = 0;
        while (port == 0 && protocolPort < 9999) {  // the binary protocol's address needs four digits
            config.port = config.kind == sim::CameraKind::Protocol ? protocolPort : 0;
            port = simulator.add(config);
            protocolPort += 7;
        }
        EXPECT_NE(port, 0) << name;
        cameras.emplace_back(name, port, type, std::move(login), std::move(password));
        return cameras.size() - 1;
    }
    void addRefused(const std::string& name) { cameras.emplace_back(name, closedPort(), 101); }

    void start()
    {
        ASSERT_EQ(prepareProgramFolder(program, cameras, CX_PROGRAM_FOLDER), "");
        launch();
    }
    void launch()
    {
        pid = spawnIn(program, {CORVANEX_BINARY, "--no-window"}, err);
        ASSERT_GT(pid, 0);
    }
    bool running() { return pid > 0 && waitForExit(pid, 0ms) == -1; }

    // Waits until camera `index` (the simulator's) has sent `frames`.
    bool delivered(size_t index, uint64_t frames, std::chrono::milliseconds limit = 15s)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (simulator.framesSent(index) < frames && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(20ms);
        return simulator.framesSent(index) >= frames;
    }

    // Frame rate of the good camera, CPU and memory over `span`.
    Measured measure(size_t good, std::chrono::milliseconds span)
    {
        Measured m;
        const uint64_t sent0 = simulator.framesSent(good);
        const double cpu0 = processCpuSeconds(pid);
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(span);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        m.goodFps = static_cast<double>(simulator.framesSent(good) - sent0) / seconds;
        m.cpuShare = (processCpuSeconds(pid) - cpu0) / seconds;
        m.peakMiB = processMemoryMiB(pid);
        return m;
    }

    // SIGTERM: the program ends within 2 s with exit code 0.
    void stopWithinTwoSeconds()
    {
        ASSERT_TRUE(running()) << readText(err);
        const long long took = stopWithSigterm(pid);
        ASSERT_NE(took, -1);
        RecordProperty("stopMs", static_cast<int>(took));
    }

    // The camera's recordings: complete, read by ffprobe, holding frames.
    void expectCompleteRecording(const std::string& name, long minPackets)
    {
        SCOPED_TRACE(name);
        const auto files = recordingsIn(program / "video" / name);
        ASSERT_FALSE(files.empty());
        long packets = 0;
        for (const auto& f : files) {
            const AviFile avi = readAvi(f);
            EXPECT_GT(avi.indexEntries, 0u) << f;
            // Every picture the camera sent while the file was open, in
            // order: nothing was dropped on the way.
            std::optional<uint64_t> previous;
            size_t gaps = 0;
            for (const auto& chunk : avi.chunks) {
                if (chunk.data.empty()) continue;
                const auto number = sim::simulatedFrameNumber(chunk.data.data(), chunk.data.size());
                if (number && previous && *number != *previous + 1) ++gaps;
                if (number) previous = number;
            }
            EXPECT_EQ(gaps, 0u) << f;
            const ProbedStream probe = ffprobe(f);
            EXPECT_TRUE(probe.ok) << f;
            packets += probe.packets;
        }
        EXPECT_GE(packets, minPackets);
    }

    void expectHealthy(const Measured& m)
    {
        EXPECT_TRUE(running()) << readText(err);
        EXPECT_GE(m.goodFps, 0.9 * goodFps);
        EXPECT_LE(m.goodFps, 1.1 * goodFps);
        EXPECT_LT(m.cpuShare, 0.25) << "a thread spins";
        EXPECT_LT(m.peakMiB, 250.0);
        RecordProperty("goodFps", std::to_string(m.goodFps));
        RecordProperty("cpuShare", std::to_string(m.cpuShare));
        RecordProperty("peakMiB", std::to_string(m.peakMiB));
        std::printf("good camera %.1f fps, CPU %.1f%%, peak %.0f MiB\n", m.goodFps, 100 * m.cpuShare, m.peakMiB);
    }
};

}  // namespace

TEST_F(FaultMatrix, ConnectionFaultsRecoverOrRetryWithBackOff)
{
    const size_t good = add("Good", stream(), 101);
    const size_t stalled = add("Stalled", stream(sim::Fault::StallAfterHeaders, 2), 101);
    const size_t dripping = add("Dripping", stream(sim::Fault::Drip, 2), 101);
    const size_t closing = add("ClosesMidFrame", stream(sim::Fault::CloseMidFrame, 3), 101);
    const size_t ending = add("EndsStream", stream(sim::Fault::EndStream, 3), 101);
    sim::CameraConfig locked;
    locked.kind = sim::CameraKind::Snapshot;
    locked.path = "/netcam.jpg";
    locked.auth = sim::Auth::Basic;
    locked.user = "admin";
    locked.password = "right";
    const size_t refusing401 = add("Unauthorized", locked, 200, "admin", "wrong");
    const size_t slammed = add("ClosesAtOnce", stream(sim::Fault::CloseAtOnce), 101);
    addRefused("Refused");
    start();
    ASSERT_TRUE(delivered(good, 20)) << readText(err);

    expectHealthy(measure(good, 6s));
    // Recovering cameras come back again and again, each time after a
    // back-off: a few connections in these seconds, not hundreds.
    for (size_t i : {closing, ending}) {
        EXPECT_GE(simulator.connections(i), 2u) << i;
        EXPECT_LE(simulator.connections(i), 8u) << i;
        EXPECT_GE(simulator.framesSent(i), 6u) << i;  // frames between the faults arrive
    }
    for (size_t i : {refusing401, slammed}) {
        EXPECT_GE(simulator.connections(i), 2u) << i;
        EXPECT_LE(simulator.connections(i), 8u) << i;
    }
    // Stalled and dripping cameras hold their one connection until the read time-out.
    EXPECT_EQ(simulator.connections(stalled), 1u);
    EXPECT_EQ(simulator.connections(dripping), 1u);
    stopWithinTwoSeconds();
    expectCompleteRecording("Good", static_cast<long>(6 * goodFps));
    EXPECT_EQ(readText(err), "");  // none of these is a wrong answer worth a message
}

TEST_F(FaultMatrix, HostileStreamsKeepMemoryBoundedAndResync)
{
    const size_t good = add("Good", stream(), 101);
    std::vector<size_t> resyncing;
    for (sim::Fault f : {sim::Fault::OversizedLength, sim::Fault::NegativeLength, sim::Fault::NonNumericLength,
                         sim::Fault::MissingLength})
        resyncing.push_back(add("Resync" + std::to_string(resyncing.size()), stream(f, 2, 1), 101));
    const size_t longLine = add("LongLine", stream(sim::Fault::LongLine, 2, 1), 101);
    const size_t flood = add("Flood", stream(sim::Fault::HeaderFlood, 0), 101);  // never a picture
    start();
    ASSERT_TRUE(delivered(good, 20)) << readText(err);

    expectHealthy(measure(good, 6s));
    // A bad length line or a long line costs one frame; the stream goes on.
    for (size_t i : resyncing) {
        EXPECT_GE(simulator.framesSent(i), 40u) << i;
        EXPECT_LE(simulator.connections(i), 2u) << i;
    }
    // Megabytes of text without a picture, or a flood that never ends: the
    // stream is dropped and asked again after a back-off; the long line's
    // camera sends its good frames between the faults.
    EXPECT_GE(simulator.connections(longLine), 2u);
    EXPECT_LE(simulator.connections(longLine), 8u);
    EXPECT_GE(simulator.framesSent(longLine), 6u);
    EXPECT_GE(simulator.connections(flood), 2u);
    EXPECT_LE(simulator.connections(flood), 5u);  // 1, 2, 4 s apart
    stopWithinTwoSeconds();
    expectCompleteRecording("Good", static_cast<long>(6 * goodFps));
}

TEST_F(FaultMatrix, ProtocolFaultsEndInAReconnect)
{
    const size_t good = add("Good", stream(), 101);
    std::vector<size_t> faulty;
    for (sim::Fault f : {sim::Fault::ZeroCount, sim::Fault::HugeCount, sim::Fault::NonDigitCount, sim::Fault::EndInHeader})
        faulty.push_back(add("Protocol" + std::to_string(faulty.size()), protocol(f), 0));
    const size_t silent = add("Silent", protocol(sim::Fault::StallAfterHeaders, 0), 0);
    start();
    ASSERT_TRUE(delivered(good, 20)) << readText(err);

    expectHealthy(measure(good, 6s));
    for (size_t i : faulty) EXPECT_GE(simulator.framesSent(i), 2u) << i;  // the good frames before each fault
    // A count of zero, an impossible count and a cut header end the
    // connection; the camera is connected again after a back-off.
    for (size_t i : {faulty[0], faulty[1], faulty[3]}) {
        EXPECT_GE(simulator.connections(i), 2u) << i;
        EXPECT_LE(simulator.connections(i), 8u) << i;
    }
    EXPECT_EQ(simulator.connections(silent), 1u);  // waits for its greeting until the read time-out
    stopWithinTwoSeconds();
    expectCompleteRecording("Good", static_cast<long>(6 * goodFps));
}

TEST_F(FaultMatrix, SigkillLosesAtMostTheFrameBeingWritten)
{
    sim::CameraConfig big = stream();
    big.width = 640;
    big.height = 480;
    big.fps = 25;
    add("Door", big, 101);
    ASSERT_EQ(prepareProgramFolder(program, cameras, CX_PROGRAM_FOLDER), "");
    std::mt19937 random(static_cast<unsigned>(::getpid()));
    const int rounds = 4;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        launch();
        // Until its file has frames, then a random moment later.
        const auto until = std::chrono::steady_clock::now() + 15s;
        while (recordingsIn(program / "video" / "Door").size() <= static_cast<size_t>(round) &&
               std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(20ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(700 + random() % 1500));
        ASSERT_TRUE(running()) << readText(err);
        ::kill(pid, SIGKILL);
        waitForExit(pid, 5s);
        pid = -1;
    }
    // A restart records again, into a new file each time.
    const auto files = recordingsIn(program / "video" / "Door");
    ASSERT_EQ(files.size(), static_cast<size_t>(rounds));
    for (const auto& f : files) {
        SCOPED_TRACE(f.filename().string());
        // Our reader: every whole chunk holds a whole picture of the camera,
        // in order with no gap. Only a last, cut chunk may be missing.
        const AviFile avi = readAvi(f);
        std::optional<uint64_t> previous;
        size_t frames = 0;
        for (const auto& chunk : avi.chunks) {
            if (chunk.data.empty()) continue;
            const auto number = sim::simulatedFrameNumber(chunk.data.data(), chunk.data.size());
            if (!number) continue;  // the cut last chunk
            if (previous) {
                EXPECT_EQ(*number, *previous + 1);
            }
            previous = number;
            ++frames;
        }
        EXPECT_GT(frames, 10u);
        // An independent reader gets every whole frame too.
        const ProbedStream probe = ffprobe(f);
        EXPECT_TRUE(probe.ok);
        EXPECT_GE(probe.packets + 1, static_cast<long>(frames));
        RecordProperty("framesInKilledFile", static_cast<int>(frames));
    }
}

// The schedule's retry once space returns runs on a simulated clock in the
// engine's tests; here the real program meets a real full disk.
TEST_F(FaultMatrix, FullDiskLosesFramesQuietlyAndAFailedOpenIsToldOnce)
{
    // A small file system of our own for video/ (root may mount one; skip otherwise).
    sim::CameraConfig big = stream();
    big.width = 640;
    big.height = 480;
    big.fps = 25;
    const size_t good = add("Door", big, 101);
    ASSERT_EQ(prepareProgramFolder(program, cameras, CX_PROGRAM_FOLDER), "");
    const fs::path video = program / "video";
    fs::create_directories(video);
    if (::mount("tmpfs", video.c_str(), "tmpfs", 0, "size=4m,nr_inodes=64") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{video};
    fs::create_directories(video / "Door");

    // Frames fill the disk; then writes fail, quietly, and live view goes on.
    launch();
    ASSERT_TRUE(delivered(good, 40)) << readText(err);
    bool recording = false;
    for (int i = 0; i < 500 && !recording; ++i) {
        recording = recordingsIn(video / "Door").size() == 1;
        if (!recording) std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(recording) << readText(err);
    const fs::path file = recordingsIn(video / "Door")[0];
    uintmax_t size = 0;
    for (int i = 0; i < 200 && (size = fs::file_size(file)) < 3'500'000; ++i) std::this_thread::sleep_for(50ms);
    EXPECT_GT(size, 3'000'000u);  // it filled the disk
    const Measured m = measure(good, 3s);
    EXPECT_GE(m.goodFps, 0.9 * big.fps);
    EXPECT_EQ(readText(err), "");  // failed writes say nothing
    stopWithinTwoSeconds();
    // What fitted is readable.
    const ProbedStream probe = ffprobe(file);
    EXPECT_TRUE(probe.ok);
    EXPECT_GT(probe.packets, 20);

    // Filled to the last byte and the last file before the next start: the
    // first open fails, is told once, and the program runs on.
    const fs::path filler = video / "filler";
    {
        std::ofstream out(filler, std::ios::binary);
        const std::string block(4 * 1024, 'f');
        while (out.write(block.data(), static_cast<std::streamsize>(block.size())) && out.flush()) {
        }
    }
    for (int i = 0; i < 100; ++i) {
        const fs::path p = video / ("placeholder" + std::to_string(i));
        const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0) break;
        ::close(fd);
    }
    std::ofstream(err, std::ios::trunc).close();
    launch();
    ASSERT_TRUE(delivered(good, simulator.framesSent(good) + 40)) << readText(err);
    std::this_thread::sleep_for(2s);
    EXPECT_TRUE(running());
    EXPECT_EQ(readText(err), "Corvanex: FAILURE: Opening AVI file...\n");
    EXPECT_GE(measure(good, 2s).goodFps, 0.9 * big.fps);
    stopWithinTwoSeconds();
}

TEST_F(FaultMatrix, HostileFilesInTheProgramFolder)
{
    const size_t good = add("Good", stream(), 101);
    ASSERT_EQ(prepareProgramFolder(program, cameras, CX_PROGRAM_FOLDER), "");
    const std::string database = (program / "Database" / "Corvanex.mdb").string();
    auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(program / name, std::ios::binary | std::ios::trunc) << bytes;
    };
    auto sql = [&](const std::string& statement) {
        const std::string command = "sqlite3 '" + database + "' \"" + statement + "\"";
        return std::system(command.c_str()) == 0;
    };
    std::mt19937 random(7);
    auto garbage = [&](size_t n) {
        std::string s(n, '\0');
        for (auto& c : s) c = static_cast<char>(random());
        return s;
    };
    const std::string settings = readText(program / "Configuration.cvx");
    const std::string hoursDat = readText(program / "hours.dat");
    const std::string hoursTxt = readText(program / "hours.txt");
    const std::string skin = readText(program / "Interface" / "default.int");

    // A second live camera, registered among the odd rows (behind one
    // without a name): it must record under its own name, whatever its slot.
    const size_t late = cameras.size();  // the simulator's index: it counts in the same order
    const int latePort = simulator.add(stream());
    ASSERT_NE(latePort, 0);
    // Frames recorded into the recordings of one camera folder.
    auto recordedFrames = [&](const fs::path& cameraFolder) {
        size_t frames = 0;
        for (const auto& f : recordingsIn(cameraFolder))
            for (const auto& chunk : readAvi(f).chunks)
                if (!chunk.data.empty() && sim::simulatedFrameNumber(chunk.data.data(), chunk.data.size())) ++frames;
        return frames;
    };

    const struct {
        const char* name;
        std::function<void()> damage;
        std::function<void()> whileRunning = nullptr;
        std::function<void()> afterStop = nullptr;
    } cases[] = {
        {"truncated settings", [&] { write("Configuration.cvx", settings.substr(0, 37)); }},
        {"oversized settings", [&] { write("Configuration.cvx", settings + garbage(5000)); }},
        {"garbage settings", [&] { write("Configuration.cvx", garbage(184)); }},
        {"truncated hours.dat", [&] { write("hours.dat", hoursDat.substr(0, 9)); }},
        {"oversized hours.dat", [&] { write("hours.dat", garbage(100000)); }},
        {"garbage hours.txt", [&] { write("hours.txt", garbage(300000)); }},
        {"hours.txt of long lines", [&] { write("hours.txt", std::string(2'000'000, '9')); }},
        // The recorder shows nothing and opens no skin: it records on.
        {"damaged default.int", [&] { write("Interface/default.int", skin.substr(0, 40) + garbage(200)); }},
        {"odd database rows", [&] {
             std::string rows = "INSERT INTO configurationCX (name, cameraIP, cameraport, login, password, cameratype) VALUES "
                                "('', '127.0.0.1', '1', '', '', '101'), ('Late', '127.0.0.1', '" +
                                std::to_string(latePort) + "', '', '', '101'), ('quote''s', '127.0.0.1', 'abc', 'x''y', '', 'zz'),"
                                "('a/b', '127.0.0.1', '-4', '', '', '-1'), ('..', '', '', '', '', '')";
             for (int i = 0; i < 20; ++i)
                 rows += ", ('cam" + std::to_string(i) + "', '127.0.0.1', '" + std::to_string(closedPort()) + "', '', '', '" +
                         std::to_string(i * 37 % 1000) + "')";
             ASSERT_TRUE(sql(rows));
             // Every slot records, so a camera's frames land under whatever name its slot carries.
             Settings everySlot;
             everySlot.scheduleMode = 1;
             for (auto& r : everySlot.scheduleRecord) r = 1;
             ASSERT_TRUE(saveSettings(everySlot, program));
         },
         [&] {
             // About 3 s of the late camera: its recording opened at the first tick.
             EXPECT_TRUE(delivered(late, 45, 10s)) << readText(err);
         },
         [&] {
             EXPECT_GE(recordedFrames(program / "video" / "Late"), 10u);
             EXPECT_GE(recordedFrames(program / "video" / "Good"), 10u);
             // Only those two send: frames under any other name are theirs, mislabelled.
             for (const auto& e : fs::directory_iterator(program / "video")) {
                 if (e.path().filename() == "Late" || e.path().filename() == "Good") continue;
                 EXPECT_EQ(recordedFrames(e.path()), 0u) << e.path().filename();
             }
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case on a fresh copy of the good files.
        write("Configuration.cvx", settings);
        write("hours.dat", hoursDat);
        write("hours.txt", hoursTxt);
        write("Interface/default.int", skin);
        fs::remove(err);
        c.damage();
        launch();
        const uint64_t sent = simulator.framesSent(good);
        EXPECT_TRUE(delivered(good, sent + 15, 5s)) << readText(err);  // the good camera is served
        if (c.whileRunning) c.whileRunning();
        stopWithinTwoSeconds();
        if (c.afterStop) c.afterStop();
    }
}

TEST_F(FaultMatrix, SigtermEndsEveryFaultWithinTwoSeconds)
{
    const size_t good = add("Good", stream(), 101);
    add("Stalled", stream(sim::Fault::StallAfterHeaders, 2), 101);
    add("Dripping", stream(sim::Fault::Drip, 1), 101);
    add("StallsMidFrame", stream(sim::Fault::StallMidFrame, 2), 101);
    add("Flood", stream(sim::Fault::HeaderFlood, 2), 101);
    add("ProtocolSilent", protocol(sim::Fault::StallAfterHeaders, 0), 0);
    add("ProtocolStallsMidFrame", protocol(sim::Fault::StallMidFrame, 2), 0);
    sim::CameraConfig busy = protocol(sim::Fault::None);
    busy.greeting = 120;  // a message: nobody needs to dismiss it
    add("ProtocolBusy", busy, 0);
    sim::CameraConfig stalledSnapshot;
    stalledSnapshot.kind = sim::CameraKind::Snapshot;
    stalledSnapshot.path = "/netcam.jpg";
    stalledSnapshot.fault = sim::Fault::StallMidFrame;
    stalledSnapshot.faultAfter = 3;
    add("SnapshotStalls", stalledSnapshot, 200);
    start();
    ASSERT_TRUE(delivered(good, 30)) << readText(err);
    std::this_thread::sleep_for(1500ms);
    stopWithinTwoSeconds();
    expectCompleteRecording("Good", 20);
    EXPECT_NE(readText(err).find("ERROR: Exceeds maximum client number"), std::string::npos) << readText(err);
}
