#include "RecordingJobs.h"

#include <thread>

namespace cx {

RecordingJobs::~RecordingJobs()
{
    for (Queue& q : queues_) {
        {
            std::lock_guard lock(q.lock);
            q.quit = true;
        }
        q.wake.notify_all();
        if (q.thread.joinable()) q.thread.join();
    }
}

void RecordingJobs::post(int slot, std::function<void()> job)
{
    if (slot < 0 || slot >= maxCameras) return;
    Queue& q = queues_[static_cast<size_t>(slot)];
    {
        std::lock_guard lock(q.lock);
        q.jobs.push_back(std::move(job));
        if (!q.thread.joinable()) q.thread = std::thread([this, &q] { run(q); });
    }
    q.wake.notify_all();
}

bool RecordingJobs::drain(std::chrono::steady_clock::time_point deadline)
{
    for (Queue& q : queues_) {
        std::unique_lock lock(q.lock);
        if (!q.wake.wait_until(lock, deadline, [&q] { return q.jobs.empty() && !q.busy; })) return false;
    }
    return true;
}

void RecordingJobs::run(Queue& q)
{
    std::unique_lock lock(q.lock);
    for (;;) {
        q.wake.wait(lock, [&q] { return q.quit || !q.jobs.empty(); });
        if (q.jobs.empty()) return;  // quit, and nothing left to run
        std::function<void()> job = std::move(q.jobs.front());
        q.jobs.pop_front();
        q.busy = true;
        lock.unlock();
        job();
        lock.lock();
        q.busy = false;
        q.wake.notify_all();
    }
}

}  // namespace cx
