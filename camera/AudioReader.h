#pragma once
// The camera audio stream behind the "Sound" button, read on the calling
// thread (AudioSession's) and its content discarded. The reader works on a
// copy of the camera's entry and never looks at the camera table; its waits
// are sliced, and stopWhen is asked between the slices.

#include <functional>
#include <mutex>
#include <string>

#include "CameraTable.h"
#include "HttpImageClient.h"

namespace cx {

// The audio request waits longer for its connection than the picture requests.
inline HttpTimeouts audioTimeouts()
{
    HttpTimeouts t;
    t.connectTimeoutMs = 5000;
    return t;
}

class AudioReader {
public:
    // `audioLock` is held around each read pass.
    explicit AudioReader(std::mutex& audioLock, HttpTimeouts timeouts = audioTimeouts());

    // Reads the audio stream of `camera` (its address split, its model's
    // audio path) until it breaks or stopWhen holds; ReadAudioStream's result.
    int StartAudio(const CameraEntry& camera);
    // 401, another status, or 0 once the stream broke, ended or was stopped.
    int ReadAudioStream(const CameraEntry& camera, const std::string& host, int port, const std::string& path);

    // Asked between the slices of every wait; true ends the reading.
    std::function<bool()> stopWhen;

private:
    std::mutex& audioLock_;
    HttpTimeouts timeouts_;
};

}  // namespace cx
