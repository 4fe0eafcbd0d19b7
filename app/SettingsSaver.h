#pragma once
// Writes Configuration.cvx on a thread of its own. A toggle in the window
// must not wait for a temporary file, an fsync and a rename: the caller
// hands over the bytes and goes on; a burst of changes becomes one write,
// done within a second of the first change.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "Settings.h"

namespace cx {

struct SettingsSaverOptions {
    // Writes `bytes` as the file `target`; false when it failed. Empty: the
    // atomic write every kept file uses (writeFileAtomically).
    std::function<bool(const std::filesystem::path& target, std::span<const uint8_t> bytes)> write;
    // Told the result of every write, on the saver's thread. It must not
    // call flush or destroy the saver.
    std::function<void(bool ok)> onResult;
    // How long a first change waits for the rest of its burst.
    std::chrono::milliseconds coalesce{200};
    // How long the destructor waits for the pending write.
    std::chrono::milliseconds shutdownTimeout{2000};
};

class SettingsSaver {
public:
    explicit SettingsSaver(std::filesystem::path programFolder, SettingsSaverOptions options = {});
    // Flushes with the shutdown timeout. A write still stuck after it is
    // left to its thread, which is detached and reports nothing more.
    ~SettingsSaver();
    SettingsSaver(const SettingsSaver&) = delete;
    SettingsSaver& operator=(const SettingsSaver&) = delete;

    // Never waits for the disk: the bytes replace any not yet written. A
    // failed write is tried again at the next save or flush.
    void save(std::vector<uint8_t> bytes);
    // The settings' bytes, taken on the calling thread.
    void save(const Settings& settings);
    // Writes what is pending now, without the burst delay. True once the
    // latest saved bytes are on disk; false when the write failed or did not
    // end within `timeout`.
    bool flush(std::chrono::milliseconds timeout);

private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared);

    std::chrono::milliseconds shutdownTimeout_;
    // Shared with the thread, which may outlive the saver when a write hangs.
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace cx
