#pragma once
// One RTSP stream of a camera (its main or its sub stream), read with
// FFmpeg's RTSP demuxer. Every wait inside FFmpeg asks the interrupt
// callback, which ends it when the stop token turns true or when nothing
// has come for the silence time: no camera, whatever it does, holds a
// connection past a stop or past its silence. A host name is looked up
// before FFmpeg sees the URL (its own lookup blocks past any stop), under
// the same stop and silence.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "CameraAddress.h"
#include "Clock.h"
#include "HostResolver.h"

struct AVFormatContext;
struct AVPacket;

namespace cx {

enum class RtspOpen {
    Ok,
    Failed,        // refused, closed, silent, garbage, an unknown host name: try again later
    Unauthorized,  // the camera refused the login (401)
    NotFound,      // no stream at that path (404)
    NoVideo,       // the camera offers no H.264 or H.265 video there
    Stopped,       // the stop token ended it
};

class RtspInput {
public:
    // `resolver` looks host names up; it outlives the input.
    RtspInput(StopToken stop, std::chrono::milliseconds silence, HostResolver& resolver);
    ~RtspInput();
    RtspInput(const RtspInput&) = delete;
    RtspInput& operator=(const RtspInput&) = delete;

    // Connects to the camera at `target` (a host name is looked up first;
    // FFmpeg is given its address) with the login, if any, over TCP
    // interleaved or UDP, reads the stream descriptions and picks the video
    // stream.
    RtspOpen open(const HostPort& target, const std::string& login, const std::string& password,
                  const std::string& path, bool udp);
    // The next packet of the video stream or of an audio stream (others
    // are skipped); false at the end of the stream, a failure, silence or a
    // stop. `packet` is unreferenced first.
    bool read(AVPacket* packet);
    void close();

    const AVFormatContext& context() const { return *context_; }
    int videoStream() const { return video_; }
    bool isAudio(int streamIndex) const;
    // A number no other input of the process had: decoders and recordings
    // tell a reconnect by it.
    uint64_t connection() const { return connection_; }

private:
    static int interruptCallback(void* opaque);
    void extendDeadline();
    bool readOne(AVPacket* packet);


    StopToken stop_;
    const std::chrono::milliseconds silence_;
    HostResolver& resolver_;
    std::atomic<int64_t> deadlineNs_{0};  // steady clock; read by the callback
    AVFormatContext* context_ = nullptr;
    int video_ = -1;
    uint64_t connection_ = 0;
    // FFmpeg's RTP parser can leave a connection's first picture without a
    // time stamp: it is held until the next picture tells its time.
    AVPacket* held_ = nullptr;
    AVPacket* pending_ = nullptr;
    int64_t lastPts_;
    int64_t frameTicks_ = 1;  // one frame in the video stream's time base
};

}  // namespace cx
