#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "SettingsFile.h"
#include "SettingsSaver.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace std::chrono_literals;
using cx::test::TempFolder;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<uint8_t> readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file's worth of bytes that tells which save it came from.
std::vector<uint8_t> bytesOf(int value) { return std::vector<uint8_t>(settingsFileSize, static_cast<uint8_t>(value)); }

// A disk the test controls: writes may hang until released, or fail. It
// keeps what it was given and what the saver reported. Shared with the
// saver's thread, which outlives the saver when a write hangs.
struct FakeDisk {
    std::mutex lock;
    std::condition_variable changed;
    bool hang = false;
    bool fail = false;
    int started = 0;
    int ended = 0;
    std::vector<std::vector<uint8_t>> attempts;  // bytes of every write, in order
    std::vector<uint8_t> stored;                 // bytes of the last write that succeeded
    std::vector<bool> results;                   // what onResult was told

    bool write(std::span<const uint8_t> bytes)
    {
        std::unique_lock l(lock);
        ++started;
        changed.notify_all();
        changed.wait(l, [&] { return !hang; });
        attempts.emplace_back(bytes.begin(), bytes.end());
        const bool ok = !fail;
        if (ok) stored = attempts.back();
        ++ended;
        changed.notify_all();
        return ok;
    }
    void report(bool ok)
    {
        std::lock_guard l(lock);
        results.push_back(ok);
        changed.notify_all();
    }
    template <class F>
    void set(F change)
    {
        std::lock_guard l(lock);
        change();
        changed.notify_all();
    }
    // Waits at most `limit` until `done` holds (checked under the lock).
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
    {
        std::unique_lock l(lock);
        return changed.wait_for(l, limit, done);
    }
    template <class T, class F>
    T read(F get)
    {
        std::lock_guard l(lock);
        return get();
    }
};

SettingsSaverOptions optionsFor(const std::shared_ptr<FakeDisk>& disk)
{
    SettingsSaverOptions options;
    options.write = [disk](const fs::path&, std::span<const uint8_t> bytes) { return disk->write(bytes); };
    options.onResult = [disk](bool ok) { disk->report(ok); };
    return options;
}

double millisecondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

}  // namespace

// The real atomic write: a change reaches Configuration.cvx by itself
// within a second, a flush puts it there at once, and destroying the saver
// right after a change (inside the burst delay) still writes it.
TEST(SettingsSaver, WritesTheSettingsFile)
{
    TempFolder folder;
    const fs::path file = folder.path() / settingsFileName;
    Settings settings;
    {
        SettingsSaver saver(folder.path());
        settings.segmentMinutes = 17;
        settings.monitorEnabled[3] = 0;
        saver.save(settings);
        const auto t0 = Clock::now();
        while (readFile(file) != settingsBytes(settings) && Clock::now() - t0 < 2s) std::this_thread::sleep_for(5ms);
        EXPECT_EQ(readFile(file), settingsBytes(settings));
        EXPECT_LT(millisecondsSince(t0), 1000.0);

        settings.segmentMinutes = 18;
        saver.save(settings);
        EXPECT_TRUE(saver.flush(1s));
        EXPECT_EQ(readFile(file), settingsBytes(settings));
        EXPECT_TRUE(saver.flush(0ms));  // nothing new: on disk already

        settings.scheduleRecord[15] = 1;
        saver.save(settings);
    }
    EXPECT_EQ(readFile(file), settingsBytes(settings));
    Settings loaded;
    loadSettings(loaded, folder.path());
    EXPECT_EQ(loaded.scheduleRecord[15], 1);
    EXPECT_FALSE(fs::exists(folder.path() / (std::string(settingsFileName) + ".tmp")));
}

TEST(SettingsSaver, BurstOfChangesBecomesFewWritesOfTheLast)
{
    TempFolder folder;
    auto disk = std::make_shared<FakeDisk>();
    SettingsSaver saver(folder.path(), optionsFor(disk));
    // Spread as a run of toggles is, not faster than the thread wakes.
    for (int i = 0; i < 100; ++i) {
        saver.save(bytesOf(i));
        std::this_thread::sleep_for(500us);
    }
    const auto lastSave = Clock::now();
    EXPECT_TRUE(disk->waitFor([&] { return disk->stored == bytesOf(99); }, 1s));
    EXPECT_LT(millisecondsSince(lastSave), 1000.0);
    std::this_thread::sleep_for(400ms);  // room for writes that should not come
    const auto attempts = disk->read<std::vector<std::vector<uint8_t>>>([&] { return disk->attempts; });
    ASSERT_FALSE(attempts.empty());
    EXPECT_LE(attempts.size(), 10u);  // of 100 saves; a loaded machine may split the burst
    EXPECT_EQ(attempts.back(), bytesOf(99));
    EXPECT_EQ(disk->read<std::vector<bool>>([&] { return disk->results; }), std::vector<bool>(attempts.size(), true));
}

TEST(SettingsSaver, HungDiskHoldsNeitherSaveNorFlushBeyondItsTimeout)
{
    TempFolder folder;
    auto disk = std::make_shared<FakeDisk>();
    disk->hang = true;
    SettingsSaver saver(folder.path(), optionsFor(disk));
    saver.save(bytesOf(1));
    ASSERT_TRUE(disk->waitFor([&] { return disk->started == 1; }, 2s));  // the thread is stuck in the write

    auto t0 = Clock::now();
    for (int i = 2; i <= 10; ++i) saver.save(bytesOf(i));
    EXPECT_LT(millisecondsSince(t0), 100.0);

    t0 = Clock::now();
    EXPECT_FALSE(saver.flush(200ms));
    const double waited = millisecondsSince(t0);
    EXPECT_GE(waited, 195.0);
    EXPECT_LT(waited, 700.0);

    disk->set([&] { disk->hang = false; });
    EXPECT_TRUE(saver.flush(2s));
    EXPECT_EQ(disk->read<std::vector<uint8_t>>([&] { return disk->stored; }), bytesOf(10));
}

TEST(SettingsSaver, FailedWriteIsReportedAndTriedAgainAtTheNextFlushOrSave)
{
    TempFolder folder;
    auto disk = std::make_shared<FakeDisk>();
    disk->fail = true;
    SettingsSaver saver(folder.path(), optionsFor(disk));
    auto attempts = [&] { return disk->read<size_t>([&] { return disk->attempts.size(); }); };
    auto results = [&] { return disk->read<std::vector<bool>>([&] { return disk->results; }); };

    saver.save(bytesOf(1));
    ASSERT_TRUE(disk->waitFor([&] { return disk->results.size() == 1; }, 2s));
    EXPECT_EQ(results(), std::vector<bool>{false});
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(attempts(), 1u);  // not tried again by itself: a failing disk keeps no thread busy

    // A flush tries again and says at once that it failed.
    auto t0 = Clock::now();
    EXPECT_FALSE(saver.flush(2s));
    EXPECT_LT(millisecondsSince(t0), 1000.0);
    EXPECT_EQ(attempts(), 2u);

    disk->set([&] { disk->fail = false; });
    EXPECT_TRUE(saver.flush(2s));
    EXPECT_EQ(disk->read<std::vector<uint8_t>>([&] { return disk->stored; }), bytesOf(1));
    ASSERT_TRUE(disk->waitFor([&] { return disk->results.size() == 3; }, 2s));
    EXPECT_EQ(results(), (std::vector<bool>{false, false, true}));

    // The next change is written when the disk works again.
    disk->set([&] { disk->fail = true; });
    saver.save(bytesOf(2));
    ASSERT_TRUE(disk->waitFor([&] { return disk->results.size() == 4; }, 2s));
    disk->set([&] { disk->fail = false; });
    saver.save(bytesOf(3));
    EXPECT_TRUE(disk->waitFor([&] { return disk->stored == bytesOf(3) && disk->results.size() == 5; }, 2s));
    EXPECT_EQ(results(), (std::vector<bool>{false, false, true, false, true}));
}

// A write stuck for good must not stop the program from ending: the
// destructor waits its timeout, then leaves the write to its thread, which
// tells nobody when it ends at last.
TEST(SettingsSaver, DestructorGivesUpOnAHungWrite)
{
    TempFolder folder;
    auto disk = std::make_shared<FakeDisk>();
    disk->hang = true;
    SettingsSaverOptions options = optionsFor(disk);
    options.shutdownTimeout = 300ms;
    auto saver = std::make_unique<SettingsSaver>(folder.path(), options);
    saver->save(bytesOf(1));
    ASSERT_TRUE(disk->waitFor([&] { return disk->started == 1; }, 2s));
    saver->save(bytesOf(2));

    const auto t0 = Clock::now();
    saver.reset();
    const double took = millisecondsSince(t0);
    EXPECT_GE(took, 295.0);
    EXPECT_LT(took, 1000.0);

    disk->set([&] { disk->hang = false; });
    ASSERT_TRUE(disk->waitFor([&] { return disk->ended == 1; }, 2s));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(disk->read<std::vector<bool>>([&] { return disk->results; }).empty());
    EXPECT_EQ(disk->read<int>([&] { return disk->started; }), 1);  // the newer bytes were not written after all
}

// Saves from several threads while flushes run: every write holds one
// whole save, and after the last save and a flush the disk has it.
TEST(SettingsSaver, SavesFromSeveralThreads)
{
    TempFolder folder;
    auto disk = std::make_shared<FakeDisk>();
    SettingsSaverOptions options = optionsFor(disk);
    options.coalesce = 1ms;
    SettingsSaver saver(folder.path(), options);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&saver, t] {
            for (int i = 0; i < 200; ++i) saver.save(bytesOf(t * 50 + i % 50));
        });
    for (int i = 0; i < 20; ++i) saver.flush(5ms);
    for (auto& t : threads) t.join();
    saver.save(bytesOf(255));
    EXPECT_TRUE(saver.flush(2s));
    EXPECT_EQ(disk->read<std::vector<uint8_t>>([&] { return disk->stored; }), bytesOf(255));
    for (const auto& written : disk->read<std::vector<std::vector<uint8_t>>>([&] { return disk->attempts; })) {
        ASSERT_EQ(written.size(), settingsFileSize);
        EXPECT_TRUE(std::all_of(written.begin(), written.end(), [&](uint8_t b) { return b == written[0]; }));
    }
}
