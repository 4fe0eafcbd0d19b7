#pragma once
// The frame numbers a video file's pictures carry (the simulator's frame
// codes), as the ffmpeg program decodes them: an independent reader.

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "FrameCode.h"

namespace cx::test {

// One entry per decoded picture; empty entries for pictures whose code
// cannot be read. Pictures are decoded at width x height.
inline std::vector<std::optional<uint32_t>> frameCodesOf(const std::filesystem::path& file, int width, int height)
{
    const std::string command = "ffmpeg -v error -i '" + file.string() + "' -map 0:v:0 -f rawvideo -pix_fmt gray -s " +
                                std::to_string(width) + "x" + std::to_string(height) + " - 2>/dev/null";
    std::vector<std::optional<uint32_t>> codes;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return codes;
    std::vector<uint8_t> luma(static_cast<size_t>(width) * static_cast<size_t>(height));
    while (std::fread(luma.data(), 1, luma.size(), pipe) == luma.size())
        codes.push_back(sim::readFrameCode(luma.data(), width, height, width));
    ::pclose(pipe);
    return codes;
}

// Every picture's code read and each one more than the one before; the
// index of the first that is not, or -1.
inline int firstBreak(const std::vector<std::optional<uint32_t>>& codes)
{
    for (size_t k = 0; k < codes.size(); ++k) {
        if (!codes[k]) return static_cast<int>(k);
        if (k > 0 && *codes[k] != *codes[k - 1] + 1) return static_cast<int>(k);
    }
    return -1;
}

}  // namespace cx::test
