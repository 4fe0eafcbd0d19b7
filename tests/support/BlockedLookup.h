#pragma once
// A host name lookup that hangs like one whose name server never answers,
// until the test lets it go (at the latest when the gate is destroyed, so
// no lookup thread outlives the test waiting).

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "HostResolver.h"

namespace cx::test {

class LookupGate {
public:
    ~LookupGate() { release(); }
    void release()
    {
        std::lock_guard lock(state_->mutex);
        state_->open = true;
        state_->opened.notify_all();
    }
    int calls() const { return state_->calls.load(); }
    // Answers `address` once released.
    HostResolver::Lookup lookup(std::string address) const
    {
        return [state = state_, address](const std::string&) {
            ++state->calls;
            std::unique_lock lock(state->mutex);
            state->opened.wait(lock, [&] { return state->open; });
            return address;
        };
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
        std::atomic<int> calls{0};
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace cx::test
