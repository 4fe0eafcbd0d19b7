#pragma once
// Decodes one H.264 or H.265 stream of a camera into a picture of the
// size its pane draws, reusing the decoder, the frame and the pixels from
// packet to packet. A packet that is not decoded (nobody looks, or the pane
// shows the other stream) breaks the chain of pictures: decoding then
// starts again at the next key frame.

#include <atomic>
#include <cstdint>

#include <QSize>

#include "DecodedPicture.h"

struct AVCodecContext;
struct AVCodecParameters;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace cx {

class VideoDecoder {
public:
    VideoDecoder();
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // Decodes `packet`, of a stream described by `parameters`; a new
    // `connection` or stream index sets the decoder up afresh. True when a picture came
    // out: it is in currentPicture(), scaled to `drawSize` (full size when
    // empty). Packets before the first key frame are skipped.
    bool decode(const AVCodecParameters& parameters, uint64_t connection, const AVPacket& packet, QSize drawSize);
    // A packet went by undecoded: wait for the next key frame.
    void skip();
    // Any thread: the picture no longer follows the stream (a packet went by
    // elsewhere); the decoding thread calls skip() before its next packet.
    void markStale() { ready_ = false; }
    // A picture came out since the last skip; any thread may ask.
    bool ready() const { return ready_.load(); }

    const DecodedPicture& currentPicture() const { return picture_; }
    // Packets decoded so far; any thread may read it.
    int64_t decodeCount() const { return decodes_.load(); }

private:
    bool setUp(const AVCodecParameters& parameters, int stream);
    void release();

    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwsContext* scaler_ = nullptr;
    uint64_t connection_ = 0;
    int stream_ = -1;
    bool waitingForKey_ = true;
    std::atomic<bool> ready_{false};
    DecodedPicture picture_;
    std::atomic<int64_t> decodes_{0};
};

}  // namespace cx
