#pragma once
// The camera audio stream behind the "Sound" button: opened and read on
// the calling (UI) thread, its content discarded. Waits dispatch pending
// events, so the window stays responsive; a quit request ends the reading.

#include <functional>
#include <string>

#include "HttpImageClient.h"

namespace cx {

class AppState;

struct AudioTimeouts {
    long connectTimeoutMs = 5000;
    long connectBackoffMs = 1000;
    int connectRetries = 1;
    int readTimeoutMs = 10000;
};

class AudioReader {
public:
    explicit AudioReader(AppState& state, AudioTimeouts timeouts = {});

    // Reads the audio stream of `slot` until it breaks; nothing when the
    // slot has no camera.
    void StartAudio(int slot);
    // 401, another status, or 0 once the stream broke or ended.
    int ReadAudioStream(const std::string& host, int port, const std::string& path, int slot);

    // Asked between waits besides the event pump (tests end the reading with it).
    std::function<bool()> stopWhen;

private:
    AppState& state_;
    AudioTimeouts timeouts_;
};

}  // namespace cx
