#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "InterfacePackage.h"
#include "PackageWriter.h"
#include "support/Bytes.h"
#include "support/TempFolder.h"

using namespace cx;
using cx::test::Bytes;

namespace {

// Three entries written by hand, data in a different order than the
// directory: "CLOSE.BMP" (4 bytes), "info.txt" (text with a NUL inside),
// "Status.txt".
struct HandMade {
    std::string infoData = std::string("3\nabc\0junk", 10);
    std::string statusData = " Status suffix.";
    std::vector<uint8_t> bytes;
    size_t firstNameLengthAt = 0, firstSizeAt = 0, offsetsAt = 0;

    HandMade()
    {
        Bytes b;
        b.u16(0x1234).u16(0xBEEF).u16(3);
        firstNameLengthAt = b.size();
        b.u32(9).text("CLOSE.BMP");
        firstSizeAt = b.size();
        b.u32(4);
        b.u32(8).text("info.txt").u32(static_cast<uint32_t>(infoData.size()));
        b.u32(10).text("Status.txt").u32(static_cast<uint32_t>(statusData.size()));
        offsetsAt = b.size();
        const uint32_t dataAt = static_cast<uint32_t>(b.size() + 12);
        const uint32_t statusAt = dataAt;
        const uint32_t infoAt = statusAt + static_cast<uint32_t>(statusData.size());
        const uint32_t closeAt = infoAt + static_cast<uint32_t>(infoData.size());
        b.u32(closeAt).u32(infoAt).u32(statusAt);
        b.text(statusData).text(infoData).u8(1).u8(2).u8(3).u8(4);
        bytes = b.data;
    }

    void putU32(size_t at, uint32_t v)
    {
        for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<uint8_t>(v >> (8 * k));
    }
};

TEST(InterfacePackage, ReadsHandMadePackage)
{
    HandMade fixture;
    const auto p = InterfacePackage::fromBytes(fixture.bytes);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->formatTag(), 0x1234);
    ASSERT_EQ(p->entries().size(), 3u);
    EXPECT_EQ(p->entries()[0].name, "CLOSE.BMP");
    EXPECT_EQ(p->entries()[2].dataSize, fixture.statusData.size());

    const auto close = p->entryData(0);
    EXPECT_EQ(std::vector<uint8_t>(close.begin(), close.end()), (std::vector<uint8_t>{1, 2, 3, 4}));
    // Text stops at the first NUL inside the entry.
    EXPECT_EQ(p->readText(1), "3\nabc");
    EXPECT_EQ(p->textEntry("status.TXT"), fixture.statusData);
    EXPECT_FALSE(p->textEntry("missing.txt"));
    EXPECT_TRUE(p->entryData(3).empty());
    EXPECT_TRUE(p->entryData(-1).empty());
}

TEST(InterfacePackage, LookupIgnoresCaseButNotLength)
{
    const auto p = InterfacePackage::fromBytes(HandMade().bytes);
    ASSERT_TRUE(p);
    const std::pair<const char*, int> cases[] = {
        {"close.bmp", 0}, {"Close.Bmp", 0}, {"CLOSE.BMP", 0}, {"INFO.TXT", 1}, {"status.txt", 2},
        {"close", -1},    {"close.bmp ", -1}, {"close.bm", -1}, {"", -1},
    };
    for (const auto& [name, index] : cases) EXPECT_EQ(p->findEntry(name), index) << name;
}

TEST(InterfacePackage, WriterOutputReadsBack)
{
    const std::vector<PackageItem> items = {{"background.bmp", {9, 8, 7}}, {"info.txt", {'1', '\n'}}, {"empty", {}}};
    const auto bytes = buildPackage(corvanexFormatTag, items);
    const auto p = InterfacePackage::fromBytes(bytes);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->formatTag(), corvanexFormatTag);
    ASSERT_EQ(p->entries().size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(p->entries()[i].name, items[i].name);
        const auto data = p->entryData(static_cast<int>(i));
        EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), items[i].data);
    }
    EXPECT_TRUE(buildPackage(1, {{"../escape", {1}}}).empty());
    EXPECT_TRUE(buildPackage(1, {{"a/b", {1}}}).empty());
}

TEST(InterfacePackage, OpensFileAndReadsTag)
{
    cx::test::TempFolder folder;
    const auto file = folder.path() / "x.int";
    const auto bytes = HandMade().bytes;
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(InterfacePackage::open(file));
    EXPECT_EQ(readFormatTag(file), 0x1234);
    EXPECT_FALSE(InterfacePackage::open(folder.path() / "missing.int"));
    EXPECT_FALSE(readFormatTag(folder.path() / "missing.int"));
}

// Damaged directories: the package is not opened.
TEST(InterfacePackage, BrokenDirectoryIsNotOpened)
{
    const std::pair<const char*, std::function<void(HandMade&)>> cases[] = {
        {"shorter than the header", [](HandMade& f) { f.bytes.resize(5); }},
        {"count larger than the file can hold", [](HandMade& f) { f.bytes[4] = 0xFF, f.bytes[5] = 0xFF; }},
        {"name length past the end", [](HandMade& f) { f.putU32(f.firstNameLengthAt, 0xFFFFFFF0u); }},
        {"name length a little too long", [](HandMade& f) { f.putU32(f.firstNameLengthAt, static_cast<uint32_t>(f.bytes.size())); }},
        {"offset table cut off", [](HandMade& f) { f.bytes.resize(f.offsetsAt + 6); }},
    };
    for (const auto& [what, damage] : cases) {
        HandMade f;
        damage(f);
        EXPECT_FALSE(InterfacePackage::fromBytes(f.bytes)) << what;
    }
}

// Entries that are unsafe on their own are left out; the rest stays usable.
TEST(InterfacePackage, UnsafeEntriesAreLeftOut)
{
    const std::pair<const char*, std::function<void(HandMade&)>> cases[] = {
        {"offset beyond the file", [](HandMade& f) { f.putU32(f.offsetsAt, static_cast<uint32_t>(f.bytes.size())); }},
        {"size beyond the file", [](HandMade& f) { f.putU32(f.firstSizeAt, 5); }},
        {"offset plus size wraps", [](HandMade& f) { f.putU32(f.offsetsAt, 0xFFFFFFFEu); }},
        {"huge size", [](HandMade& f) { f.putU32(f.firstSizeAt, 0xFFFFFFFFu); }},
        {"slash in name", [](HandMade& f) { f.bytes[f.firstNameLengthAt + 4 + 2] = '/'; }},
        {"backslash in name", [](HandMade& f) { f.bytes[f.firstNameLengthAt + 4 + 2] = '\\'; }},
        {"NUL in name", [](HandMade& f) { f.bytes[f.firstNameLengthAt + 4 + 2] = 0; }},
        {"line feed in name", [](HandMade& f) { f.bytes[f.firstNameLengthAt + 4 + 2] = '\n'; }},
    };
    for (const auto& [what, damage] : cases) {
        HandMade f;
        damage(f);
        const auto p = InterfacePackage::fromBytes(f.bytes);
        ASSERT_TRUE(p) << what;
        EXPECT_EQ(p->storedEntryCount(), 3) << what;
        ASSERT_EQ(p->entries().size(), 2u) << what;
        EXPECT_EQ(p->findEntry("close.bmp"), -1) << what;
        EXPECT_EQ(p->textEntry("info.txt"), "3\nabc") << what;
    }
}

TEST(InterfacePackage, DotNamesAreUnsafe)
{
    for (const char* name : {".", "..", "", "a/b", "a\\b"}) EXPECT_FALSE(isSafeEntryName(name)) << name;
    EXPECT_FALSE(isSafeEntryName(std::string("a\0b", 3)));
    EXPECT_FALSE(isSafeEntryName(std::string(256, 'a')));
    for (const char* name : {"tab\tname", "bell\a", "del\x7f"}) EXPECT_FALSE(isSafeEntryName(name)) << name;
    for (const char* name : {"Remove Camera.bmp", "..bmp", "a.b.c"}) EXPECT_TRUE(isSafeEntryName(name)) << name;
    EXPECT_TRUE(isSafeEntryName(std::string(255, 'a')));
    // The writer refuses what the reader would leave out.
    EXPECT_TRUE(buildPackage(corvanexFormatTag, {{"esc\x1b", {1}}}).empty());
}

}  // namespace
