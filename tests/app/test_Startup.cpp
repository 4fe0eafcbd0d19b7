#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "AppState.h"
#include "CameraStore.h"
#include "ProgramFolder.h"
#include "SettingsFile.h"
#include "Startup.h"
#include "support/RecordingNotifier.h"
#include "support/TempFolder.h"

using namespace cx;
using cx::test::RecordingNotifier;
using cx::test::TempFolder;
namespace fs = std::filesystem;

namespace {

// Camera list in memory; the first-camera dialog may add names. Camera i
// is at 10.0.0.<i + 1>, so a slot's address tells whose row it is.
class FakeStore final : public CameraStore {
public:
    std::vector<std::string> names;
    int countCameras() override { return static_cast<int>(names.size()); }
    LoadedCameras loadCameras() override
    {
        LoadedCameras loaded;
        const int n = std::min(static_cast<int>(names.size()), maxCameras);
        loaded.table.allocate(n);
        for (int i = 0; i < n; ++i) {
            loaded.names.push_back(names[static_cast<size_t>(i)]);
            loaded.table.address[static_cast<size_t>(i)] = "10.0.0." + std::to_string(i + 1) + ":80";
        }
        loaded.table.count = n;
        return loaded;
    }
};

void touch(const fs::path& p)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "x";
}

class StartupTest : public ::testing::Test {
protected:
    void makeFolders(bool withSkin = true, bool withDatabase = true, const char* databaseFolder = "Database")
    {
        fs::create_directories(folder.path() / "Interface");
        fs::create_directories(folder.path() / databaseFolder);
        if (withSkin) touch(folder.path() / "Interface" / "default.int");
        if (withDatabase) touch(folder.path() / databaseFolder / "Corvanex.mdb");
    }

    StartupResult run(bool another = false)
    {
        Startup startup(state, store, notifier, hooks);
        const StartupResult r = startup.run(folder.path(), another);
        startup.exitStep();
        return r;
    }

    TempFolder folder;
    AppState state;
    FakeStore store;
    RecordingNotifier notifier;
    StartupHooks hooks;
    std::vector<std::string> steps;
};

}  // namespace

TEST_F(StartupTest, AnotherInstanceEndsSilently)
{
    makeFolders();
    store.names = {"a"};
    hooks.runMainWindow = [&] { steps.push_back("main"); };
    EXPECT_EQ(run(true), StartupResult::AnotherInstance);
    EXPECT_TRUE(notifier.texts().empty());
    EXPECT_TRUE(steps.empty());
}

TEST_F(StartupTest, FolderCheck)
{
    // A front end that opens a skin needs a skin package; one that opens
    // none (the no-window run) needs only the database.
    const struct {
        bool opensSkin, skin, database;
        const char* databaseFolder;
        bool ok;
    } cases[] = {
        {true, false, true, "Database", false},
        {true, true, false, "Database", false},
        {true, false, false, "Database", false},
        {true, true, true, "Database", true},
        {true, true, true, "database", true},  // one folder whatever its case
        {false, false, true, "Database", true},
        {false, true, false, "Database", false},
    };
    for (const auto& c : cases) {
        TempFolder f;
        fs::create_directories(f.path() / "Interface");
        fs::create_directories(f.path() / c.databaseFolder);
        if (c.skin) touch(f.path() / "Interface" / "default.int");
        if (c.database) touch(f.path() / c.databaseFolder / "Corvanex.mdb");
        RecordingNotifier n;
        FakeStore s;
        AppState st;
        StartupHooks hooks;
        if (c.opensSkin) hooks.openSkinPackage = [](const fs::path&) { return true; };
        Startup startup(st, s, n, hooks);
        const StartupResult r = startup.run(f.path(), false);
        if (c.ok) {
            EXPECT_EQ(r, StartupResult::NoCameras) << c.opensSkin << c.skin << c.database << c.databaseFolder;
            EXPECT_TRUE(n.texts().empty());
        } else {
            EXPECT_EQ(r, StartupResult::FoldersMissing) << c.opensSkin << c.skin << c.database;
            EXPECT_EQ(n.texts(), std::vector<std::string>{"Some Folders are missing, Please re-install Corvanex"});
        }
    }
}

TEST_F(StartupTest, FullSequenceInOrder)
{
    makeFolders();
    store.names = {"Door", "../escape", "Yard"};
    Settings saved;
    saved.segmentMinutes = 12;
    saved.compressOptions.handler = 77;
    ASSERT_TRUE(saveSettings(saved, folder.path()));
    state.settings.compressOptions.bytesPerSecond = 1234;  // reset at start-up

    hooks.readStatusText = [&](const fs::path& package) -> std::optional<std::string> {
        steps.push_back("status:" + package.filename().string());
        return std::string("Welcome");
    };
    hooks.loadSchedule = [&] { steps.push_back("schedule"); };
    hooks.parseSkinDescription = [&] { steps.push_back("skin"); };
    hooks.loadBitmaps = [&] { steps.push_back("bitmaps"); };
    hooks.runFirstCameraDialog = [&] { steps.push_back("first"); };
    hooks.startScheduleTick = [&] { steps.push_back("tick"); };
    hooks.stopScheduleTick = [&] { steps.push_back("untick"); };
    hooks.runMainWindow = [&] {
        steps.push_back("main");
        EXPECT_TRUE(fs::is_directory(folder.path() / "video" / "Door"));
        EXPECT_TRUE(fs::is_directory(folder.path() / "video" / "Yard"));
        EXPECT_TRUE(fs::is_directory(folder.path() / "snapshots"));
        EXPECT_FALSE(fs::exists(folder.path() / "escape"));
        // Names and table of the one load are both in place, slot by slot.
        EXPECT_EQ(state.cameraCount(), 3);
        EXPECT_EQ(state.loadedRows.load(), 3);
        for (int slot = 0; slot < 3; ++slot) {
            EXPECT_EQ(state.cameraNameOf(slot), store.names[static_cast<size_t>(slot)]);
            const auto entry = state.cameraEntry(slot);
            ASSERT_TRUE(entry) << slot;
            EXPECT_EQ(entry->address, "10.0.0." + std::to_string(slot + 1) + ":80");
        }
    };

    EXPECT_EQ(run(), StartupResult::MainWindowClosed);
    EXPECT_EQ(steps, (std::vector<std::string>{"status:default.int", "schedule", "skin", "bitmaps", "tick", "main",
                                               "untick"}));
    EXPECT_EQ(state.statusTextCopy(), "Welcome");
    EXPECT_EQ(state.settings.segmentMinutes, 12);
    EXPECT_EQ(state.settings.compressOptions.handler, 77u);
    EXPECT_EQ(state.settings.compressOptions.bytesPerSecond, 0u);
    EXPECT_EQ(state.cameraTable.count, 0);  // the exit step empties the table
    EXPECT_EQ(state.programFolder, folder.path());
    // Only the video folder, its two safe camera folders and snapshots were made.
    int videoEntries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder.path() / "video")) ++videoEntries;
    EXPECT_EQ(videoEntries, 2);
}

TEST_F(StartupTest, FirstRunWithoutCamerasEndsQuietly)
{
    makeFolders();
    hooks.runFirstCameraDialog = [&] { steps.push_back("first"); };
    hooks.runMainWindow = [&] { steps.push_back("main"); };
    EXPECT_EQ(run(), StartupResult::NoCameras);
    EXPECT_EQ(steps, std::vector<std::string>{"first"});
    EXPECT_TRUE(notifier.texts().empty());
    EXPECT_FALSE(fs::exists(folder.path() / "video"));
}

TEST_F(StartupTest, FirstRunDialogAddsCameras)
{
    makeFolders();
    hooks.runFirstCameraDialog = [&] { store.names = {"New"}; };
    hooks.runMainWindow = [&] { steps.push_back("main"); };
    EXPECT_EQ(run(), StartupResult::MainWindowClosed);
    EXPECT_EQ(steps, std::vector<std::string>{"main"});
    EXPECT_TRUE(fs::is_directory(folder.path() / "snapshots"));
}

TEST(ProgramFolder, SafeFileNames)
{
    using namespace std::string_literals;
    const struct {
        std::string name;
        bool safe;
    } cases[] = {
        {"Front door", true},
        {"cam-1.b", true},
        {"x..y", true},  // dots inside a name lead nowhere
        {"..bmp", true},
        {"...", true},
        {" ", true},
        {"Kamera T\xc3\xbcr", true},  // UTF-8 bytes are not control characters
        {std::string(maxFileNameBytes, 'a'), true},
        {"", false},
        {".", false},
        {"..", false},
        {"/", false},
        {"a/b", false},
        {"../x", false},
        {"/etc", false},
        {"a\\b", false},
        {"..\\x", false},
        {"a\0b"s, false},
        {"\0"s, false},
        {"tab\tname", false},
        {"line\nfeed", false},
        {"carriage\rreturn", false},
        {"\x1b[31mred", false},
        {"del\x7f", false},
        {std::string(maxFileNameBytes + 1, 'a'), false},
    };
    for (const auto& c : cases) EXPECT_EQ(isSafeFileName(c.name), c.safe) << '"' << c.name << '"';
}

TEST_F(StartupTest, UnopenableSkinEndsWithMessageNamingTheFile)
{
    // Another package satisfies the folder check, but the one in use is gone.
    fs::create_directories(folder.path() / "Interface");
    touch(folder.path() / "Interface" / "other.int");
    touch(folder.path() / "Database" / "Corvanex.mdb");
    store.names = {"a"};
    fs::path asked;
    hooks.openSkinPackage = [&](const fs::path& package) {
        asked = package;
        return fs::exists(package);
    };
    hooks.parseSkinDescription = [&] { steps.push_back("skin"); };
    hooks.runMainWindow = [&] { steps.push_back("main"); };
    EXPECT_EQ(run(), StartupResult::SkinMissing);
    EXPECT_EQ(asked, folder.path() / "Interface" / "default.int");
    ASSERT_EQ(notifier.texts().size(), 1u);
    EXPECT_NE(notifier.texts()[0].find("Interface/default.int"), std::string::npos) << notifier.texts()[0];
    EXPECT_TRUE(steps.empty());

    // With the package present the sequence goes on.
    touch(folder.path() / "Interface" / "default.int");
    EXPECT_EQ(run(), StartupResult::MainWindowClosed);
    EXPECT_EQ(steps, (std::vector<std::string>{"skin", "main"}));
}
