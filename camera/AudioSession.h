#pragma once
// One camera's audio stream read on a thread of its own (the "Sound"
// button), so no window waits on the network. One reading at a time; a
// stop is seen within one wait slice of the reader.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "AudioReader.h"

namespace cx {

class AudioSession {
public:
    // `audioLock` is held by the reading around each read pass; it must
    // outlive the session.
    explicit AudioSession(std::mutex& audioLock, HttpTimeouts timeouts = audioTimeouts());
    // Stops the reading and waits for its thread.
    ~AudioSession();
    AudioSession(const AudioSession&) = delete;
    AudioSession& operator=(const AudioSession&) = delete;

    // Reads `camera`'s audio stream (the entry is copied) until it breaks,
    // stop() is called or `stopWhen` holds (asked on the reading's thread
    // between its waits). False, and nothing started, while a reading runs.
    bool start(const CameraEntry& camera, std::function<bool()> stopWhen = {});
    // Asks the reading to end; returns at once.
    void stop();
    bool running() const { return running_.load(); }
    // Waits until the reading has ended, at most until `deadline`; true
    // when it has (its thread is then joined).
    bool waitUntil(std::chrono::steady_clock::time_point deadline);

private:
    void run(const CameraEntry& camera, const std::function<bool()>& stopWhen);

    std::mutex& audioLock_;
    const HttpTimeouts timeouts_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> running_{false};
    std::mutex endLock_;  // a leaf; with ended_ tells a waiter the reading is over
    std::condition_variable ended_;
    std::thread thread_;  // owner's thread
};

}  // namespace cx
