#pragma once
// What one simulated RTSP camera serves and how it misbehaves.

#include <algorithm>
#include <filesystem>
#include <string>

#include "SimulatedCamera.h"

namespace cx::sim {

enum class VideoCodec { H264, H265 };

enum class RtspFault {
    None,
    NeverAnswer,      // accept the connection, never send a byte
    StallAfterSetup,  // answer OPTIONS, DESCRIBE and SETUP; PLAY is never answered
    Drop,             // end the stream after faultAfter frames, the connection a second later (every connection)
    Garbage,          // random bytes instead of answers
};

struct RtspCameraConfig {
    int port = 0;                 // 0: any free port
    VideoCodec codec = VideoCodec::H264;
    int width = 1280;             // main stream
    int height = 720;
    double fps = 15;
    int gop = 0;                  // frames from one key frame to the next; 0: two seconds' worth
    int bitrateKbps = 0;          // 0: the encoder's constant-quality default
    std::string path = "/main";   // main stream mount
    int subWidth = 0;             // a sub stream of this size when not 0
    int subHeight = 0;
    std::string subPath = "/sub";
    int scene = 0;                // 1 and up: the drawn street scene, this variant
    std::filesystem::path photos; // JPEG files shown instead, one per key frame interval
    Auth auth = Auth::None;
    std::string user;
    std::string password;
    bool audio = false;           // a tone (PCMU, 8 kHz) beside the main stream's video
    RtspFault fault = RtspFault::None;
    int faultAfter = 0;           // Drop: frames sent before the stream ends
    bool prerecorded = false;     // encode one key frame interval at start and loop it

    int keyInterval() const { return gop > 0 ? gop : std::max(1, static_cast<int>(fps * 2 + 0.5)); }
};

}  // namespace cx::sim
