#include "AudioSession.h"

namespace cx {

AudioSession::AudioSession(std::mutex& audioLock, HttpTimeouts timeouts) : audioLock_(audioLock), timeouts_(timeouts)
{
}

AudioSession::~AudioSession()
{
    stop();
    if (thread_.joinable()) thread_.join();
}

bool AudioSession::start(const CameraEntry& camera, std::function<bool()> stopWhen)
{
    if (running_.load()) return false;
    // The last reading has ended: only its return is left to wait for.
    if (thread_.joinable()) thread_.join();
    stop_ = false;
    running_ = true;
    thread_ = std::thread([this, camera, stopWhen = std::move(stopWhen)] { run(camera, stopWhen); });
    return true;
}

void AudioSession::stop()
{
    stop_ = true;
}

bool AudioSession::waitUntil(std::chrono::steady_clock::time_point deadline)
{
    {
        std::unique_lock lock(endLock_);
        if (!ended_.wait_until(lock, deadline, [this] { return !running_.load(); })) return false;
    }
    if (thread_.joinable()) thread_.join();
    return true;
}

void AudioSession::run(const CameraEntry& camera, const std::function<bool()>& stopWhen)
{
    {
        AudioReader reader(audioLock_, timeouts_);
        reader.stopWhen = [this, &stopWhen] { return stop_.load() || (stopWhen && stopWhen()); };
        reader.StartAudio(camera);  // the result is not used
    }
    std::lock_guard lock(endLock_);
    running_ = false;
    ended_.notify_all();
}

}  // namespace cx
