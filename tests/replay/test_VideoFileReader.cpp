// A camera's H.264 and H.265 stream as recorded into Matroska, read frame
// by frame: every frame equals a straight decode of it in any order
// of reading, each step costs what it should, a file cut off by a crash
// plays what it holds, and the times come from the file's creation time.
#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "RecordingTime.h"
#include "RecordingTimeline.h"
#include "VideoFileReader.h"
#include "support/NumberedVideo.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

constexpr int frames = 40;
// Small pictures: what is tested does not grow with them.
constexpr int width = 160, height = 120;
constexpr int gop = 12;  // as the recipes ask
constexpr int frameMs = 40;  // 25 a second
// The first frame's wall time in the files: 1 March 2026 09:59:58.250 UTC.
constexpr const char* creationTime = "2026-03-01T09:59:58.250Z";
constexpr int64_t creationMs = 1772359198250;
// Same decoder; the conversions to RGB may round apart.
constexpr double sameFrame = 1.0;

struct Recipe {
    const char* name;
    const char* encoder;
    const char* options;
};


// How cameras send their streams: H.264 without B frames, H.264 with them
// (decode order is not display order), H.265 with open groups of pictures
// (pictures after a key frame in decode order shown before it, decoded
// from the group before).
const Recipe recipes[] = {
    {"h264", "libx264", "preset=veryfast;g=12;keyint_min=12;sc_threshold=0;bf=0"},
    {"h264BFrames", "libx264", "preset=veryfast;g=12;keyint_min=12;sc_threshold=0;bf=2"},
    {"h265OpenGop", "libx265",
     "preset=veryfast;x265-params=keyint=12:min-keyint=12:scenecut=0:open-gop=1:bframes=3:log-level=error"},
};

// One recipe's file as a recorder leaves it (clusters 0.4 s long, as it
// closes them), and a copy cut off in the middle of a frame's packet, as a
// crash leaves it (no index at the end, the last cluster incomplete). Each
// part is made when a test first asks for it.
class Files {
public:
    explicit Files(const Recipe& recipe) : recipe_(recipe) {}

    const fs::path& whole()
    {
        if (whole_.empty()) {
            whole_ = folder_.path() / (std::string(recipe_.name) + ".mkv");
            NumberedVideo video;
            video.frames = frames;
            video.width = width;
            video.height = height;
            video.encoder = recipe_.encoder;
            video.options = recipe_.options;
            video.creationTime = creationTime;
            video.clusterMs = 400;
            EXPECT_TRUE(writeNumberedVideo(whole_, video)) << recipe_.name;
        }
        return whole_;
    }
    const std::vector<QImage>& wholeFrames()
    {
        if (wholeFrames_.empty()) wholeFrames_ = straightDecode(whole());
        return wholeFrames_;
    }
    const fs::path& cut()
    {
        if (cut_.empty()) {
            const auto places = packetPlaces(whole());
            EXPECT_EQ(places.size(), static_cast<size_t>(frames));
            packetsBeforeCut_ = static_cast<int>(places.size() * 2 / 3);
            const auto [pos, size] = places.at(static_cast<size_t>(packetsBeforeCut_));
            cut_ = folder_.path() / (std::string(recipe_.name) + "-cut.mkv");
            fs::copy_file(whole(), cut_);
            fs::resize_file(cut_, static_cast<uintmax_t>(pos + size / 2));
        }
        return cut_;
    }
    int packetsBeforeCut()
    {
        cut();
        return packetsBeforeCut_;
    }
    const std::vector<QImage>& cutFrames()
    {
        if (cutFrames_.empty()) cutFrames_ = straightDecode(cut());
        return cutFrames_;
    }

private:
    const Recipe recipe_;
    TempFolder folder_;
    fs::path whole_, cut_;
    std::vector<QImage> wholeFrames_, cutFrames_;  // straight decodes
    int packetsBeforeCut_ = 0;
};

std::vector<int> readingOrder(const std::string& how, int count)
{
    std::vector<int> order(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) order[static_cast<size_t>(k)] = k;
    if (how == "backward") std::reverse(order.begin(), order.end());
    if (how == "random") std::shuffle(order.begin(), order.end(), std::mt19937(7));
    return order;
}

TEST(VideoFileReader, EveryFrameIsTheStraightDecodesInAnyOrder)
{
    // Room for three pictures only: a step back decodes from the key frame
    // again and again, not out of one full cache.
    const size_t small = 3 * width * height * 4;
    struct Pass {
        const char* how;
        size_t cache;
    };
    const Pass passes[] = {{"forward", VideoFileReader::defaultCacheBytes},
                           {"backward", VideoFileReader::defaultCacheBytes},
                           {"random", VideoFileReader::defaultCacheBytes},
                           {"backward", small},
                           {"random", small}};
    for (const Recipe& recipe : recipes) {
        Files files(recipe);
        ASSERT_EQ(files.wholeFrames().size(), static_cast<size_t>(frames)) << recipe.name;
        EXPECT_EQ(ffprobeFrameCount(files.whole()), frames) << recipe.name;
        for (const auto& [how, cache] : passes) {
            SCOPED_TRACE(testing::Message() << recipe.name << ", " << how << ", cache of " << cache << " bytes");
            VideoFileReader reader(cache);
            ASSERT_TRUE(reader.open(files.whole()));
            ASSERT_EQ(reader.frameCount(), frames);
            for (const int k : readingOrder(how, frames)) {
                const QImage picture = reader.frame(k);
                ASSERT_EQ(shownNumber(picture), k);
                EXPECT_LT(meanDifference(picture, files.wholeFrames()[static_cast<size_t>(k)]), sameFrame) << k;
                EXPECT_LE(reader.cachedBytes(), cache);
            }
        }
    }
}

TEST(VideoFileReader, EachStepDecodesWhatItNeedsOnly)
{
    for (const Recipe& recipe : recipes) {
        SCOPED_TRACE(recipe.name);
        Files files(recipe);
        VideoFileReader reader;
        ASSERT_TRUE(reader.open(files.whole()));
        std::vector<int> keys;
        for (int k = 0; k < frames; ++k)
            if (reader.isKeyFrame(k)) keys.push_back(k);
        ASSERT_EQ(keys, (std::vector<int>{0, gop, 2 * gop, 3 * gop}));

        const auto cost = [&reader](int k) {
            const int64_t before = reader.decodedFrames();
            EXPECT_EQ(shownNumber(reader.frame(k)), k);
            return reader.decodedFrames() - before;
        };
        // A jump decodes from the key frame before it, never from the start.
        EXPECT_LE(cost(26), 26 - 24 + 1 + 3);
        // Forward from there: one frame a step, across the next key frame too.
        for (int k = 27; k < frames; ++k) EXPECT_EQ(cost(k), 1) << k;
        // Back over what was decoded: the cache has it.
        for (int k = frames - 2; k >= 24; --k) EXPECT_EQ(cost(k), 0) << k;

        // Reverse play from the end with a fresh reader: each group of
        // pictures is decoded once, then served backward from the cache.
        VideoFileReader reverse;
        ASSERT_TRUE(reverse.open(files.whole()));
        std::vector<int> runs;  // frames where a step decoded anything
        for (int k = frames - 1; k >= 0; --k) {
            const int64_t before = reverse.decodedFrames();
            ASSERT_EQ(shownNumber(reverse.frame(k)), k);
            if (reverse.decodedFrames() > before) runs.push_back(k);
        }
        EXPECT_EQ(runs, (std::vector<int>{39, 35, 23, 11}));
        EXPECT_EQ(reverse.decodedFrames(), frames);  // each frame once
    }
}

TEST(VideoFileReader, CutOffFilePlaysWhatItHoldsWhole)
{
    for (const Recipe& recipe : recipes) {
        SCOPED_TRACE(recipe.name);
        Files files(recipe);
        VideoFileReader reader;
        ASSERT_TRUE(reader.open(files.cut()));
        const int count = reader.frameCount();
        EXPECT_EQ(count, ffprobeFrameCount(files.cut()));
        ASSERT_EQ(static_cast<size_t>(count), files.cutFrames().size());
        // The packets before the cut, each a frame; the cut one is left out.
        EXPECT_EQ(count, files.packetsBeforeCut());
        std::vector<int> numbers;
        for (int k = count - 1; k >= 0; --k) {
            const QImage picture = reader.frame(k);
            EXPECT_LT(meanDifference(picture, files.cutFrames()[static_cast<size_t>(k)]), sameFrame) << k;
            numbers.insert(numbers.begin(), shownNumber(picture));
        }
        // The frames it shows, in order, are frames of the whole recording.
        EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
        EXPECT_EQ(numbers.front(), 0);
        EXPECT_GE(numbers.back(), count - 1);
        for (const int k : readingOrder("random", count))
            EXPECT_LT(meanDifference(reader.frame(k), files.cutFrames()[static_cast<size_t>(k)]), sameFrame) << k;
        // A crash leaves the creation time in the file's head.
        EXPECT_EQ(reader.creationMs(), creationMs);
    }
}

// Scaling is the same whatever the codec: one with B frames.
TEST(VideoFileReader, PicturesFitTheSizeAsked)
{
    Files files(recipes[1]);
    VideoFileReader reader;
    ASSERT_TRUE(reader.open(files.whole()));
    reader.setMaxPictureSize(QSize(120, 80));
    for (const int k : {30, 29, 11, 12}) {
        const QImage picture = reader.frame(k);
        EXPECT_EQ(picture.size(), QSize(106, 80)) << k;
        const QImage expected = files.wholeFrames()[static_cast<size_t>(k)].scaled(
            picture.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LT(meanDifference(picture, expected), 4.0) << k;
        EXPECT_EQ(shownNumber(picture), k);
    }
    // Back to the size recorded: nothing small is served from the cache.
    reader.setMaxPictureSize(QSize());
    EXPECT_EQ(reader.frame(30).size(), QSize(width, height));
}

// Should cameras' recordings come as MPEG-TS, whose demuxer seeks by
// decode time stamps: B frames put those before the presentation's.
TEST(VideoFileReader, ReadsMpegTsFrameByFrameToo)
{
    TempFolder here;
    const fs::path file = here.path() / "Date_01_03_2026_Time_09_59_58.ts";
    NumberedVideo video;
    video.frames = frames;
    video.width = width;
    video.height = height;
    video.encoder = recipes[1].encoder;
    video.options = recipes[1].options;
    ASSERT_TRUE(writeNumberedVideo(file, video));
    const std::vector<QImage> straight = straightDecode(file);
    ASSERT_EQ(straight.size(), static_cast<size_t>(frames));
    for (const char* how : {"backward", "random"}) {
        SCOPED_TRACE(how);
        VideoFileReader reader;
        ASSERT_TRUE(reader.open(file));
        ASSERT_EQ(reader.frameCount(), frames);
        for (const int k : readingOrder(how, frames)) {
            const QImage picture = reader.frame(k);
            ASSERT_EQ(shownNumber(picture), k);
            EXPECT_LT(meanDifference(picture, straight[static_cast<size_t>(k)]), sameFrame) << k;
        }
    }
}

TEST(VideoFileReader, TimesComeFromTheCreationTimeAndTheStamps)
{
    TempFolder here;
    const fs::path named = here.path() / "Date_01_03_2026_Time_09_59_57.mkv";
    const int64_t nameMs = recordingStartMs(*parseRecordingName(named.filename().string()));
    struct Case {
        const char* what;
        fs::path file;
        const char* creation;
        const char* options;
        bool known, recorded;
        int64_t firstMs;
    };
    const char* bFrames = recipes[1].options;
    const Case cases[] = {
        {"creation time", named, creationTime, recipes[0].options, true, true, creationMs},
        {"creation time, B frames", here.path() / "b.mkv", creationTime, bFrames, true, true, creationMs},
        {"only the name: estimated", named, "", recipes[0].options, true, false, nameMs},
        {"neither", here.path() / "door.mkv", "", recipes[0].options, false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NumberedVideo video;
        video.frames = 15;
        video.width = width;
        video.height = height;
        video.options = c.options;
        video.creationTime = c.creation;
        ASSERT_TRUE(writeNumberedVideo(c.file, video));
        VideoFileReader reader;
        ASSERT_TRUE(reader.open(c.file));
        const RecordingTimeline t = reader.timeline();
        ASSERT_EQ(t.frameCount(), 15);
        EXPECT_EQ(t.timeOfDayKnown(), c.known);
        EXPECT_EQ(t.hasFrameTimes(), c.recorded);
        for (int k = 0; k < 15; ++k) {
            EXPECT_EQ(t.wallMs(k), c.firstMs + k * frameMs) << k;
            EXPECT_EQ(t.estimated(k), !c.recorded) << k;
        }
        EXPECT_EQ(t.durationMs(), 14 * frameMs);
        EXPECT_EQ(t.frameAt(5 * frameMs + 1), 5);
    }
}

TEST(VideoFileReader, RefusesWhatIsNoVideo)
{
    TempFolder here;
    VideoFileReader reader;
    EXPECT_FALSE(reader.open(here.path() / "missing.mkv"));
    std::ofstream(here.path() / "junk.mkv") << "\x1a\x45\xdf\xa3 not really a Matroska file";
    EXPECT_FALSE(reader.open(here.path() / "junk.mkv"));
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.frameCount(), 0);
    EXPECT_TRUE(reader.frame(0).isNull());
}

}  // namespace
