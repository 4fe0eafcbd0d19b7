#pragma once
// A snapshot of an RTSP camera: one key frame of its main stream, decoded
// on its own and saved as a JPEG.

#include <cstdint>
#include <vector>

struct AVFormatContext;
struct AVPacket;

namespace cx {

// The JPEG (quality 90) of key frame `packet` of `input`; empty when the
// packet is no key frame or does not decode.
std::vector<uint8_t> keyFrameJpeg(const AVFormatContext& input, const AVPacket& packet);

}  // namespace cx
