#pragma once
// What happens to a frame once a worker has read it whole, on the worker's
// own thread: the frame rate is counted, a requested snapshot saved, and
// the picture recorded, decoded and drawn with the slot's own decoder. No
// lock is shared by all cameras here, so the frames of different cameras
// run on every core at once.

#include <array>

#include "AppState.h"
#include "FrameDecoder.h"
#include "FrameSink.h"
#include "StreamSteps.h"

namespace cx {

class AviRecorder;
class Clock;
class FrameDrawer;

class FrameHandoff final : public FrameSink {
public:
    FrameHandoff(AppState& state, FrameDrawer& drawer, AviRecorder& recorder, const Clock& clock);

    HandOffResult handOff(int slot, std::span<const uint8_t> frame) override;
    HandOffResult handOffPacket(int slot, const StreamPacket& packet) override;
    void paintBlack(int slot) override;
    void streamEnded(int slot) override;

    // Frames and packets decoded for panes so far, all slots together.
    int64_t decodeCount() const;

private:
    AppState& state_;
    FrameDrawer& drawer_;
    AviRecorder& recorder_;
    const Clock& clock_;
    std::array<FrameDecoder, maxCameras> decoders_;  // decoders_[i]: slot i's worker only
    StreamSteps streams_;
};

}  // namespace cx
