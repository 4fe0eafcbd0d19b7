#include "AudioReader.h"

#include "AppState.h"
#include "CameraAddress.h"
#include "HttpStream.h"
#include "MessagePump.h"
#include "RequestPaths.h"

namespace cx {

AudioReader::AudioReader(AppState& state, HttpTimeouts timeouts) : state_(state), timeouts_(timeouts) {}

void AudioReader::StartAudio(int slot)
{
    if (reading_) return;  // already reading, further down this thread's stack
    if (slot >= state_.loadedRows) return;
    const std::optional<CameraEntry> camera = state_.cameraEntry(slot);
    if (!camera) return;
    const HostPort target = SplitHttpAddress(camera->address);
    ReadAudioStream(target.host, target.port, LookupAudioPath(camera->type), slot);
}

int AudioReader::ReadAudioStream(const std::string& host, int port, const std::string& path, int slot)
{
    const std::optional<CameraEntry> camera = state_.cameraEntry(slot);
    if (!camera) return 0;
    const HttpRequest request = CameraRequest(*camera, host, port, path, timeouts_);
    // Waiting for data dispatches events; reading the lines under audioLock
    // does not, so a second "Sound" click cannot come in while it is held.
    bool holdingLock = false;
    bool quit = false;
    HttpStream stream([&] {
        if (!holdingLock && PumpPendingMessages() == 0) quit = true;
        return quit || (stopWhen && stopWhen());
    });
    reading_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{reading_};
    const int status = stream.open(request);
    if (status != 200) return status;

    std::string line;
    for (;;) {
        if (stream.waitForData() != ReadResult::Ok) return 0;
        {
            std::lock_guard lock(state_.audioLock);
            holdingLock = true;
            for (int k = 0; k < 4; ++k) {
                if (stream.readLine(line) != ReadResult::Ok) {
                    holdingLock = false;
                    return 0;
                }
            }
            holdingLock = false;
        }
        if (PumpPendingMessages() == 0) return 0;
    }
}

}  // namespace cx
