#pragma once
// H.264 or H.265 encoding of a simulated camera's pictures (FFmpeg's
// libx264 / libx265, the fastest preset, no B-frames, no delay): one access
// unit out for every picture in, in Annex B byte stream form, the
// parameter sets repeated before every key frame so a stream can be joined
// or looped at any key frame.

#include <cstdint>
#include <string>
#include <vector>

#include "SimulatedRtspCamera.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace cx::sim {

// An I420 picture (8-bit luma, chroma halved both ways) to draw into.
struct PicturePlanes {
    uint8_t* data[3] = {nullptr, nullptr, nullptr};
    int stride[3] = {0, 0, 0};
};

class StreamEncoder {
public:
    // `keyInterval`: frames from one key frame to the next (no others);
    // `bitrateKbps` 0: constant quality (the encoder's default).
    StreamEncoder(VideoCodec codec, int width, int height, double fps, int keyInterval, int bitrateKbps = 0);
    ~StreamEncoder();
    StreamEncoder(const StreamEncoder&) = delete;
    StreamEncoder& operator=(const StreamEncoder&) = delete;

    bool ok() const { return context_ != nullptr; }
    const std::string& error() const { return error_; }

    // The picture the next encode() takes; draw the frame into it first.
    PicturePlanes picture();
    // Encodes the picture; its access unit into `unit` (storage reused).
    bool encode(std::vector<uint8_t>& unit, bool& key);

private:
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int64_t next_ = 0;
    std::string error_;
};

}  // namespace cx::sim
