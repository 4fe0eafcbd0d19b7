#include "GradientStrips.h"

#include <algorithm>

namespace cx {

std::vector<GradientStrip> gradientStrips(int size, uint32_t first, uint32_t second, GradientDirection direction)
{
    std::vector<GradientStrip> strips;
    if (size <= 0) return strips;
    const int step = std::max(1, size / 128);
    const auto channel = [&](int shift, int k) {
        const int c1 = static_cast<int>((first >> shift) & 0xFF);
        const int c2 = static_cast<int>((second >> shift) & 0xFF);
        const long long v = c2 + static_cast<long long>(c1 - c2) * k * step / size;
        return static_cast<uint32_t>(v & 0xFF) << shift;
    };
    for (int k = 1;; ++k) {
        const int remaining = size - (k - 1) * step;
        const bool more = direction == GradientDirection::TopToBottom ? remaining > 0 : remaining >= step;
        if (!more) break;
        strips.push_back({size - k * step, step, channel(0, k) | channel(8, k) | channel(16, k)});
    }
    return strips;
}

}  // namespace cx
