#pragma once
// The picture steps of one received frame, as every camera worker runs
// them while it holds frameLock: decode, append to the recording when the
// slot records, draw into the slot's pane.

#include <cstdint>
#include <span>

#include "FrameDecoder.h"

namespace cx {

class AppState;
class AviRecorder;
class FrameDrawer;

struct FrameServices {
    FrameDecoder& decoder;
    FrameDrawer& drawer;
    AviRecorder& recorder;
};

// Decodes only as much as the pane needs, unless the slot's recording
// stores pixels; the size handed to the recorder is the JPEG's own. Nothing
// is drawn while the grid is rebuilt or when the slot has no pane.
// Snapshots are the worker's business (their order differs by protocol).
DecodeResult RunFrameSteps(AppState& state, FrameServices& services, int slot, std::span<const uint8_t> jpeg,
                           float frameRate);

}  // namespace cx
