#pragma once
// Opening and closing recordings off the engine's thread: each slot has a
// queue of its own, run in order on a thread of its own (made at the
// slot's first job), because an open or close waits for the slot's
// recording lock, which the slot's camera holds while it writes. A hung
// disk then holds that slot's jobs only, never the window.

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "CameraTable.h"

namespace cx {

class RecordingJobs {
public:
    RecordingJobs() = default;
    ~RecordingJobs();  // runs what is queued, then joins
    RecordingJobs(const RecordingJobs&) = delete;
    RecordingJobs& operator=(const RecordingJobs&) = delete;

    // Queues `job` for `slot`; never waits.
    void post(int slot, std::function<void()> job);
    // Waits until every queue has run dry, at most until `deadline`; false
    // when a job still runs (a hung disk).
    bool drain(std::chrono::steady_clock::time_point deadline);

private:
    struct Queue {
        std::mutex lock;  // a leaf; guards jobs, busy and quit
        std::condition_variable wake;
        std::deque<std::function<void()>> jobs;
        bool busy = false;
        bool quit = false;
        std::thread thread;
    };
    void run(Queue& q);

    std::array<Queue, maxCameras> queues_;
};

}  // namespace cx
