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
    if (!validSlot(slot) || slot >= state_.loadedRows || slot >= state_.cameraTable.count) return;
    const auto i = static_cast<size_t>(slot);
    const HostPort target = SplitHttpAddress(state_.cameraTable.address[i]);
    ReadAudioStream(target.host, target.port, LookupAudioPath(state_.cameraTable.type[i]), slot);
}

int AudioReader::ReadAudioStream(const std::string& host, int port, const std::string& path, int slot)
{
    if (!validSlot(slot) || slot >= state_.cameraTable.count) return 0;
    const HttpRequest request = CameraRequest(state_, slot, host, port, path, timeouts_);
    HttpStream stream([this] { return PumpPendingMessages() == 0 || (stopWhen && stopWhen()); });
    const int status = stream.open(request);
    if (status != 200) return status;

    std::string line;
    for (;;) {
        {
            std::lock_guard lock(state_.audioLock);
            for (int k = 0; k < 4; ++k)
                if (stream.readLine(line) != ReadResult::Ok) return 0;
        }
        if (PumpPendingMessages() == 0) return 0;
    }
}

}  // namespace cx
