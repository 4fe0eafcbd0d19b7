// The recordings' own AVI writer: frames at their positions with the empty
// positions between them, one write per frame, files past the part limit
// continued as OpenDML parts that FFmpeg reads whole.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "AviWriter.h"
#include "BitmapExport.h"
#include "RecordingFile.h"
#include "Settings.h"
#include "support/AviReader.h"
#include "support/Ffprobe.h"
#include "support/JpegFixtures.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

struct Written {
    fs::path path;
    std::vector<size_t> writesPerFrame;
};

// Writes `jpeg` at each of `positions` with a part limit of `riffLimit`.
Written writeFile(const fs::path& path, const std::vector<int64_t>& positions, const std::vector<uint8_t>& jpeg,
                  uint64_t riffLimit)
{
    size_t writes = 0;
    auto file = RecordingFile::create(path, [&writes](int fd, const iovec* pieces, int count, off_t offset) {
        ++writes;
        return ::pwritev(fd, pieces, count, offset);
    });
    Written out{file->path(), {}};
    AviWriter writer(*file, riffLimit);
    writer.start(jpegVideoFormat(64, 48), 15);
    for (const int64_t p : positions) {
        const size_t before = writes;
        writer.writeFrame(jpeg.data(), jpeg.size(), p);
        out.writesPerFrame.push_back(writes - before);
    }
    writer.finish();
    return out;
}

}  // namespace

TEST(AviWriter, FramesKeepTheirPositionsInOneWriteEach)
{
    TempFolder folder;
    const std::vector<uint8_t> jpeg = quadrantJpeg(64, 48);
    const std::vector<int64_t> positions{0, 10, 20, 330, 340, 5000};
    const Written w = writeFile(folder.path() / "a.avi", positions, jpeg, AviWriter::defaultRiffLimit);

    // The gaps are empty chunks in the same write as the frame after them.
    for (size_t k = 0; k < positions.size(); ++k) EXPECT_EQ(w.writesPerFrame[k], 1u) << k;
    const AviFile avi = readAvi(w.path);
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(avi.handler, fourCC('M', 'J', 'P', 'G'));
    EXPECT_EQ(avi.rate, 15u);
    EXPECT_EQ(avi.chunks.size(), 5001u);
    EXPECT_EQ(avi.indexEntries, avi.chunks.size());
    std::vector<size_t> expected(positions.begin(), positions.end());
    EXPECT_EQ(avi.framePositions(), expected);
    for (const size_t p : avi.framePositions()) EXPECT_EQ(avi.chunks[p].data, jpeg);

    const ProbedStream probe = ffprobe(w.path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.codecName, "mjpeg");
    EXPECT_EQ(probe.packetTimes, (std::vector<long>{0, 10, 20, 330, 340, 5000}));
}

// Past the part limit the file goes on in further parts; FFmpeg reads every
// frame at its position, also across a gap longer than several parts, and
// also from a file cut off in its third part (nothing finished it).
TEST(AviWriter, LongFilesContinueInOpenDmlParts)
{
    TempFolder folder;
    const std::vector<uint8_t> jpeg = quadrantJpeg(64, 48);
    constexpr uint64_t limit = 16 * 1024;
    std::vector<int64_t> positions;
    for (int64_t p = 0; p < 400; p += 10) positions.push_back(p);
    positions.push_back(400 + 20000);  // 160 KB of empty chunks and their index: many parts
    positions.push_back(400 + 20010);
    for (const bool finished : {true, false}) {
        SCOPED_TRACE(finished ? "finished" : "cut off");
        const fs::path path = folder.path() / (finished ? "long.avi" : "cut.avi");
        auto file = RecordingFile::create(path);
        {
            AviWriter writer(*file, limit);
            writer.start(jpegVideoFormat(64, 48), 15);
            for (const int64_t p : positions) writer.writeFrame(jpeg.data(), jpeg.size(), p);
            if (finished) writer.finish();
        }
        file.reset();

        const ProbedStream probe = ffprobe(path);
        ASSERT_TRUE(probe.ok);
        EXPECT_EQ(probe.packetTimes, std::vector<long>(positions.begin(), positions.end()));

        // Every part within the limit, indexes included; the parts so far in
        // the super index.
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        size_t parts = 0;
        for (size_t at = 0; at + 12 <= bytes.size(); ++parts) {
            ASSERT_EQ(bytes.compare(at, 4, "RIFF"), 0) << at;
            uint32_t size = 0;
            std::memcpy(&size, bytes.data() + at + 4, 4);
            if (size == 0xFFFFFFFF) break;  // the part being written when the file was cut
            EXPECT_LE(size + 8u, limit) << "part at " << at;
            at += 8 + size;
        }
        EXPECT_GT(parts, 10u);
        EXPECT_EQ(bytes.compare(212, 4, "indx"), 0);
    }
}

// A disk that takes a few hundred bytes per call: the rest of each write
// follows where it stopped, across the chunk heads and the picture.
TEST(AviWriter, ShortWritesGoOnWhereTheyStopped)
{
    TempFolder folder;
    const std::vector<uint8_t> jpeg = quadrantJpeg(64, 48);
    auto file = RecordingFile::create(folder.path() / "short.avi", [](int fd, const iovec* pieces, int count, off_t offset) {
        iovec first = pieces[0];
        first.iov_len = std::min<size_t>(first.iov_len, 333);
        (void)count;
        return ::pwritev(fd, &first, 1, offset);
    });
    const fs::path path = file->path();
    {
        AviWriter writer(*file);
        writer.start(jpegVideoFormat(64, 48), 15);
        for (const int64_t p : {0, 7, 160}) writer.writeFrame(jpeg.data(), jpeg.size() - 1, p);  // odd: a pad byte
        writer.finish();
    }
    file.reset();
    const AviFile avi = readAvi(path);
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(avi.framePositions(), (std::vector<size_t>{0, 7, 160}));
    const std::vector<uint8_t> expected(jpeg.begin(), jpeg.end() - 1);
    for (const size_t p : avi.framePositions()) EXPECT_EQ(avi.chunks[p].data, expected);
    EXPECT_EQ(avi.indexEntries, avi.chunks.size());
}
