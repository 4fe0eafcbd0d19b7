#pragma once
// Per-camera frame rate over blocks of 30 frames.

namespace cx {

class AppState;
class Clock;

// Reads the counter frequency for the slot; called when its camera starts.
void StartFrameRate(AppState& state, int slot, const Clock& clock);

// Counts one frame of `slot` and returns the rate of the last completed
// block: measured over the 29 intervals between frames 1 and 30 of each
// block, 0 until the first block completes. Called by the slot's worker
// while it holds frameLock.
float MeasureFrameRate(AppState& state, int slot, const Clock& clock);

}  // namespace cx
