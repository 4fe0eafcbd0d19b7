#pragma once
// Where a worker hands a received frame: the snapshot, picture, recording
// and drawing steps. Workers call it only after the frame's bytes have been
// read from the network, holding no lock.

#include <cstdint>
#include <span>

namespace cx {

enum class HandOffResult {
    Done,
    NoDecoder,  // the picture decoder could not be set up: the worker reports it and ends
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // One complete frame of `slot` (JPEG bytes as the camera sent them),
    // lent for the length of the call: the bytes stay in the worker's own
    // buffer, which the next frame reuses.
    virtual HandOffResult handOff(int slot, std::span<const uint8_t> frame) = 0;
    // The slot's live view was switched off: paint its pane black.
    virtual void paintBlack(int slot) = 0;
};

}  // namespace cx
