// Whole headless pipeline against the camera simulator (run as a separate
// process, so only our own CPU time is counted): workers, decode, compose
// into panes, recording with the default codec. FFmpeg reading the same
// stream URL on one thread to BGR is measured in the same run as the
// reference. Recording without panes is set against FFmpeg copying one
// stream into an AVI, FFmpeg copying all streams at once (the same load),
// and what merely receiving the streams and writing them to files costs.
//
// The "program" scenario measures what users run: `corvanex --no-window`
// in a prepared program folder, recording 16 cameras by the timetable,
// its CPU time read from /proc, its recorded frames counted in the files,
// its peak memory; against receiving and writing only (the floor) and
// FFmpeg copying all streams at once, in the same run.
//
//   cx_acquisition_bench [photo folder] [seconds per scenario] [scenario name part]
//   (default photo folder: ../shared/photos beside the project)

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>

#include "Engine.h"
#include "support/EngineInternals.h"
#include "support/ProgramRun.h"
#include "support/SimulatorProcess.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string streamPath = "/axis-cgi/mjpg/video.cgi?showlength=1";

double cpuSeconds(int who)
{
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Empties the folder's recordings and writes out every dirty page, so no
// measurement pays for the write-back of the one before.
void clearWrites(const fs::path& folder)
{
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file()) fs::remove(e.path());
    sync();
}

// 16 (or `cameras`) MJPEG streams of the photographs in `photos`.
struct Simulator : cx::test::SimulatorProcess {
    Simulator(int cameras, double fps, const fs::path& photos)
        : SimulatorProcess(CX_CAMSIM, std::vector<std::string>(static_cast<size_t>(cameras),
                                                               "kind=stream,framing=2-1,path=" + streamPath +
                                                                   ",fps=" + std::to_string(fps) +
                                                                   ",photos=" + photos.string()))
    {
    }
};

// FFmpeg decoding (or copying into an AVI) `frames` frames of the stream at
// `port`: CPU seconds in all.
double ffmpegCpu(int port, int frames, bool copy, const fs::path& scratch)
{
    const std::string out = (scratch / "reference.avi").string();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + streamPath;
    const std::string count = std::to_string(frames);
    const pid_t pid = fork();
    if (pid == 0) {
        if (copy)
            execlp("ffmpeg", "ffmpeg", "-v", "error", "-nostdin", "-y", "-i", url.c_str(), "-frames:v",
                   count.c_str(), "-c", "copy", out.c_str(), static_cast<char*>(nullptr));
        else
            execlp("ffmpeg", "ffmpeg", "-v", "error", "-nostdin", "-threads", "1", "-i", url.c_str(), "-frames:v",
                   count.c_str(), "-pix_fmt", "bgr24", "-f", "null", "-", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// FFmpeg copying every stream into an AVI at once, one process per camera:
// the same load our engine carries. CPU seconds in all.
double ffmpegCopyAllCpu(const std::vector<int>& ports, int frames, const fs::path& scratch)
{
    std::vector<pid_t> children;
    for (const int port : ports) {
        const std::string out = (scratch / ("reference-" + std::to_string(port) + ".avi")).string();
        const std::string url = "http://127.0.0.1:" + std::to_string(port) + streamPath;
        const std::string count = std::to_string(frames);
        const pid_t pid = fork();
        if (pid == 0) {
            execlp("ffmpeg", "ffmpeg", "-v", "error", "-nostdin", "-y", "-i", url.c_str(), "-frames:v", count.c_str(),
                   "-c", "copy", out.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        children.push_back(pid);
    }
    double cpu = 0;
    bool ok = true;
    for (const pid_t pid : children) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
        cpu += static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return ok ? cpu : -1;
}

// What only receiving the streams and writing them to files costs on this
// machine (no parsing, no container): one thread per camera, blocking
// receives into a 256 KiB buffer, each written straight on. CPU seconds per
// offered frame over `seconds`, after a second of warm-up.
double receiveAndWriteFloor(const std::vector<int>& ports, double fps, double seconds, const fs::path& scratch)
{
    std::atomic<int> stop{0};
    std::vector<std::thread> readers;
    for (const int port : ports) {
        readers.emplace_back([&stop, port, &scratch] {
            const int sock = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const timeval timeout{0, 200000};  // the stop flag is looked at between receives
            setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
            const std::string request = "GET " + streamPath + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
            const std::string out = (scratch / ("floor-" + std::to_string(port))).string();
            const int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (sock >= 0 && file >= 0 && connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                send(sock, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
                std::vector<char> buffer(256 * 1024);
                while (stop.load() == 0) {
                    const ssize_t n = recv(sock, buffer.data(), buffer.size(), 0);
                    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
                    if (n > 0 && write(file, buffer.data(), static_cast<size_t>(n)) != n) break;
                }
            }
            if (file >= 0) close(file);
            if (sock >= 0) close(sock);
        });
    }
    std::this_thread::sleep_for(1s);
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu1 = cpuSeconds(RUSAGE_SELF);
    stop = 1;
    for (auto& t : readers) t.join();
    return (cpu1 - cpu0) / (static_cast<double>(ports.size()) * fps * seconds);
}

// CPU seconds per frame, without FFmpeg's start-up: two runs of different
// length, the difference divided by the extra frames. `copy`: FFmpeg
// copies the stream into an AVI file (no decode), the reference for
// recording without a window.
double ffmpegReference(int port, bool copy, const fs::path& scratch, int shortFrames = 30, int longFrames = 180)
{
    const double shortRun = ffmpegCpu(port, shortFrames, copy, scratch);
    const double longRun = ffmpegCpu(port, longFrames, copy, scratch);
    if (shortRun < 0 || longRun < 0) return -1;
    return (longRun - shortRun) / (longFrames - shortFrames);
}

struct Result {
    double aggregateFps = 0;
    double offeredFps = 0;
    double cpuMicrosPerFrame = 0;
    double referenceMicrosPerFrame = 0;
    double allStreamsReferenceMicros = 0;  // no panes: FFmpeg copying every stream at once
    double floorMicros = 0;                // no panes: receiving and writing only
    int64_t decodes = 0;
};

// FFmpeg copying every stream at once, and merely receiving and writing
// them: the references for recording, on the same streams.
void sameLoadReferences(const std::vector<int>& ports, double fps, double seconds, const fs::path& folder,
                        Result& result)
{
    clearWrites(folder);
    const double shortRun = ffmpegCopyAllCpu(ports, 30, folder);
    const double longRun = ffmpegCopyAllCpu(ports, 330, folder);
    if (shortRun >= 0 && longRun >= 0)
        result.allStreamsReferenceMicros = (longRun - shortRun) / (300.0 * static_cast<double>(ports.size())) * 1e6;
    clearWrites(folder);
    result.floorMicros = receiveAndWriteFloor(ports, fps, seconds, folder) * 1e6;
    clearWrites(folder);
}

// Frames with picture bytes in the recordings below `folder`, counted from
// the chunk headers of each file as it is now (files being written end in
// a part chunk, which is left out). Empty chunks only keep positions.
long long recordedFrames(const fs::path& folder)
{
    long long frames = 0;
    std::error_code error;  // no folder yet: no frames
    for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const fs::directory_entry& e = *it;
        if (e.path().extension() != ".avi") continue;
        const int fd = open(e.path().c_str(), O_RDONLY);
        if (fd < 0) continue;
        struct stat st {};
        fstat(fd, &st);
        const auto size = static_cast<size_t>(st.st_size);
        void* map = size >= 12 ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
        close(fd);
        if (map == MAP_FAILED) continue;
        const auto* b = static_cast<const uint8_t*>(map);
        auto le32 = [b](size_t at) { return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24); };
        // RIFF header, then chunks; LISTs other than movi are stepped over,
        // movi lists and further RIFF parts are walked.
        size_t at = 12;
        while (at + 12 <= size) {
            const uint32_t length = le32(at + 4);
            if ((std::memcmp(b + at, "LIST", 4) == 0 && std::memcmp(b + at + 8, "movi", 4) == 0) ||
                std::memcmp(b + at, "RIFF", 4) == 0) {
                at += 12;
                continue;
            }
            if ((std::memcmp(b + at + 2, "dc", 2) == 0 || std::memcmp(b + at + 2, "db", 2) == 0) && length > 0 &&
                at + 8 + length <= size)
                ++frames;
            at += 8 + length + (length & 1);
        }
        munmap(map, size);
    }
    return frames;
}

#ifdef CX_CORVANEX
struct ProgramResult {
    double offeredFps = 0;
    double recordedFps = 0;
    double cpuMicrosPerFrame = 0;
    double peakMiB = 0;
    Result references;
};

// `corvanex --no-window` recording `cameras` streams by the timetable.
ProgramResult runProgram(int cameras, double fps, const fs::path& photos, double seconds)
{
    ProgramResult result;
    const fs::path work = fs::temp_directory_path() / ("cxbench-program-" + std::to_string(getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    const fs::path program = work / "program";
    sync();
    Simulator simulator(cameras, fps, photos);
    if (static_cast<int>(simulator.ports.size()) != cameras) {
        std::fprintf(stderr, "simulator did not start\n");
        return result;
    }
    std::vector<cx::test::ProgramCamera> list;
    for (int k = 0; k < cameras; ++k) list.emplace_back("Camera " + std::to_string(k + 1), simulator.ports[static_cast<size_t>(k)]);
    const std::string problem = cx::test::prepareProgramFolder(program, list, CX_PROGRAM_FOLDER);
    if (!problem.empty()) {
        std::fprintf(stderr, "program folder: %s\n", problem.c_str());
        return result;
    }
    pid_t pid = cx::test::spawnIn(program, {CX_CORVANEX, "--no-window"}, work / "stderr.txt");
    std::this_thread::sleep_for(3s);  // start-up, connections, the first tick opens the recordings
    const long long frames0 = recordedFrames(program / "video");
    const double cpu0 = cx::test::processCpuSeconds(pid);
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu1 = cx::test::processCpuSeconds(pid);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const long long frames1 = recordedFrames(program / "video");
    result.peakMiB = cx::test::processMemoryMiB(pid, "VmHWM");
    kill(pid, SIGTERM);
    if (cx::test::waitForExit(pid, 5s) == -1) {
        std::fprintf(stderr, "the program did not end within 5 s of SIGTERM\n");
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    const std::string errors = cx::test::readText(work / "stderr.txt");
    if (!errors.empty()) std::fprintf(stderr, "program said: %s\n", errors.c_str());
    result.offeredFps = cameras * fps;
    result.recordedFps = static_cast<double>(frames1 - frames0) / elapsed;
    // Per frame recorded: a program that falls behind does not look cheaper.
    result.cpuMicrosPerFrame = frames1 > frames0 ? (cpu1 - cpu0) / static_cast<double>(frames1 - frames0) * 1e6 : 0;
    fs::remove_all(program / "video");
    sameLoadReferences(simulator.ports, fps, seconds, work, result.references);
    fs::remove_all(work);
    return result;
}

#endif

// `pane` empty: no panes are looked at (recording without a window).
Result runScenario(int cameras, double fps, const fs::path& photos, QSize pane, double seconds, bool record)
{
    Result result;
    const fs::path folder = fs::temp_directory_path() / ("cxbench-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "video");

    sync();
    Simulator simulator(cameras, fps, photos);
    if (static_cast<int>(simulator.ports.size()) != cameras) {
        std::fprintf(stderr, "simulator did not start\n");
        return result;
    }

    auto engine = std::make_unique<cx::Engine>(cx::EngineOptions{folder});
    QObject::connect(engine.get(), &cx::Engine::message,
                     [](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    // Names without a camera database: no command sets them alone.
    cx::AppState& state = cx::EngineInternals::state(*engine);
    cx::CameraTable table;
    table.allocate(cameras);
    table.count = cameras;
    for (int slot = 0; slot < cameras; ++slot) {
        const auto i = static_cast<size_t>(slot);
        table.address[i] = "127.0.0.1:" + std::to_string(simulator.ports[i]);
        table.type[i] = 101;
        const std::string name = "Camera " + std::to_string(slot + 1);
        state.setCameraName(slot, name);
        fs::create_directories(folder / "video" / name);
    }
    engine->applyCameraTable(std::move(table));
    // Without a window every slot still has a pane (no one looks at it).
    engine->rebuildPanes(cameras, pane.isEmpty() ? QSize(320, 240) : pane);
    engine->setPicturesWanted(!pane.isEmpty());
    if (record)
        for (int slot = 0; slot < cameras; ++slot) engine->startManualRecording(slot);

    auto framesSoFar = [&] {
        long long n = 0;
        for (int slot = 0; slot < cameras; ++slot) n += engine->framesReceived(slot);
        return n;
    };
    // The front end's thread delivers the engine's events meanwhile.
    auto runFor = [](std::chrono::duration<double> d) {
        const auto until = std::chrono::steady_clock::now() + d;
        while (std::chrono::steady_clock::now() < until) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(10ms);
        }
    };
    engine->connectAllCameras();
    runFor(1500ms);  // connections up, caches warm
    const long long frames0 = framesSoFar();
    const int64_t decodes0 = engine->decodeCount();
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    const auto t0 = std::chrono::steady_clock::now();
    runFor(std::chrono::duration<double>(seconds));
    const long long frames1 = framesSoFar();
    const double cpu1 = cpuSeconds(RUSAGE_SELF);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    result.decodes = engine->decodeCount() - decodes0;
    engine->shutdown();
    engine.reset();

    const long long frames = frames1 - frames0;
    result.aggregateFps = static_cast<double>(frames) / elapsed;
    result.offeredFps = cameras * fps;
    result.cpuMicrosPerFrame = frames > 0 ? (cpu1 - cpu0) / static_cast<double>(frames) * 1e6 : 0;
    // Copying costs FFmpeg little per frame: ten seconds of the stream
    // instead of five, so the difference stands out of the noise,
    // and the median of three runs.
    if (pane.isEmpty()) {
        clearWrites(folder);
        std::vector<double> runs;
        for (int k = 0; k < 3; ++k) runs.push_back(ffmpegReference(simulator.ports[0], true, folder, 30, 330));
        std::sort(runs.begin(), runs.end());
        result.referenceMicrosPerFrame = runs[1] * 1e6;
        sameLoadReferences(simulator.ports, fps, seconds, folder, result);
    } else {
        result.referenceMicrosPerFrame = ffmpegReference(simulator.ports[0], false, folder) * 1e6;
    }
    fs::remove_all(folder);
    return result;
}

// A folder holding the photographs of the given pixel size.
fs::path photoSet(const fs::path& photos, bool big)
{
    const fs::path set = fs::temp_directory_path() / ("cxbench-photos-" + std::string(big ? "1080" : "640"));
    fs::remove_all(set);
    fs::create_directories(set);
    for (const auto& e : fs::directory_iterator(photos)) {
        const std::string name = e.path().filename().string();
        const bool isBig = name.find("1080") != std::string::npos;
        if (e.path().extension() == ".jpg" && isBig == big) fs::create_symlink(fs::absolute(e.path()), set / name);
    }
    return set;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    const fs::path photos = argc > 1 ? fs::path(argv[1]) : fs::path(CX_SOURCE_DIR) / ".." / "shared" / "photos";
    const double seconds = argc > 2 ? std::atof(argv[2]) : 8.0;
    if (!fs::is_directory(photos)) {
        std::fprintf(stderr, "no photographs at %s\n", photos.c_str());
        return 1;
    }
    const fs::path small = photoSet(photos, false);
    const fs::path large = photoSet(photos, true);
    const std::string only = argc > 3 ? argv[3] : "";

    struct Scenario {
        const char* name;
        int cameras;
        double fps;
        bool big;
        QSize pane;
    } scenarios[] = {
        {"1 x 640x480 @30, pane 400x300", 1, 30, false, {400, 300}},
        {"4 x 640x480 @30, panes 400x300", 4, 30, false, {400, 300}},
        {"16 x 640x480 @30, panes 200x150", 16, 30, false, {200, 150}},
        {"4 x 1920x1080 @15, panes 400x300", 4, 15, true, {400, 300}},
        {"16 x 1920x1080 @15, panes 200x150", 16, 15, true, {200, 150}},
        {"16 x 640x480 @30, no panes (-c copy)", 16, 30, false, {}},
    };
    std::printf("%-38s %9s %9s %10s %10s %7s %8s\n", "scenario (recording on)", "offered", "received", "us/frame",
                "ffmpeg", "ratio", "decodes");
    for (const auto& s : scenarios) {
        if (!only.empty() && std::string(s.name).find(only) == std::string::npos) continue;
        const Result r = runScenario(s.cameras, s.fps, s.big ? large : small, s.pane, seconds, true);
        std::printf("%-38s %7.1f/s %7.1f/s %10.0f %10.0f %7.2f %8lld\n", s.name, r.offeredFps, r.aggregateFps,
                    r.cpuMicrosPerFrame, r.referenceMicrosPerFrame,
                    r.referenceMicrosPerFrame > 0 ? r.cpuMicrosPerFrame / r.referenceMicrosPerFrame : 0.0,
                    static_cast<long long>(r.decodes));
        if (r.allStreamsReferenceMicros > 0)
            std::printf("  same load: ffmpeg copying all %d streams at once %.0f us/frame (ratio %.2f); "
                        "receiving and writing only %.0f us/frame\n",
                        s.cameras, r.allStreamsReferenceMicros, r.cpuMicrosPerFrame / r.allStreamsReferenceMicros,
                        r.floorMicros);
        std::fflush(stdout);
    }
#ifdef CX_CORVANEX
    // The program users run, on the typical camera picture.
    const char* programScenario = "program: corvanex --no-window, 16 x 640x480 @30 recording";
    if (only.empty() || std::string(programScenario).find(only) != std::string::npos) {
        const fs::path typical = fs::temp_directory_path() / "cxbench-photos-typical";
        fs::remove_all(typical);
        fs::create_directories(typical);
        fs::create_symlink(fs::absolute(photos / "img640_q80.jpg"), typical / "img640_q80.jpg");
        const ProgramResult p = runProgram(16, 30, typical, seconds);
        const Result& r = p.references;
        std::printf("%s (img640_q80)\n", programScenario);
        std::printf("  offered %.1f/s, recorded %.1f/s, %.0f us/frame, peak RSS %.0f MiB\n", p.offeredFps,
                    p.recordedFps, p.cpuMicrosPerFrame, p.peakMiB);
        std::printf("  floor (receiving and writing only) %.0f us/frame: ratio %.2f; "
                    "ffmpeg copying all 16 streams at once %.0f us/frame: ratio %.2f\n",
                    r.floorMicros, r.floorMicros > 0 ? p.cpuMicrosPerFrame / r.floorMicros : 0.0,
                    r.allStreamsReferenceMicros,
                    r.allStreamsReferenceMicros > 0 ? p.cpuMicrosPerFrame / r.allStreamsReferenceMicros : 0.0);
        fs::remove_all(typical);
    }
#endif
    fs::remove_all(small);
    fs::remove_all(large);
    return 0;
}
