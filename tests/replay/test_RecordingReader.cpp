// Recordings written by the recorder read back frame by frame, forward and
// backward, for both codecs, and a file cut off as by a crash.
#include <gtest/gtest.h>

#include <QImage>

#include <filesystem>
#include <fstream>

#include "AppState.h"
#include "AviRecorder.h"
#include "FrameDecoder.h"
#include "FrameSource.h"
#include "RecordingCodec.h"
#include "RecordingReader.h"
#include "RecordingTime.h"
#include "support/FakeClock.h"
#include "support/RecordingNotifier.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

constexpr int frameCount = 12;

// Mean absolute difference per channel of two pictures of one size.
double difference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size()) return 1e9;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            sum += std::abs(qRed(p[col]) - qRed(q[col])) + std::abs(qGreen(p[col]) - qGreen(q[col])) +
                   std::abs(qBlue(p[col]) - qBlue(q[col]));
    }
    return sum / (3.0 * x.width() * x.height());
}

struct Codec {
    const char* name;
    uint32_t handler;
};

class RecordingReaderTest : public ::testing::TestWithParam<Codec> {
protected:
    RecordingReaderTest()
    {
        state.programFolder = folder.path();
        state.setCameraName(0, "Door");
        fs::create_directories(folder.path() / "video" / "Door");
        state.settings.compressOptions.handler = GetParam().handler;
        for (int n = 0; n < frameCount; ++n) {
            jpegs.push_back(source.frame(static_cast<uint64_t>(n)));
            pictures.push_back(QImage::fromData(jpegs.back().data(), static_cast<int>(jpegs.back().size()), "JPG"));
        }
    }

    // Records the frames; `keepOpen` leaves the file as a crash would.
    fs::path record(bool keepOpen)
    {
        const fs::path name = recorder.BuildRecordingName(0);
        EXPECT_TRUE(recorder.OpenRecording(name, 0));
        const fs::path path = state.aviFile[0]->path();
        for (const auto& jpeg : jpegs) {
            std::lock_guard lock(state.recordLock[0]);
            const QSize drawSize = recorder.wantsPixels(0) ? QSize() : QSize(80, 60);
            const DecodeResult r = decoder.DecodeFrame(jpeg.data(), jpeg.size(), drawSize);
            recorder.WriteFrame(0, r.width, r.height, jpeg, decoder.currentPicture());
        }
        if (!keepOpen) recorder.CloseRecording(0);
        return path;
    }

    // Which recorded picture `shown` is: the nearest, and clearly so.
    int identify(const QImage& shown)
    {
        int best = -1;
        double bestDiff = 1e9, second = 1e9;
        for (int n = 0; n < frameCount; ++n) {
            const double d = difference(shown, pictures[static_cast<size_t>(n)]);
            if (d < bestDiff) {
                second = bestDiff;
                bestDiff = d;
                best = n;
            } else if (d < second) {
                second = d;
            }
        }
        EXPECT_LT(bestDiff, 6.0);
        EXPECT_GT(second, bestDiff + 1.0);
        return best;
    }

    TempFolder folder;
    AppState state;
    FakeClock clock;
    RecordingNotifier notifier;
    AviRecorder recorder{state, notifier, clock};
    FrameDecoder decoder;
    sim::FrameSource source{160, 120, frameCount};
    std::vector<std::vector<uint8_t>> jpegs;
    std::vector<QImage> pictures;
};

TEST_P(RecordingReaderTest, StepsForwardAndBackwardFrameByFrame)
{
    const fs::path path = record(false);
    RecordingReader reader;
    ASSERT_TRUE(reader.open(path));
    ASSERT_EQ(reader.frameCount(), frameCount);
    for (int k = 0; k < frameCount; ++k) EXPECT_EQ(reader.position(k), 10 * k) << k;
    for (int k = 0; k < frameCount; ++k) EXPECT_EQ(identify(reader.frame(k)), k) << "forward " << k;
    for (int k = frameCount - 1; k >= 0; --k) EXPECT_EQ(identify(reader.frame(k)), k) << "backward " << k;
    for (int k : {7, 2, 11, 0, 5}) EXPECT_EQ(identify(reader.frame(k)), k) << "jump " << k;
    EXPECT_TRUE(reader.frame(frameCount).isNull());
    EXPECT_TRUE(reader.frame(-1).isNull());
}

TEST_P(RecordingReaderTest, FileCutOffByACrashPlaysToItsLastWholeFrame)
{
    const fs::path path = record(true);
    const fs::path cut = folder.path() / "cut.avi";
    fs::copy_file(path, cut);
    recorder.CloseRecording(0);
    // Half of the last frame is missing, and the index was never written.
    const auto size = fs::file_size(cut);
    const auto lastFrame = GetParam().handler == 0 ? jpegs.back().size() : size_t{160 * 120 * 3};
    fs::resize_file(cut, size - lastFrame / 2);

    RecordingReader reader;
    ASSERT_TRUE(reader.open(cut));
    ASSERT_EQ(reader.frameCount(), frameCount - 1);
    for (int k = frameCount - 2; k >= 0; --k) EXPECT_EQ(identify(reader.frame(k)), k) << k;
}

INSTANTIATE_TEST_SUITE_P(Codecs, RecordingReaderTest,
                         ::testing::Values(Codec{"mjpeg", 0}, Codec{"dib", fourCC('D', 'I', 'B', ' ')}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RecordingReader, RefusesWhatIsNoRecording)
{
    TempFolder folder;
    RecordingReader reader;
    EXPECT_FALSE(reader.open(folder.path() / "missing.avi"));
    std::ofstream(folder.path() / "junk.avi") << "RIFF....AVI junk";
    EXPECT_FALSE(reader.open(folder.path() / "junk.avi"));
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.frameCount(), 0);
}

TEST(RecordingTime, FrameTimeFromTheNameAndPosition)
{
    struct Case {
        const char* name;
        int64_t position;
        const char* shown;  // null: not a recording name
    };
    const Case cases[] = {
        {"Date_06_12_2026_Time_15_54_49.avi", 0, "06/12/2026 15:54:49"},
        {"Date_06_12_2026_Time_15_54_49.avi", 14, "06/12/2026 15:54:49"},
        {"Date_06_12_2026_Time_15_54_49.avi", 15, "06/12/2026 15:54:50"},
        {"Date_06_12_2026_Time_15_54_49.avi", 150 * 60, "06/12/2026 16:04:49"},
        {"Date_31_12_2026_Time_23_59_59.avi", 30, "01/01/2027 00:00:01"},
        {"Date_06_12_2026_Time_15_54_49_2.avi", 0, "06/12/2026 15:54:49"},
        {"Door.avi", 0, nullptr},
        {"Date_06_13_2026_Time_15_54_49.avi", 0, nullptr},
        {"Date_6_12_2026_Time_15_54_49.avi", 0, nullptr},
    };
    for (const Case& c : cases) {
        const auto start = parseRecordingName(c.name);
        if (c.shown == nullptr) {
            EXPECT_FALSE(start) << c.name;
            continue;
        }
        ASSERT_TRUE(start) << c.name;
        EXPECT_EQ(frameTimeText(*start, c.position), c.shown) << c.name << " " << c.position;
    }
}

}  // namespace
