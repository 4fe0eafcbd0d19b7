#pragma once
// A disk that hangs: once armed, every recording write of the engine waits
// until released, so a camera sits in its write holding its recording's
// lock. Released when this object goes, whatever the test did; the flags
// live as long as the engine's write hook, which outlives the test body.

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <sys/uio.h>

#include "Engine.h"

namespace cx::test {

class HungDisk {
public:
    explicit HungDisk(Engine& engine) : state_(std::make_shared<State>())
    {
        engine.setRecordingWriteFunction([state = state_](int fd, const iovec* pieces, int count, off_t offset) {
            if (state->armed.load()) {
                ++state->hungWrites;
                while (!state->released.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            return ::pwritev(fd, pieces, count, offset);
        });
    }
    ~HungDisk() { release(); }
    HungDisk(const HungDisk&) = delete;
    HungDisk& operator=(const HungDisk&) = delete;

    void arm() { state_->armed = true; }
    void release() { state_->released = true; }
    bool released() const { return state_->released.load(); }
    // Writes that have hung so far.
    int hungWrites() const { return state_->hungWrites.load(); }

private:
    struct State {
        std::atomic<bool> armed{false};
        std::atomic<bool> released{false};
        std::atomic<int> hungWrites{0};
    };
    std::shared_ptr<State> state_;
};

}  // namespace cx::test
