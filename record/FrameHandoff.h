#pragma once
// What happens to a frame once a worker has read it whole: under frameLock
// the frame rate is counted, a requested snapshot saved, and the picture
// decoded, recorded and drawn.

#include "FrameSink.h"
#include "FrameSteps.h"

namespace cx {

class AppState;
class Clock;

class FrameHandoff final : public FrameSink {
public:
    FrameHandoff(AppState& state, FrameServices services, const Clock& clock);

    void handOff(int slot, std::vector<uint8_t>&& frame) override;
    void paintBlack(int slot) override;
    bool paneReady(int slot) override;

private:
    AppState& state_;
    FrameServices services_;
    const Clock& clock_;
};

}  // namespace cx
