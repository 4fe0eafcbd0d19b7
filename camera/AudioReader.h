#pragma once
// The camera audio stream behind the "Sound" button: opened and read on
// the calling (UI) thread, its content discarded. Waits dispatch pending
// events, so the window stays responsive; a quit request ends the reading.

#include <functional>
#include <string>

#include "HttpImageClient.h"

namespace cx {

class AppState;

// The audio request waits longer for its connection than the picture requests.
inline HttpTimeouts audioTimeouts()
{
    HttpTimeouts t;
    t.connectTimeoutMs = 5000;
    return t;
}

class AudioReader {
public:
    explicit AudioReader(AppState& state, HttpTimeouts timeouts = audioTimeouts());

    // Reads the audio stream of `slot` until it breaks; nothing when the
    // slot has no camera.
    void StartAudio(int slot);
    // 401, another status, or 0 once the stream broke or ended.
    int ReadAudioStream(const std::string& host, int port, const std::string& path, int slot);

    // Asked between waits besides the event pump (tests end the reading with it).
    std::function<bool()> stopWhen;

private:
    AppState& state_;
    HttpTimeouts timeouts_;
    bool reading_ = false;  // UI thread
};

}  // namespace cx
