// The skin packer as people use it: folder → package → folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "InterfacePackage.h"
#include "support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int pack(const std::string& args)
{
    return std::system((std::string("\"") + CX_SKIN_PACK + "\" " + args + " >/dev/null 2>&1").c_str());
}

TEST(SkinPacker, CreateListExtractRoundTrip)
{
    cx::test::TempFolder t;
    const fs::path source = t.path() / "source";
    fs::create_directories(source);
    const std::string bitmap("BM\0\x01\x02 binary", 13);
    std::ofstream(source / "Remove Camera.bmp", std::ios::binary) << bitmap;
    std::ofstream(source / "info.txt", std::ios::binary) << "49 //n\n";

    const fs::path package = t.path() / "mine.int";
    ASSERT_EQ(pack("create \"" + package.string() + "\" \"" + source.string() + "\" --tag 0x1234"), 0);
    EXPECT_EQ(cx::readFormatTag(package), 0x1234);
    const auto opened = cx::InterfacePackage::open(package);
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->findEntry("remove camera.BMP"), 0);

    EXPECT_EQ(pack("list \"" + package.string() + "\""), 0);
    const fs::path out = t.path() / "out";
    ASSERT_EQ(pack("extract \"" + package.string() + "\" \"" + out.string() + "\""), 0);
    EXPECT_EQ(readAll(out / "Remove Camera.bmp"), bitmap);
    EXPECT_EQ(readAll(out / "info.txt"), "49 //n\n");

    // Without a tag the package carries ours.
    ASSERT_EQ(pack("create \"" + package.string() + "\" \"" + source.string() + "\""), 0);
    EXPECT_EQ(cx::readFormatTag(package), cx::corvanexFormatTag);
}

TEST(SkinPacker, RefusesWhatItCannotRead)
{
    cx::test::TempFolder t;
    std::ofstream(t.path() / "broken.int", std::ios::binary) << "CX";
    EXPECT_NE(pack("list \"" + (t.path() / "broken.int").string() + "\""), 0);
    EXPECT_NE(pack("extract \"" + (t.path() / "broken.int").string() + "\" \"" + (t.path() / "o").string() + "\""), 0);
    EXPECT_NE(pack("create \"" + (t.path() / "x.int").string() + "\" \"" + (t.path() / "empty").string() + "\""), 0);
    EXPECT_NE(pack("create x.int"), 0);
}

}  // namespace
