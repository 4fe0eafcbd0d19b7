#pragma once
// The steps of one packet of an RTSP camera, as the camera's threads run
// them: a main stream packet is counted, recorded as it came when the slot
// records, and turned into the snapshot asked for at its next key frame;
// the video of the stream the pane shows is decoded and drawn when someone
// sees the pane. The pane shows the sub stream, or the main stream when
// the camera has no sub stream delivering or its view is magnified; after
// a switch the stream shown before stays until the new one has a picture.

#include <array>
#include <atomic>
#include <mutex>

#include "AppState.h"
#include "FrameSink.h"
#include "VideoDecoder.h"

namespace cx {

class AviRecorder;
class Clock;
class FrameDrawer;

class StreamSteps {
public:
    StreamSteps(AppState& state, FrameDrawer& drawer, AviRecorder& recorder, const Clock& clock);

    HandOffResult run(int slot, const StreamPacket& packet);

    // Packets decoded for panes so far, all slots together.
    int64_t decodeCount() const;

private:
    struct Slot {
        std::mutex lock;  // the main and the sub stream's threads take turns at the decoders and the pane
        VideoDecoder main;
        VideoDecoder sub;
        std::atomic<float> frameRate{0};
    };
    void show(int slot, Slot& s, const StreamPacket& packet);

    AppState& state_;
    FrameDrawer& drawer_;
    AviRecorder& recorder_;
    const Clock& clock_;
    std::array<Slot, maxCameras> slots_;
};

}  // namespace cx
