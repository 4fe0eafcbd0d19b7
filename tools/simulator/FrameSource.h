#pragma once
// JPEG frames for simulated cameras: generated pictures of a chosen size,
// or the JPEG files of a folder served unchanged in a loop. Every frame
// handed out carries its number in a JPEG comment, so a receiver can tell
// frames apart without decoding.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cx::sim {

class FrameSource {
public:
    // Generated frames of width x height (the frame number is also drawn in).
    FrameSource(int width, int height, int distinctFrames = 30);
    // The *.jpg / *.jpeg files of `folder`, sorted by name; empty when none.
    explicit FrameSource(const std::filesystem::path& folder);
    // A drawn street scene (variant 1 and up) that looks like a camera view:
    // something drives across, a lamp blinks, and the local time runs in
    // the corner. Each frame is drawn and encoded when asked for.
    static FrameSource scene(int width, int height, int variant);

    bool empty() const { return frames_.empty() && sceneBase_.empty(); }
    bool isScene() const { return !sceneBase_.empty(); }
    // Frames held: the photographs, or the distinct generated pictures (none for a scene).
    size_t count() const { return frames_.size(); }
    // Scene mode: the RGB picture (3 bytes a pixel, the scene's size) as it
    // looks at `when`, into `rgb` (its storage reused).
    void drawScene(std::vector<uint8_t>& rgb, std::chrono::system_clock::time_point when) const;
    // Frame `number` with its number stamped in a comment.
    std::vector<uint8_t> frame(uint64_t number) const;

private:
    FrameSource() = default;
    std::vector<uint8_t> sceneFrame() const;

    std::vector<std::vector<uint8_t>> frames_;
    // Scene mode: the still part of the picture, drawn once.
    std::vector<uint8_t> sceneBase_;
    int width_ = 0, height_ = 0, variant_ = 0;
};

// Generated picture `index` of `count` (a bar moves across a gradient), RGB
// of width x height into `rgb`, without the number FrameSource draws in.
void drawGeneratedPicture(std::vector<uint8_t>& rgb, int width, int height, int index, int count);

// The number a simulated frame carries, if any.
std::optional<uint64_t> simulatedFrameNumber(const uint8_t* data, size_t size);

// Encodes RGB pixels (3 bytes each) as a JPEG of the given quality, in
// grey-scale or progressive when asked (test fixtures need both).
std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality = 80,
                                bool grey = false, bool progressive = false);

}  // namespace cx::sim
