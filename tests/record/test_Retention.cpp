// Free-space retention of recordings on a fake disk whose free space is
// what the files below video/ leave of a fixed size.
#include <gtest/gtest.h>

#include <fstream>

#include "DebugLog.h"
#include "Retention.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

constexpr uint64_t gib = uint64_t{1} << 30;

TEST(RetentionPolicyTest, ReadsTheFloorLine)
{
    struct Case {
        const char* text;
        RetentionPolicy::Kind kind;
        uint64_t bytes;
        double percent;
    };
    const Case cases[] = {
        {"floor 2GiB", RetentionPolicy::Kind::Bytes, 2 * gib, 0},
        {"floor 512 MiB\n", RetentionPolicy::Kind::Bytes, 512ull << 20, 0},
        {"# comment\n\nfloor 1000", RetentionPolicy::Kind::Bytes, 1000, 0},
        {"FLOOR 1tib", RetentionPolicy::Kind::Bytes, 1ull << 40, 0},
        {"floor 5%", RetentionPolicy::Kind::Percent, 0, 5},
        {"floor 12.5%\r\n", RetentionPolicy::Kind::Percent, 0, 12.5},
        {"off", RetentionPolicy::Kind::Off, 0, 0},
        {"  Off  \n", RetentionPolicy::Kind::Off, 0, 0},
        // Anything else keeps the default rather than guessing.
        {"", RetentionPolicy::Kind::Default, 0, 0},
        {"floor", RetentionPolicy::Kind::Default, 0, 0},
        {"floor 2GB", RetentionPolicy::Kind::Default, 0, 0},
        {"floor -3%", RetentionPolicy::Kind::Default, 0, 0},
        {"floor 150%", RetentionPolicy::Kind::Default, 0, 0},
        {"floor 99999999999999999999999", RetentionPolicy::Kind::Default, 0, 0},
        {"floor 20000000000TiB", RetentionPolicy::Kind::Default, 0, 0},
        {"floorish 5%", RetentionPolicy::Kind::Default, 0, 0},
        {"nonsense\noff", RetentionPolicy::Kind::Default, 0, 0},
    };
    for (const Case& c : cases) {
        const RetentionPolicy p = parseRetentionPolicy(c.text);
        EXPECT_EQ(p.kind, c.kind) << c.text;
        EXPECT_EQ(p.bytes, c.bytes) << c.text;
        EXPECT_DOUBLE_EQ(p.percent, c.percent) << c.text;
    }
}

TEST(RetentionPolicyTest, FloorIsFivePercentOrTwoGibWhicheverIsSmaller)
{
    const RetentionPolicy def;
    EXPECT_EQ(retentionFloor(def, 20 * gib), gib);            // 5 % is smaller
    EXPECT_EQ(retentionFloor(def, 1000 * gib), 2 * gib);      // 2 GiB is smaller
    EXPECT_EQ(retentionFloor(parseRetentionPolicy("floor 10%"), 1000), 100u);
    EXPECT_EQ(retentionFloor(parseRetentionPolicy("floor 3GiB"), 1000 * gib), 3 * gib);
    EXPECT_EQ(retentionFloor(parseRetentionPolicy("off"), 1000 * gib), 0u);
}

TEST(RetentionPolicyTest, FileInTheProgramFolder)
{
    TempFolder folder;
    EXPECT_EQ(loadRetentionPolicy(folder.path()).kind, RetentionPolicy::Kind::Default);
    std::ofstream(folder.path() / "retention.txt") << "floor 7%\n";
    const RetentionPolicy p = loadRetentionPolicy(folder.path());
    EXPECT_EQ(p.kind, RetentionPolicy::Kind::Percent);
    EXPECT_DOUBLE_EQ(p.percent, 7);
}

TEST(RetentionNameTest, OnlyTheRecordersOwnNames)
{
    struct Case {
        const char* name;
        bool ours;
        int64_t key;
        int number;
    };
    const Case cases[] = {
        {"Date_08_01_2024_Time_08_00_05.avi", true, 20240108080005, 1},
        {"Date_08_01_2024_Time_08_00_05_2.avi", true, 20240108080005, 2},
        {"Date_31_12_1999_Time_23_59_59_17.avi", true, 19991231235959, 17},
        {"Date_08_01_2024_Time_08_00_05.mkv", true, 20240108080005, 1},  // an RTSP camera's copy
        {"Date_08_01_2024_Time_08_00_05_3.mkv", true, 20240108080005, 3},
        {"Date_08_01_2024_Time_08_00_05.MKV", false, 0, 0},
        {"Date_08_01_2024_Time_08_00_05_1.mkv", false, 0, 0},
        {"Date_08_01_2024_Time_08_00_05.mp4", false, 0, 0},
        {"Date_08_01_2024_Time_08_00_05_2.mkv.part", false, 0, 0},
        {"Date_08_01_2024_Time_08_00_05_1.avi", false, 0, 0},   // the recorder starts at _2
        {"Date_08_01_2024_Time_08_00_05_02.avi", false, 0, 0},
        {"Date_08_01_2024_Time_08_00_05_.avi", false, 0, 0},
        {"Date_08_01_2024_Time_08_00_05.AVI", false, 0, 0},
        {"Date_08_01_2024_Time_08_00_05.avi.bak", false, 0, 0},
        {"Date_8_01_2024_Time_08_00_05.avi", false, 0, 0},
        {"Date_08_01_2024_Time_08_00_0x.avi", false, 0, 0},
        {"holiday.avi", false, 0, 0},
        {"Yard_Date_08_01_2024_Time_08_00_05.jpg", false, 0, 0},
        {"Date_08_01_2024_Time_08_00_05 copy.avi", false, 0, 0},
        {"", false, 0, 0},
    };
    for (const Case& c : cases) {
        const auto key = ownRecordingKey(c.name);
        ASSERT_EQ(key.has_value(), c.ours) << c.name;
        if (key) {
            EXPECT_EQ(key->first, c.key) << c.name;
            EXPECT_EQ(key->second, c.number) << c.name;
        }
    }
}

class RetentionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = setDebugSink([this](std::string_view t) { log += t; });
        fs::create_directories(video());
    }
    void TearDown() override { setDebugSink(previous); }

    fs::path video() const { return folder.path() / "video"; }
    fs::path file(const std::string& camera, const std::string& name, size_t size)
    {
        const fs::path p = video() / camera / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << std::string(size, 'x');
        return p;
    }
    bool exists(const fs::path& p) const { return fs::exists(fs::symlink_status(p)); }

    // A disk of `capacity` bytes that holds only what lies below video/.
    FreeSpaceProbe disk(uint64_t capacity)
    {
        return [this, capacity](const fs::path& at) -> std::optional<DiskSpace> {
            ++probes;
            EXPECT_EQ(at, video());
            uint64_t used = 0;
            for (const auto& e : fs::recursive_directory_iterator(video()))
                if (e.is_regular_file() && !e.is_symlink()) used += e.file_size();
            return DiskSpace{capacity, capacity - used};
        };
    }
    static std::function<std::vector<fs::path>()> none()
    {
        return [] { return std::vector<fs::path>{}; };
    }

    TempFolder folder;
    DebugSink previous;
    std::string log;
    int probes = 0;
};

TEST_F(RetentionTest, DeletesOldestFirstUntilTheFloorIsMet)
{
    // Across two cameras, by the time in the name (not by folder or file age).
    const fs::path a = file("Yard", "Date_01_02_2024_Time_10_00_00.avi", 300);
    const fs::path b = file("Door", "Date_31_01_2024_Time_23_00_00.avi", 300);
    const fs::path b2 = file("Door", "Date_31_01_2024_Time_23_00_00_2.avi", 300);
    const fs::path c = file("Yard", "Date_01_02_2025_Time_09_00_00.avi", 300);
    // Frame times beside two of them (empty: they do not change the sums).
    const fs::path bTimes = file("Door", "Date_31_01_2024_Time_23_00_00.avi.times", 0);
    const fs::path aTimes = file("Yard", "Date_01_02_2024_Time_10_00_00.avi.times", 0);
    // 1200 used of 2000: 800 free; a floor of 1300 needs two files gone.
    const RetentionRun run = enforceRetention(video(), parseRetentionPolicy("floor 1300"), disk(2000), none());
    EXPECT_EQ(run.deleted, (std::vector<fs::path>{b, b2}));
    EXPECT_TRUE(run.floorMet);
    EXPECT_FALSE(exists(b));
    EXPECT_FALSE(exists(bTimes));  // gone with its recording
    EXPECT_FALSE(exists(b2));
    EXPECT_TRUE(exists(a));
    EXPECT_TRUE(exists(aTimes));
    EXPECT_TRUE(exists(c));
    EXPECT_NE(log.find("retention: deleted " + b.string()), std::string::npos) << log;
    EXPECT_NE(log.find("retention: deleted " + b2.string()), std::string::npos) << log;
}

// RTSP cameras' copies and AVI recordings are one history: oldest first,
// whatever the kind.
TEST_F(RetentionTest, CopiedStreamsAreDeletedLikeAviRecordings)
{
    const fs::path oldCopy = file("Gate", "Date_01_02_2024_Time_09_00_00.mkv", 300);
    const fs::path oldCopy2 = file("Gate", "Date_01_02_2024_Time_09_00_00_2.mkv", 300);
    const fs::path avi = file("Yard", "Date_01_02_2024_Time_10_00_00.avi", 300);
    const fs::path newCopy = file("Gate", "Date_01_02_2024_Time_11_00_00.mkv", 300);
    const fs::path openCopy = file("Gate", "Date_01_01_2024_Time_00_00_00.mkv", 300);  // oldest, still recording
    // 1500 used of 2000: 500 free; a floor of 1400 needs three files gone.
    const RetentionRun run = enforceRetention(video(), parseRetentionPolicy("floor 1400"), disk(2000),
                                              [&] { return std::vector<fs::path>{openCopy}; });
    EXPECT_EQ(run.deleted, (std::vector<fs::path>{oldCopy, oldCopy2, avi}));
    EXPECT_TRUE(run.floorMet);
    EXPECT_TRUE(exists(newCopy));
    EXPECT_TRUE(exists(openCopy));
}

TEST_F(RetentionTest, NothingDeletedAtOrAboveTheFloor)
{
    const fs::path a = file("Yard", "Date_01_02_2024_Time_10_00_00.avi", 500);
    for (const char* policy : {"floor 1500", "floor 75%", "off"}) {
        const RetentionRun run = enforceRetention(video(), parseRetentionPolicy(policy), disk(2000), none());
        EXPECT_TRUE(run.deleted.empty()) << policy;
        EXPECT_TRUE(exists(a)) << policy;
    }
    // Off never even asks the disk.
    probes = 0;
    enforceRetention(video(), parseRetentionPolicy("off"), disk(1), none());
    EXPECT_EQ(probes, 0);
    EXPECT_TRUE(exists(a));
    EXPECT_TRUE(log.empty()) << log;
}

TEST_F(RetentionTest, OnlyOurOwnNamesAndNeverTheOpenFile)
{
    const fs::path open = file("Yard", "Date_01_01_2020_Time_00_00_00.avi", 100);  // the oldest, but recording
    const fs::path openTimes = file("Yard", "Date_01_01_2020_Time_00_00_00.avi.times", 0);
    const fs::path foreign = file("Yard", "wedding.avi", 100);
    const fs::path looksLike = file("Yard", "Date_01_01_2020_Time_00_00_00.avi.part", 100);
    const fs::path topLevel = video() / "Date_01_01_2019_Time_00_00_00.avi";  // not in a camera folder
    std::ofstream(topLevel) << std::string(100, 'x');
    const fs::path deep = file("Yard/old", "Date_01_01_2019_Time_00_00_00.avi", 100);
    const fs::path ours = file("Door", "Date_05_05_2023_Time_05_05_05.avi", 100);
    // A link to a file outside video/ with our name: neither followed nor deleted.
    const fs::path outside = folder.path() / "keep.avi";
    std::ofstream(outside) << "precious";
    fs::create_symlink(outside, video() / "Door" / "Date_01_01_2000_Time_00_00_00.avi");

    // Floor far above anything reachable: everything allowed goes, nothing more.
    // The open file is named the way the engine holds it, through "..".
    const fs::path openAsHeld = video() / "Door" / ".." / "Yard" / open.filename();
    const RetentionRun run = enforceRetention(video(), parseRetentionPolicy("floor 100000"), disk(100000),
                                              [&] { return std::vector<fs::path>{openAsHeld}; });
    EXPECT_EQ(run.deleted, (std::vector<fs::path>{ours}));
    EXPECT_FALSE(run.floorMet);
    for (const fs::path& kept : {open, openTimes, foreign, looksLike, topLevel, deep, outside})
        EXPECT_TRUE(exists(kept)) << kept;
    EXPECT_TRUE(exists(video() / "Door" / "Date_01_01_2000_Time_00_00_00.avi"));
}

TEST_F(RetentionTest, MissingVideoFolderOrProbeFailureDeletesNothing)
{
    const fs::path a = file("Yard", "Date_01_02_2024_Time_10_00_00.avi", 500);
    const FreeSpaceProbe failing = [](const fs::path&) -> std::optional<DiskSpace> { return std::nullopt; };
    EXPECT_TRUE(enforceRetention(video(), {}, failing, none()).deleted.empty());
    EXPECT_TRUE(exists(a));
    const FreeSpaceProbe full = [](const fs::path&) -> std::optional<DiskSpace> { return DiskSpace{1000, 0}; };
    const RetentionRun run = enforceRetention(folder.path() / "nothing-here", {}, full, none());
    EXPECT_TRUE(run.deleted.empty());
    EXPECT_FALSE(run.floorMet);
}

}  // namespace
