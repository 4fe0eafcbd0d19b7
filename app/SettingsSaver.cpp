#include "SettingsSaver.h"

#include <condition_variable>
#include <mutex>
#include <utility>

#include "AtomicFile.h"
#include "SettingsFile.h"

namespace cx {

struct SettingsSaver::Shared {
    std::filesystem::path target;
    SettingsSaverOptions options;

    std::mutex lock;
    std::condition_variable wake;  // to the thread: bytes, a flush, the end
    std::condition_variable done;  // from the thread: a write or a report ended

    // Everything below is guarded by `lock`.
    std::vector<uint8_t> pending;
    bool hasPending = false;
    bool held = false;       // pending after a failed write: waits for a save or a flush
    bool urgent = false;     // a flush waits: no burst delay
    bool stopping = false;
    bool abandoned = false;  // the saver is gone: the thread reports nothing more
    bool writing = false;    // in the write function, without the lock
    bool reporting = false;  // in onResult, without the lock
    uint64_t changes = 0;    // saves so far; the number of the newest bytes
    uint64_t written = 0;    // number of the newest bytes known to be on disk
    uint64_t attempts = 0;   // writes ended so far
    uint64_t attempted = 0;  // number of the bytes the last ended write held
    bool lastOk = true;
};

SettingsSaver::SettingsSaver(std::filesystem::path programFolder, SettingsSaverOptions options)
    : shutdownTimeout_(options.shutdownTimeout), shared_(std::make_shared<Shared>())
{
    shared_->target = std::move(programFolder) / settingsFileName;
    if (!options.write) options.write = writeFileAtomically;
    shared_->options = std::move(options);
    thread_ = std::thread(run, shared_);
}

SettingsSaver::~SettingsSaver()
{
    flush(shutdownTimeout_);
    Shared& s = *shared_;
    std::unique_lock lock(s.lock);
    s.stopping = true;
    s.wake.notify_all();
    // A report is short and may touch our owner: let it end.
    s.done.wait(lock, [&] { return !s.reporting; });
    if (s.writing) {
        // Stuck on the disk past the timeout. Joining could wait for ever;
        // the thread keeps the shared state alive and ends when the write
        // returns, without a report to an owner that may be gone.
        s.abandoned = true;
        lock.unlock();
        thread_.detach();
        return;
    }
    lock.unlock();
    thread_.join();
}

void SettingsSaver::save(std::vector<uint8_t> bytes)
{
    Shared& s = *shared_;
    std::lock_guard lock(s.lock);
    s.pending = std::move(bytes);
    s.hasPending = true;
    s.held = false;
    ++s.changes;
    s.wake.notify_all();
}

void SettingsSaver::save(const Settings& settings)
{
    save(settingsBytes(settings));
}

bool SettingsSaver::flush(std::chrono::milliseconds timeout)
{
    Shared& s = *shared_;
    std::unique_lock lock(s.lock);
    const uint64_t target = s.changes;
    if (s.written >= target) return true;
    const uint64_t attemptsBefore = s.attempts;
    s.held = false;
    s.urgent = true;
    s.wake.notify_all();
    s.done.wait_for(lock, timeout, [&] {
        const bool failedNow = s.attempts > attemptsBefore && !s.lastOk && s.attempted >= target;
        return s.written >= target || failedNow;
    });
    return s.written >= target;
}

void SettingsSaver::run(std::shared_ptr<Shared> shared)
{
    Shared& s = *shared;
    std::unique_lock lock(s.lock);
    for (;;) {
        s.wake.wait(lock, [&] { return s.stopping || (s.hasPending && !s.held); });
        if (s.stopping) return;
        // The rest of a burst (a run of toggles) arrives meanwhile and is
        // written with it.
        if (!s.urgent) s.wake.wait_for(lock, s.options.coalesce, [&] { return s.urgent || s.stopping; });
        if (s.stopping) return;
        std::vector<uint8_t> bytes = std::move(s.pending);
        s.pending.clear();
        s.hasPending = false;
        s.urgent = false;
        const uint64_t number = s.changes;
        s.writing = true;
        lock.unlock();
        const bool ok = s.options.write(s.target, bytes);
        lock.lock();
        s.writing = false;
        if (s.abandoned) return;
        ++s.attempts;
        s.attempted = number;
        s.lastOk = ok;
        if (ok) {
            s.written = number;
        } else if (!s.hasPending) {
            // Kept for the next save or flush, not tried again at once: a
            // failing disk must not keep this thread busy.
            s.pending = std::move(bytes);
            s.hasPending = true;
            s.held = true;
        }
        s.done.notify_all();
        if (s.options.onResult) {
            s.reporting = true;
            lock.unlock();
            s.options.onResult(ok);
            lock.lock();
            s.reporting = false;
            s.done.notify_all();
        }
    }
}

}  // namespace cx
