#pragma once
// The HTTP side of a camera worker: one request per call; a snapshot
// camera yields one frame per call, a stream camera frames until the
// stream has to end.

#include <functional>
#include <string>

#include "CameraModels.h"
#include "CameraTable.h"
#include "HttpStream.h"
#include "MjpegStreamReader.h"

namespace cx {

class AppState;
class FrameSink;

inline constexpr const char* acceptLine =
    "Accept: audio/x-aiff, audio/basic, audio/midi, audio/mpeg, audio/wav, image/jpeg, image/jpg, image/bmp";
inline constexpr const char* userAgentLine = "User-Agent: Corvanex/1.4";

struct HttpTimeouts {
    long connectTimeoutMs = 3000;
    long connectBackoffMs = 1000;
    int connectRetries = 1;
    int readTimeoutMs = 10000;  // a camera silent this long is dropped
};

// Why a call ended.
enum class LoadEnd {
    Done,        // a snapshot frame was handled, or a status without frames was received
    Stopped,     // the slot's controller ended the connection
    Ended,       // the camera ended the stream
    Failed,      // connection or transfer failure
    NoDecoder,   // the picture decoder could not be set up
};

struct LoadResult {
    int status = 0;  // HTTP status of the last response, 0 after a failure
    int frames = 0;    // frames handed off
    int pictures = 0;  // of them, those that are JPEG pictures: only these show the camera works
    LoadEnd end = LoadEnd::Failed;
};

// The request a camera is asked with: its path, the fixed header lines,
// the slot's credentials and the given time-outs.
HttpRequest CameraRequest(const CameraEntry& camera, const std::string& host, int port, const std::string& path,
                          const HttpTimeouts& timeouts);

// A redirect target split into its parts; nothing when it cannot be split.
struct UrlParts {
    std::string host;
    int port = 80;
    std::string path;
};
bool SplitUrl(const std::string& url, UrlParts& parts);

// The text after "Location:" in a response head, cut at its line end.
bool FindLocation(const std::string& headers, std::string& location);

// One per worker connection setup: it keeps the transfer and the frame
// buffers between calls, so a camera's frames reuse them.
class HttpImageClient {
public:
    // `stopRequested` ends every wait of a call early (the slot's
    // controller); null never does.
    HttpImageClient(AppState& state, FrameSink& sink, HttpTimeouts timeouts = {},
                    std::function<bool()> stopRequested = {});

    // `request` is built once per connection setup (CameraRequest), not per frame.
    LoadResult LoadPictureData(const HttpRequest& request, int slot, CameraType code);
    // The same with the slot's camera entry and this client's time-outs.
    LoadResult LoadPictureData(const std::string& host, int port, const std::string& path, int slot, CameraType code);

    // Called after each frame of a stream has been handed on (the worker
    // marks the camera live while the stream runs).
    std::function<void(int slot)> frameArrived;

private:
    bool cancelled() const;
    LoadResult load(const HttpRequest& request, int slot, CameraType code);
    LoadResult readSnapshot(int slot, CameraType code, LoadResult result);

    AppState& state_;
    FrameSink& sink_;
    HttpTimeouts timeouts_;
    std::function<bool()> stopRequested_;
    HttpStream stream_;
    StreamBuffers buffers_;  // stream frames and lines
    std::vector<uint8_t> snapshotBuffer_;
};

}  // namespace cx
