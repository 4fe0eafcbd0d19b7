#include "AudioReader.h"

#include "CameraAddress.h"
#include "HttpStream.h"
#include "RequestPaths.h"

namespace cx {

AudioReader::AudioReader(std::mutex& audioLock, HttpTimeouts timeouts) : audioLock_(audioLock), timeouts_(timeouts) {}

int AudioReader::StartAudio(const CameraEntry& camera)
{
    const HostPort target = SplitHttpAddress(camera.address);
    return ReadAudioStream(camera, target.host, target.port, LookupAudioPath(camera.type));
}

int AudioReader::ReadAudioStream(const CameraEntry& camera, const std::string& host, int port, const std::string& path)
{
    const HttpRequest request = CameraRequest(camera, host, port, path, timeouts_);
    HttpStream stream([this] { return stopWhen && stopWhen(); });
    const int status = stream.open(request);
    if (status != 200) return status;

    std::string line;
    for (;;) {
        if (stream.waitForData() != ReadResult::Ok) return 0;
        std::lock_guard lock(audioLock_);
        for (int k = 0; k < 4; ++k)
            if (stream.readLine(line) != ReadResult::Ok) return 0;
    }
}

}  // namespace cx
