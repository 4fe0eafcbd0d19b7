#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ActiveSkin.h"
#include "InterfaceInfo.h"
#include "PackageWriter.h"
#include "support/TempFolder.h"

using namespace cx;

namespace {

TEST(InterfaceInfo, ValueTextEndsBeforeTheCharacterPrecedingTheMarker)
{
    const std::pair<const char*, const char*> cases[] = {
        {"10,20,300,40 //clock", "10,20,300,40"},
        {"10,20,300,40//clock", "10,20,300,4"},  // no blank: the last digit is eaten
        {"1,2,3 // a // b", "1,2,3"},
        {"//only a comment", ""},
        {"5,6,7", "5,6,7"},
        {"", ""},
    };
    for (const auto& [line, value] : cases) EXPECT_EQ(descriptionValueText(line), value) << line;
}

TEST(InterfaceInfo, ValuesOfDescriptionLines)
{
    EXPECT_EQ(parseSkinRect(descriptionValueText("10,20,300,40 //clock")), (SkinRect{10, 20, 300, 40}));
    EXPECT_EQ(parseSkinRect(" -5, +6,7x,"), (SkinRect{-5, 6, 7, 0}));

    const std::pair<const char*, uint32_t> colours[] = {
        {"5,6,7 //x", 0x070605},
        {"300,0,0 //x", 44},       // each channel keeps its low 8 bits
        {"0,256,513 //x", 0x010000},
        {"-1,0,0 //x", 0xFF},
        {"12 //x", 12},
    };
    for (const auto& [line, colour] : colours) EXPECT_EQ(parseSkinColour(descriptionValueText(line)), colour) << line;

    EXPECT_EQ(parseSkinPoint(descriptionValueText("120,45 //About")), (SkinPoint{120, 45}));
    EXPECT_EQ(parseSkinPoint(descriptionValueText("77 //no y")), (SkinPoint{77, 0}));
}

std::string description(int n, const std::string& points)
{
    std::string text = std::to_string(n) + " //count\r\n";
    const char* values[] = {"1,2,3,4", "5,6,7,8", "9,10,11,12", "1,0,0", "2,0,0", "3,0,0",
                            "4,0,0",   "5,0,0",   "10,20,300,40", "6,0,0", "7,0,0"};
    for (const char* v : values) text += std::string(v) + " //x\r\n";
    return text + points;
}

TEST(InterfaceInfo, ParsesEveryLine)
{
    InterfaceInfo info;
    parseInterfaceInfo(description(2, "120,45 //About\r\n3,4 //Exit\r\n99,99 //beyond N\r\n"), info);
    EXPECT_EQ(info.pointCount, 2);
    EXPECT_EQ(info.dateRect, (SkinRect{1, 2, 3, 4}));
    EXPECT_EQ(info.clockRect, (SkinRect{5, 6, 7, 8}));
    EXPECT_EQ(info.statusRect, (SkinRect{9, 10, 11, 12}));
    EXPECT_EQ(info.clockBackground, 1u);
    EXPECT_EQ(info.clockText, 2u);
    EXPECT_EQ(info.statusBackground, 3u);
    EXPECT_EQ(info.lineText, 4u);
    EXPECT_EQ(info.labelText, 5u);
    EXPECT_EQ(info.viewArea, (SkinRect{10, 20, 300, 40}));
    EXPECT_EQ(info.gradientFirst, 6u);
    EXPECT_EQ(info.gradientSecond, 7u);
    ASSERT_EQ(info.buttonPoints.readPoints().size(), 2u);
    EXPECT_EQ(info.buttonPoints.at(0), (SkinPoint{120, 45}));
    EXPECT_EQ(info.buttonPoints.at(1), (SkinPoint{3, 4}));
    EXPECT_EQ(info.buttonPoints.at(2), SkinPoint{});
}

TEST(InterfaceInfo, PointListStopsAtEndOfTextOrEmptyLine)
{
    const std::pair<const char*, size_t> cases[] = {
        {"1,1 //a\n2,2 //b", 2},            // text ends after two of five
        {"1,1 //a\n\n3,3 //c\n", 1},        // empty line
        {"1,1 //a\r\n\r\n3,3 //c\r\n", 1},  // empty line written with CR LF
        {"", 0},
    };
    for (const auto& [points, count] : cases) {
        InterfaceInfo info;
        parseInterfaceInfo(description(5, points), info);
        EXPECT_EQ(info.buttonPoints.declaredCount(), 5) << points;
        EXPECT_EQ(info.buttonPoints.readPoints().size(), count) << points;
        EXPECT_EQ(info.buttonPoints.at(4), SkinPoint{}) << points;
    }
}

TEST(InterfaceInfo, HostileCountsAllocateNothing)
{
    InterfaceInfo info;
    parseInterfaceInfo(description(2147483647, "1,1 //a\n"), info);
    EXPECT_EQ(info.buttonPoints.readPoints().size(), 1u);
    parseInterfaceInfo("-40\n", info);
    EXPECT_TRUE(info.buttonPoints.readPoints().empty());
    EXPECT_EQ(info.viewArea, SkinRect{});  // lines missing at the end read as 0
}

TEST(InterfaceInfo, DefaultSkinDescriptionIsComplete)
{
    std::ifstream in(CX_DEFAULT_SKIN_INFO, std::ios::binary);
    ASSERT_TRUE(in);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    InterfaceInfo info;
    parseInterfaceInfo(text, info);
    EXPECT_GE(info.buttonPoints.readPoints().size(), static_cast<size_t>(ButtonPoint::minimumCount));
    for (const SkinRect& r : {info.dateRect, info.clockRect, info.statusRect, info.viewArea}) {
        EXPECT_LT(r.left, r.right);
        EXPECT_LT(r.top, r.bottom);
    }
    // The camera grid must not run under the button panel.
    EXPECT_LT(info.viewArea.right, info.buttonPoints.at(ButtonPoint::cameras).x);
}

class ActiveSkinTest : public ::testing::Test {
protected:
    std::filesystem::path writePackage(const std::string& name, const std::vector<PackageItem>& items)
    {
        const auto bytes = buildPackage(corvanexFormatTag, items);
        const auto file = folder.path() / name;
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file;
    }
    static std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }
    cx::test::TempFolder folder;
};

TEST_F(ActiveSkinTest, DescriptionIsCopiedToTheProgramFolder)
{
    const std::string text = description(1, "120,45 //About\n");
    ActiveSkin skin;
    ASSERT_TRUE(skin.open(writePackage("a.int", {{"INFO.TXT", bytesOf(text)}, {"status.txt", bytesOf(" suffix")}})));
    std::ofstream(folder.path() / "info.txt") << "an older, much longer copy that must be replaced entirely";
    EXPECT_TRUE(skin.parseDescription(folder.path()));
    std::ifstream copy(folder.path() / "info.txt", std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(copy)), std::istreambuf_iterator<char>()), text);
    EXPECT_EQ(skin.info().buttonPoints.at(0), (SkinPoint{120, 45}));
    EXPECT_EQ(skin.statusSuffix(), " suffix");
}

TEST_F(ActiveSkinTest, PackageWithoutDescriptionKeepsPreviousValues)
{
    ActiveSkin skin;
    ASSERT_TRUE(skin.open(writePackage("a.int", {{"info.txt", bytesOf(description(1, "7,8 //x\n"))}})));
    ASSERT_TRUE(skin.parseDescription(folder.path()));
    ASSERT_TRUE(skin.open(writePackage("b.int", {{"other.txt", bytesOf("x")}})));
    EXPECT_FALSE(skin.parseDescription(folder.path()));
    EXPECT_EQ(skin.info().buttonPoints.at(0), (SkinPoint{7, 8}));
    EXPECT_FALSE(skin.statusSuffix());

    // A package that cannot be opened leaves the one in use.
    EXPECT_FALSE(skin.open(folder.path() / "missing.int"));
    EXPECT_EQ(skin.file().filename(), "b.int");
}

}  // namespace
