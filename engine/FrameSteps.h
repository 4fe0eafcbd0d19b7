#pragma once
// The picture steps of one received frame, as every camera worker runs
// them on its own thread: append to the recording when the slot records,
// decode when someone will see the picture, draw into the slot's pane.

#include <cstdint>
#include <span>

#include "FrameDecoder.h"

namespace cx {

class AppState;
class AviRecorder;
class FrameDrawer;

struct FrameServices {
    FrameDecoder& decoder;  // the slot's own
    FrameDrawer& drawer;
    AviRecorder& recorder;
};

// Decodes only as much as the pane needs, and nothing when no one sees the
// panes, unless the slot's recording stores pixels; the size handed to the
// recorder is the JPEG's own, read from its header. A frame whose header
// cannot be read is not recorded. Nothing is drawn while the grid is
// rebuilt or when the slot has no pane. The recording is written under the
// slot's recordLock; nothing else is locked here but briefly.
// Snapshots are the worker's business (their order differs by protocol).
DecodeResult RunFrameSteps(AppState& state, FrameServices& services, int slot, std::span<const uint8_t> jpeg,
                           float frameRate);

}  // namespace cx
