#pragma once
// Serves simulated RTSP cameras on 127.0.0.1 with GStreamer's RTSP server:
// H.264 or H.265 video (main stream, optional sub stream), an optional
// tone, basic or digest authentication, and faults (a TCP front for those
// the server cannot make, RtspFaultProxy).
//
// Every connection gets a stream of its own that starts with a key frame
// and frame number 0 (drawn into each picture, FrameCode.h). Pictures are
// encoded as they are sent, or, prerecorded, one key frame interval is
// encoded at start and looped with running time stamps: its frame numbers
// then go 0 ... interval-1 over and over. Cameras with equal pictures share
// one prerecorded loop.

#include <memory>
#include <string>

#include "SimulatedRtspCamera.h"

namespace cx::sim {

class RtspSimulator {
public:
    RtspSimulator();
    ~RtspSimulator();
    RtspSimulator(const RtspSimulator&) = delete;
    RtspSimulator& operator=(const RtspSimulator&) = delete;

    // Starts serving one camera; its port, or 0 with the reason in `error`.
    int add(const RtspCameraConfig& config, std::string& error);
    // Closes every connection and stops every camera.
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace cx::sim
