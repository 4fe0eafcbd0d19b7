#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "CameraAddress.h"
#include "CameraModels.h"
#include "RequestPaths.h"

using namespace cx;

TEST(CameraAddress, SplitHttpAddress)
{
    const struct {
        const char* address;
        HostPort expected;
    } cases[] = {
        {"10.0.0.5:8080", {"10.0.0.5", 8080}},
        {"10.0.0.5", {"10.0.0.5", 0}},
        {"cam.example.org:80", {"cam.example.org", 80}},
        {"\n10.0.0.5:80", {"", 10}},         // the line feed ends an empty host
        {"host\n8081", {"host", 8081}},
        {"host:", {"host", 0}},
        {"host:abc", {"host", 0}},
        {"host:12ab", {"host", 12}},
        {"", {"", 0}},
        {"a:b:81", {"a", 0}},                 // first ":" wins, "b:81" reads as 0
        {"host:99999999999999", {"host", 2147483647}},  // saturates, no overflow
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitHttpAddress(c.address), c.expected) << c.address;
    }
}

TEST(CameraAddress, SplitProtocolAddress)
{
    const struct {
        const char* address;
        HostPort expected;
    } cases[] = {
        {"192.168.0.20:4321", {"192.168.0.20", 4321}},
        {"10.0.0.5:80", {"10.0.0", 5}},  // needs a four-digit port
        {"cam:1234", {"cam", 1234}},
        {":1234", {"", 1234}},
        {"1234", {"", 1234}},
        {"", {"", 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SplitProtocolAddress(c.address), c.expected) << c.address;
    }
}

TEST(RequestPaths, LookupsFollowTheTable)
{
    RequestPathTable table;
    BuildRequestPaths(table);
    const std::string mjpeg = "/axis-cgi/mjpg/video.cgi?showlength=1";
    const struct {
        CameraType code;
        std::string video;
        std::string audio;
    } cases[] = {
        {108, mjpeg, "/axis-cgi/audio/receive.cgi?httptype=singlepart"},
        {1, mjpeg, ""},
        {101, mjpeg, ""},
        {2, "", ""},
        {13, "", ""},
        {109, "", ""},
        {-5, "", ""},
        {-1, "", ""},  // unused entries hold empty paths
        {200, "netcam.jpg", ""},
        {703, "/oneshotimage.jpg", ""},
        {707, "/oneshotimage.jpg", ""},
        {1200, "/videoinsight/Pages/Image.aspx?ServerID=1&CameraNumber=1", ""},
        {308, "/image.jpg", ""},
        {600, "/", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LookupVideoPath(c.code, table), c.video) << c.code;
        EXPECT_EQ(LookupAudioPath(c.code, table), c.audio) << c.code;
    }
    EXPECT_EQ(table[3].ptzCommands.size(), 10u);
    EXPECT_EQ(table[3].ptzCommands.front(), "/axis-cgi/com/ptz.cgi?home=yes&move=home");
}

TEST(RequestPaths, ResetForgetsPathsButKeepsAudio)
{
    RequestPathTable table;
    BuildRequestPaths(table);
    ResetRequestPaths(table);
    EXPECT_EQ(LookupVideoPath(108, table), "");
    EXPECT_EQ(table[3].audioPath, "/axis-cgi/audio/receive.cgi?httptype=singlepart");
    BuildRequestPaths(table);  // building again refills
    EXPECT_EQ(LookupVideoPath(500, table), "/cgi-bin/video.jpg?cam=1");
}

TEST(RequestPaths, ProcessTableIsSwappedWholeWhileWorkersLookUp)
{
    const std::string mjpeg = "/axis-cgi/mjpg/video.cgi?showlength=1";
    const std::string audio = "/axis-cgi/audio/receive.cgi?httptype=singlepart";
    BuildRequestPaths();
    const auto built = currentRequestPaths();
    ResetRequestPaths();
    // A table once handed out never changes under its reader.
    EXPECT_EQ(LookupVideoPath(108, *built), mjpeg);
    EXPECT_EQ(LookupVideoPath(108), "");
    EXPECT_EQ((*currentRequestPaths())[3].audioPath, audio);  // reset keeps audio paths and PTZ lists
    EXPECT_EQ((*currentRequestPaths())[3].ptzCommands.size(), 10u);

    // Readers on other threads while one thread builds and resets: every
    // answer is a whole path or none (run under ThreadSanitizer to see
    // the writes themselves).
    std::atomic<bool> done{false};
    std::atomic<int> wrongAnswers{0};
    std::atomic<long> lookups{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            while (!done.load()) {
                const std::string video = LookupVideoPath(108);
                const std::string sound = LookupAudioPath(108);
                const std::string still = LookupVideoPath(1200);
                if (video != "" && video != mjpeg) ++wrongAnswers;
                if (sound != "" && sound != audio) ++wrongAnswers;
                if (still != "" && still != "/videoinsight/Pages/Image.aspx?ServerID=1&CameraNumber=1") ++wrongAnswers;
                const auto table = currentRequestPaths();
                if ((*table)[3].ptzCommands.size() != 10u) ++wrongAnswers;
                ++lookups;
            }
        });
    }
    for (int round = 0; round < 2000; ++round) {
        BuildRequestPaths();
        ResetRequestPaths();
    }
    BuildRequestPaths();
    done = true;
    for (auto& t : readers) t.join();
    EXPECT_EQ(wrongAnswers.load(), 0);
    EXPECT_GT(lookups.load(), 0);
    EXPECT_EQ(LookupVideoPath(108), mjpeg);
    EXPECT_EQ(LookupAudioPath(108), audio);
}

TEST(CameraModels, NamesCodesAndMethods)
{
    EXPECT_EQ(FindModelCode("AXIS 213"), 108);
    EXPECT_EQ(FindModelCode("INTELLINET"), 0);
    EXPECT_EQ(FindModelCode("D_LINK_DCW"), 308);
    EXPECT_EQ(FindModelCode("axis 213"), -1);  // exact comparison
    EXPECT_EQ(FindModelCode(""), -1);

    EXPECT_EQ(acquisitionMethod(0), AcquisitionMethod::BinaryProtocol);
    for (CameraType t : {200, 308, 400, 703, 707, 800, 900, 1000, 1200})
        EXPECT_EQ(acquisitionMethod(t), AcquisitionMethod::Snapshot) << t;
    for (CameraType t : {1, 2, 101, 108, 500, 305})
        EXPECT_EQ(acquisitionMethod(t), AcquisitionMethod::Stream) << t;
    EXPECT_EQ(acquisitionMethod(rtspType), AcquisitionMethod::Rtsp);

    EXPECT_TRUE(readsFixedSnapshotSize(400));
    EXPECT_TRUE(readsFixedSnapshotSize(800));
    EXPECT_FALSE(readsFixedSnapshotSize(200));
}

TEST(CameraModels, DialogsListTheTableThenRtsp)
{
    ASSERT_EQ(listedCameraModels.size(), CameraModelTable.size() + 1);
    for (size_t i = 0; i < CameraModelTable.size(); ++i) {
        EXPECT_STREQ(listedCameraModels[i].name, CameraModelTable[i].name) << i;
        EXPECT_EQ(listedCameraModels[i].code, CameraModelTable[i].code) << i;
    }
    EXPECT_STREQ(listedCameraModels.back().name, "RTSP (H.264/H.265)");
    EXPECT_EQ(listedCameraModels.back().code, 2000);
    EXPECT_EQ(FindModelCode("RTSP (H.264/H.265)"), rtspType);
}

// A known code is one a connection can serve: every listed model, and
// every code the request paths serve (rows of older versions hold them);
// a row with any other code stays offline.
TEST(CameraModels, KnownCodesAreTheServedOnes)
{
    for (const CameraModel& m : listedCameraModels) EXPECT_TRUE(isKnownCameraType(m.code)) << m.name;
    RequestPathTable paths;
    BuildRequestPaths(paths);
    for (const RequestPathEntry& e : paths) {
        if (e.code != -1) {
            EXPECT_TRUE(isKnownCameraType(e.code)) << e.code;
        }
    }
    for (CameraType t : {-1, 14, 100, 110, 201, 1999, 2001, 4000, 2147483647})
        EXPECT_FALSE(isKnownCameraType(t)) << t;
}

TEST(CameraModels, StreamFramingPerCode)
{
    const struct {
        CameraType code;
        int before, after;
    } cases[] = {{500, 4, 0}, {1, 2, 2}, {13, 2, 2}, {100, 2, 2}, {101, 2, 1}, {108, 2, 1}, {305, 2, 1}};
    for (const auto& c : cases) {
        const StreamFraming f = streamFraming(c.code);
        EXPECT_EQ(f.linesBeforeLength, c.before) << c.code;
        EXPECT_EQ(f.linesAfterImage, c.after) << c.code;
    }
}
