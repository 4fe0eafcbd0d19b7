// Once a camera runs, its frames cost the program's own code no heap
// allocation: a stream, a snapshot and a protocol camera through the
// engine, recording, with panes seen and with nobody looking. The cameras
// are served by the simulator in a process of its own, so only the
// engine's allocations are counted; those made inside libraries are listed
// by call site.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <curl/curl.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Engine.h"
#include "support/CountingAllocator.h"
#include "support/EngineInternals.h"
#include "support/SimulatorProcess.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// A template, not a std::function: waiting must not allocate while counting.
template <class Done>
bool waitUntil(Done done, std::chrono::milliseconds limit = 30s)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(5ms);
    }
    return done();
}

void print(const char* phase, const AllocationReport& r, long long frames)
{
    std::printf("%s: %lld frames; own allocations %zu, in libraries %zu (%.2f per frame)\n", phase, frames, r.own,
                r.library, frames > 0 ? static_cast<double>(r.library) / static_cast<double>(frames) : 0.0);
    for (const auto& s : r.sites)
        std::printf("  %6zu  %-22s %s\n", s.count, s.where.c_str(), s.caller.c_str());
}

}  // namespace

// The counter itself: an allocation of this file's code counts as ours,
// one that libcurl makes counts as the library's.
TEST(FrameAllocations, TheCounterTellsOwnAllocationsFromLibraryOnes)
{
    AllocationCounter::start();
    auto* own = new std::vector<int>(1000);
    std::string text(100, 'x');
    AllocationCounter::stop();
    delete own;
    const AllocationReport r = AllocationCounter::report();
    EXPECT_EQ(r.own, 3u);  // the vector object, its elements, the string
    ASSERT_FALSE(r.sites.empty());
    EXPECT_NE(r.sites[0].caller.find("TheCounterTellsOwnAllocationsFromLibraryOnes"), std::string::npos)
        << r.sites[0].caller;

    // The C library allocates on behalf of its caller: ours.
    AllocationCounter::start();
    char* copied = strdup("a text the C library copies");
    AllocationCounter::stop();
    free(copied);
    EXPECT_EQ(AllocationCounter::report().own, 1u);

    curl_easy_cleanup(curl_easy_init());  // the library's one-time set-up, not counted
    AllocationCounter::start();
    CURL* transfer = curl_easy_init();
    AllocationCounter::stop();
    curl_easy_cleanup(transfer);
    const AllocationReport lib = AllocationCounter::report();
    EXPECT_EQ(lib.own, 0u);
    ASSERT_GT(lib.library, 0u);
    EXPECT_EQ(lib.sites[0].where.rfind("libcurl", 0), 0u) << lib.sites[0].where;
    EXPECT_NE(lib.sites[0].caller.find("TheCounterTellsOwnAllocationsFromLibraryOnes"), std::string::npos)
        << lib.sites[0].caller;
}

TEST(FrameAllocations, FramesCostOurCodeNoAllocationOnceCamerasRun)
{
    // The protocol camera needs a four-digit port: another is tried when one is taken.
    std::unique_ptr<SimulatorProcess> serving;
    for (int attempt = 0; attempt < 5 && (!serving || serving->ports.size() != 3); ++attempt) {
        const int port = 7100 + static_cast<int>((getpid() * 7 + attempt * 131) % 2800);
        serving.reset();
        serving = std::make_unique<SimulatorProcess>(CX_CAMSIM, std::vector<std::string>{
            "kind=stream,framing=2-1,path=/axis-cgi/mjpg/video.cgi?showlength=1,fps=60",
            "kind=snapshot,path=/image.jpg,fps=60", "kind=protocol,port=" + std::to_string(port) + ",fps=60"},
            // It ends by itself should this test not.
            std::vector<std::string>{"--seconds", "120"});
    }
    SimulatorProcess& simulator = *serving;
    ASSERT_EQ(simulator.ports.size(), 3u) << "the simulator did not start";

    TempFolder folder;
    auto engine = std::make_unique<Engine>(EngineOptions{folder.path()});
    // Names without a camera database: no command sets them alone.
    AppState& state = EngineInternals::state(*engine);
    CameraTable table;
    table.allocate(3);
    table.count = 3;
    const CameraType types[] = {101, 308, binaryProtocolType};
    for (size_t i = 0; i < 3; ++i) {
        table.address[i] = "127.0.0.1:" + std::to_string(simulator.ports[i]);
        table.type[i] = types[i];
        // Names past the short-string buffer: copying one would allocate.
        const std::string name = "A camera with a long name " + std::to_string(i + 1);
        state.setCameraName(static_cast<int>(i), name);
        fs::create_directories(folder.path() / "video" / name);
    }
    engine->applyCameraTable(std::move(table));
    engine->rebuildPanes(3, QSize(200, 150));
    engine->setPicturesWanted(true);
    for (int slot = 0; slot < 3; ++slot) ASSERT_TRUE(engine->startManualRecording(slot));
    engine->connectAllCameras();

    auto frames = [&](int slot) { return static_cast<long long>(engine->framesReceived(slot)); };
    auto total = [&] { return frames(0) + frames(1) + frames(2); };
    // Every camera past its first 100 frames, then `count` more each while counting.
    auto measure = [&](const char* phase, long long count) {
        const long long warm[3] = {frames(0) + 100, frames(1) + 100, frames(2) + 100};
        EXPECT_TRUE(waitUntil([&] { return frames(0) >= warm[0] && frames(1) >= warm[1] && frames(2) >= warm[2]; }))
            << phase << ": frames " << frames(0) << " " << frames(1) << " " << frames(2);
        const long long start[3] = {frames(0), frames(1), frames(2)};
        const long long before = total();
        AllocationCounter::start();
        const bool enough = waitUntil([&] {
            return frames(0) >= start[0] + count && frames(1) >= start[1] + count && frames(2) >= start[2] + count;
        });
        AllocationCounter::stop();
        const long long counted = total() - before;
        const AllocationReport r = AllocationCounter::report();
        print(phase, r, counted);
        EXPECT_TRUE(enough) << phase;
        EXPECT_EQ(r.unrecorded, 0u) << phase;
        EXPECT_EQ(r.own, 0u) << phase << ": the program's own code allocated while frames flowed (sites above)";
    };

    measure("panes seen", 300);
    const int64_t decodesSeen = engine->decodeCount();
    EXPECT_GT(decodesSeen, 300);
    engine->setPicturesWanted(false);
    measure("nobody looking", 300);

    EXPECT_TRUE(engine->shutdown(2000ms));
    // Every camera's frames were recorded all along.
    for (int slot = 0; slot < 3; ++slot) {
        const fs::path dir = folder.path() / "video" / engine->snapshot()->cameras.at(static_cast<size_t>(slot)).name;
        uintmax_t bytes = 0;
        for (const auto& e : fs::directory_iterator(dir)) bytes += e.file_size();
        EXPECT_GT(bytes, 100u * 1000) << dir;
    }
}
