#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "SettingsFile.h"
#include "support/TempFolder.h"

using namespace cx;
using cx::test::TempFolder;

namespace {

std::vector<uint8_t> readFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> le32Values(const std::vector<uint32_t>& values)
{
    std::vector<uint8_t> out;
    for (uint32_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return out;
}

void expectDefaults(const Settings& s)
{
    EXPECT_EQ(s.backgroundColour, 0x000A72A9u);
    EXPECT_EQ(s.textColour, 0x0096FAFFu);
    EXPECT_EQ(s.backgroundImageEnabled, 0);
    EXPECT_EQ(s.scheduleMode, 0);
    EXPECT_EQ(s.fixedImageSize, 0);
    EXPECT_EQ(s.segmentMinutes, 5);
    EXPECT_EQ(s.compressOptions.handler, 0u);
    for (int i = 0; i < maxCameras; ++i) {
        EXPECT_EQ(s.monitorEnabled[static_cast<size_t>(i)], 1);
        EXPECT_EQ(s.scheduleRecord[static_cast<size_t>(i)], 0);
    }
}

}  // namespace

TEST(SettingsFile, NoFileKeepsDefaults)
{
    TempFolder folder;
    Settings s;
    s.compressOptions.reset();
    loadSettings(s, folder.path());
    expectDefaults(s);
    EXPECT_EQ(s.compressOptions.streamType, fourCC('v', 'i', 'd', 's'));
}

TEST(SettingsFile, RoundTripRestoresEverythingButTheBackgroundColour)
{
    TempFolder folder;
    Settings s;
    s.backgroundColour = 0x00123456;
    s.textColour = 0x00ABCDEF;
    s.backgroundImageEnabled = 1;
    s.scheduleMode = 1;
    s.fixedImageSize = 1;
    s.segmentMinutes = 42;
    CompressOptions& c = s.compressOptions;
    c.streamType = fourCC('v', 'i', 'd', 's');
    c.handler = fourCC('D', 'I', 'B', ' ');
    c.keyFrameInterval = 7;
    c.quality = 0xFFFFFFFFu;
    c.bytesPerSecond = 999;  // never stored
    c.flags = 3;
    c.formatSize = 40;
    c.parametersSize = 12;
    c.interleaveInterval = 9;
    for (int i = 0; i < maxCameras; ++i) {
        s.scheduleRecord[static_cast<size_t>(i)] = i % 2;
        s.monitorEnabled[static_cast<size_t>(i)] = (i % 3 == 0) ? 0 : 1;
    }
    ASSERT_TRUE(saveSettings(s, folder.path()));

    const auto bytes = readFile(folder.path() / "Configuration.cvx");
    ASSERT_EQ(bytes.size(), 184u);
    EXPECT_EQ(bytes[0], 0x56);  // the background colour is written, little-endian
    EXPECT_EQ(bytes[20], 42);   // segment minutes at offset 20
    EXPECT_EQ(bytes[56 + 4], 1);   // scheduleRecord of slot 1 at offset 60
    EXPECT_EQ(bytes[120], 0);      // monitorEnabled of slot 0 at offset 120

    Settings r;
    r.compressOptions.reset();
    r.compressOptions.bytesPerSecond = 5;
    loadSettings(r, folder.path());
    EXPECT_EQ(r.backgroundColour, defaultBackgroundColour);  // value 0 is never taken
    EXPECT_EQ(r.textColour, 0x00ABCDEFu);
    EXPECT_EQ(r.backgroundImageEnabled, 1);
    EXPECT_EQ(r.scheduleMode, 1);
    EXPECT_EQ(r.fixedImageSize, 1);
    EXPECT_EQ(r.segmentMinutes, 42);
    EXPECT_EQ(r.compressOptions.streamType, c.streamType);
    EXPECT_EQ(r.compressOptions.handler, c.handler);
    EXPECT_EQ(r.compressOptions.keyFrameInterval, 7u);
    EXPECT_EQ(r.compressOptions.quality, 0xFFFFFFFFu);
    EXPECT_EQ(r.compressOptions.bytesPerSecond, 5u);  // not in the file: memory value kept
    EXPECT_EQ(r.compressOptions.flags, 3u);
    EXPECT_EQ(r.compressOptions.formatSize, 40u);
    EXPECT_EQ(r.compressOptions.parametersSize, 12u);
    EXPECT_EQ(r.compressOptions.interleaveInterval, 9u);
    for (size_t i = 0; i < maxCameras; ++i) {
        EXPECT_EQ(r.scheduleRecord[i], s.scheduleRecord[i].load()) << i;
        EXPECT_EQ(r.monitorEnabled[i], s.monitorEnabled[i].load()) << i;
    }
}

TEST(SettingsFile, ShortAndLongFiles)
{
    TempFolder folder;
    const auto file = folder.path() / "Configuration.cvx";

    // Three whole values and half of a fourth: the text colour and the
    // background-image flag are taken, schedule mode keeps its default.
    auto shortBytes = le32Values({0x11111111, 0x00222222, 1, 1});
    shortBytes.resize(14);
    writeFile(file, shortBytes);
    Settings s;
    loadSettings(s, folder.path());
    EXPECT_EQ(s.textColour, 0x00222222u);
    EXPECT_EQ(s.backgroundImageEnabled, 1);
    EXPECT_EQ(s.scheduleMode, 0);
    EXPECT_EQ(s.segmentMinutes, 5);
    EXPECT_EQ(s.monitorEnabled[15], 1);

    // 46 values and trailing bytes: the extra bytes are ignored, values are
    // used as found without range checks.
    std::vector<uint32_t> values(46, 7);
    values[5] = 0;  // segment minutes 0 read as found
    auto longBytes = le32Values(values);
    for (int i = 0; i < 16; ++i) longBytes.push_back(0xEE);
    writeFile(file, longBytes);
    Settings l;
    loadSettings(l, folder.path());
    EXPECT_EQ(l.segmentMinutes, 0);
    EXPECT_EQ(l.scheduleMode, 7);
    EXPECT_EQ(l.monitorEnabled[15], 7);
    EXPECT_EQ(l.backgroundColour, defaultBackgroundColour);

    // An empty file changes nothing.
    writeFile(file, {});
    Settings e;
    loadSettings(e, folder.path());
    expectDefaults(e);
}

TEST(SettingsFile, FailedSaveKeepsTheOldFile)
{
    TempFolder folder;
    Settings s;
    s.segmentMinutes = 9;
    ASSERT_TRUE(saveSettings(s, folder.path()));
    const auto before = readFile(folder.path() / "Configuration.cvx");

    // The temporary file cannot be made (a folder stands in its place).
    std::filesystem::create_directory(folder.path() / "Configuration.cvx.tmp");
    s.segmentMinutes = 30;
    EXPECT_FALSE(saveSettings(s, folder.path()));
    EXPECT_EQ(readFile(folder.path() / "Configuration.cvx"), before);
    EXPECT_EQ(s.segmentMinutes, 30);  // memory stays as it is

    EXPECT_FALSE(saveSettings(s, folder.path() / "no-such-folder"));
}

TEST(SettingsFile, ToggleTwiceWritesTwiceAndRestores)
{
    TempFolder folder;
    Settings s;
    ASSERT_TRUE(saveSettings(s, folder.path()));
    const auto original = readFile(folder.path() / "Configuration.cvx");
    s.backgroundImageEnabled = 1;
    ASSERT_TRUE(saveSettings(s, folder.path()));
    EXPECT_NE(readFile(folder.path() / "Configuration.cvx"), original);
    s.backgroundImageEnabled = 0;
    ASSERT_TRUE(saveSettings(s, folder.path()));
    EXPECT_EQ(readFile(folder.path() / "Configuration.cvx"), original);
}
