#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "BitmapExport.h"
#include "Snapshot.h"
#include "support/FakeClock.h"
#include "support/JpegFixtures.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> readBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> filesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(folder)) files.push_back(e.path().filename());
    return files;
}

struct Snapshots : ::testing::Test {
    TempFolder folder;
    FakeClock clock;
    Snapshots()
    {
        fs::create_directories(folder.path() / "snapshots");
        std::tm t{};
        t.tm_year = 2026 - 1900;
        t.tm_mon = 11;
        t.tm_mday = 6;
        t.tm_hour = 15;
        t.tm_min = 54;
        t.tm_sec = 49;
        clock.wall = ::timegm(&t);
    }
};

}  // namespace

TEST_F(Snapshots, StoresTheReceivedBytesUnderTheCameraAndTime)
{
    // A truncated frame is saved as received, too.
    const auto jpeg = quadrantJpeg(640, 480);
    const std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + 777);
    ASSERT_TRUE(SaveSnapshot(folder.path(), "Door", cut.data(), cut.size(), clock));
    EXPECT_EQ(filesIn(folder.path() / "snapshots"), std::vector<fs::path>{"Door_Date_06_12_2026_Time_15_54_49.jpg"});
    EXPECT_EQ(readBytes(folder.path() / "snapshots" / "Door_Date_06_12_2026_Time_15_54_49.jpg"), cut);

    // Same second again: the second snapshot replaces the first.
    ASSERT_TRUE(SaveSnapshot(folder.path(), "Door", jpeg.data(), jpeg.size(), clock));
    EXPECT_EQ(filesIn(folder.path() / "snapshots").size(), 1u);
    EXPECT_EQ(readBytes(folder.path() / "snapshots" / "Door_Date_06_12_2026_Time_15_54_49.jpg"), jpeg);

    clock.wall += 1;
    ASSERT_TRUE(SaveSnapshot(folder.path(), "Door", jpeg.data(), jpeg.size(), clock));
    EXPECT_EQ(filesIn(folder.path() / "snapshots").size(), 2u);
}

TEST_F(Snapshots, UnusualButSafeNamesStayInTheFolder)
{
    // Dots alone become part of a longer name and lead nowhere.
    const auto jpeg = quadrantJpeg(32, 32);
    const std::string names[] = {"..", ".", "x..y", ""};
    for (const auto& name : names) EXPECT_TRUE(SaveSnapshot(folder.path(), name, jpeg.data(), jpeg.size(), clock)) << name;
    EXPECT_EQ(filesIn(folder.path() / "snapshots").size(), 4u);
    EXPECT_TRUE(fs::exists(folder.path() / "snapshots" / ".._Date_06_12_2026_Time_15_54_49.jpg"));
    EXPECT_EQ(filesIn(folder.path()), std::vector<fs::path>{"snapshots"});
}

TEST_F(Snapshots, NothingIsSavedOutsideTheFolderOrWithoutIt)
{
    const auto jpeg = quadrantJpeg(32, 32);
    using namespace std::string_literals;
    const std::string hostile[] = {
        "../escape", "a/b", "/abs", "..\\up", "a\0b"s, "line\nfeed", "\x1b[2J", "del\x7f",
        std::string(256, 'n'),  // with the date and time the name is far over 255 bytes
    };
    for (const auto& name : hostile) EXPECT_FALSE(SaveSnapshot(folder.path(), name, jpeg.data(), jpeg.size(), clock)) << name;
    EXPECT_TRUE(filesIn(folder.path() / "snapshots").empty());
    EXPECT_EQ(filesIn(folder.path()), std::vector<fs::path>{"snapshots"});
    fs::remove(folder.path() / "snapshots");
    EXPECT_FALSE(SaveSnapshot(folder.path(), "Door", jpeg.data(), jpeg.size(), clock));
}

TEST(BitmapExport, HeaderDescribesA24BitBottomUpFrame)
{
    const auto h = bitmapInfoHeader(3, 2);
    const std::array<uint8_t, 40> expected{40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,
                                           24, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(h, expected);
    EXPECT_EQ(bitmapStride(1), 4u);
    EXPECT_EQ(bitmapStride(4), 12u);
    EXPECT_EQ(bitmapStride(5), 16u);
    EXPECT_EQ(bitmapImageSize(640, 480), 640u * 480u * 3u);
}

TEST(BitmapExport, BottomRowFirstInBlueGreenRedWithPaddedRows)
{
    // 3 x 2: stride 12 (9 bytes of pixels, 3 of padding).
    QImage image(3, 2, QImage::Format_RGB32);
    const QRgb colours[2][3] = {{qRgb(1, 2, 3), qRgb(4, 5, 6), qRgb(7, 8, 9)},
                                {qRgb(10, 11, 12), qRgb(13, 14, 15), qRgb(16, 17, 18)}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) image.setPixel(x, y, colours[y][x]);
    const DecodedPicture picture{3, 2, image};

    std::vector<uint8_t> area(24, 0xEE);
    SaveAsBitmap(picture, area.data(), area.size());
    const std::vector<uint8_t> expected{12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0,
                                        3,  2,  1,  6,  5,  4,  9,  8,  7,  0, 0, 0};
    EXPECT_EQ(area, expected);

    // A shorter area gets the first bytes only.
    std::vector<uint8_t> part(30, 0xEE);
    SaveAsBitmap(picture, part.data(), 5);
    EXPECT_EQ(std::vector<uint8_t>(part.begin(), part.begin() + 5), std::vector<uint8_t>(expected.begin(), expected.begin() + 5));
    EXPECT_EQ(part[5], 0xEE);

    // No picture: the area stays as it was.
    std::vector<uint8_t> untouched(24, 0xEE);
    SaveAsBitmap(DecodedPicture{}, untouched.data(), untouched.size());
    EXPECT_EQ(untouched, std::vector<uint8_t>(24, 0xEE));
}

TEST(BitmapExport, ScaledDecodeIsExportedAtTheJpegsOwnSize)
{
    // Decoded at 2 x 1 for a 4 x 2 picture: each pixel covers 2 x 2.
    QImage half(2, 1, QImage::Format_RGB32);
    half.setPixel(0, 0, qRgb(200, 0, 0));
    half.setPixel(1, 0, qRgb(0, 0, 200));
    std::vector<uint8_t> area(bitmapImageSize(4, 2));
    SaveAsBitmap(DecodedPicture{4, 2, half}, area.data(), area.size());
    const std::vector<uint8_t> row{0, 0, 200, 0, 0, 200, 200, 0, 0, 200, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(area.begin(), area.begin() + 12), row);
    EXPECT_EQ(std::vector<uint8_t>(area.begin() + 12, area.end()), row);
}
