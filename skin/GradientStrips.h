#pragma once
// The two-colour background of skinned dialogs, as a list of strips. The
// strip arithmetic is integer throughout so every skin looks the same on
// every machine: step = size / 128 (at least 1); strip k (from 1) lies at
// offset size − k × step and has, per channel,
// second + (first − second) × k × step / size.

#include <cstdint>
#include <vector>

namespace cx {

enum class GradientDirection { TopToBottom, LeftToRight };

struct GradientStrip {
    int offset = 0;    // from the top (left) edge; may be negative for the last strip
    int length = 0;    // the step
    uint32_t colour = 0;  // 0x00BBGGRR
};

// `first` shows at the top (left) edge, `second` at the bottom (right).
// Top to bottom runs while size remains above 0, left to right while at
// least one step remains, so the two directions differ at the far edge
// when size is not a multiple of the step.
std::vector<GradientStrip> gradientStrips(int size, uint32_t first, uint32_t second, GradientDirection direction);

}  // namespace cx
