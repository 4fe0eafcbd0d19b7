#pragma once
// The pictures of one simulated video stream at its size: generated
// pictures (a bar moves across), the drawn street scene, or photographs
// (one per key frame interval, scaled to fit), each with its frame number
// drawn in as a frame code (FrameCode.h).

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "FrameSource.h"
#include "StreamEncoder.h"

struct SwsContext;

namespace cx::sim {

class StreamPictures {
public:
    // What pictures of width x height show: `scene` 1 and up the street
    // scene, else the JPEG files of `photos` when given, else (null)
    // generated pictures. Shared by the pictures of every connection (its
    // use is read only).
    static std::shared_ptr<const FrameSource> source(int width, int height, int scene, const std::filesystem::path& photos);

    StreamPictures(int width, int height, std::shared_ptr<const FrameSource> source, int framesPerPhoto);
    ~StreamPictures();
    StreamPictures(const StreamPictures&) = delete;
    StreamPictures& operator=(const StreamPictures&) = delete;

    // False when a photo folder holds no JPEG file.
    bool ok() const { return source_ == nullptr || !source_->empty(); }
    // Draws frame `number` into `out` (I420 of the stream's size); a scene
    // shows the time `when`.
    void draw(uint64_t number, std::chrono::system_clock::time_point when, const PicturePlanes& out);

private:
    bool loadPhoto(size_t index);

    int width_, height_, framesPerPhoto_;
    std::shared_ptr<const FrameSource> source_;  // scene or photos; none for generated pictures
    std::vector<uint8_t> rgb_;    // the picture being drawn
    std::vector<uint8_t> photo_;  // the photo shown, scaled to the stream's size
    size_t photoIndex_ = SIZE_MAX;
    SwsContext* toI420_ = nullptr;
    SwsContext* scalePhoto_ = nullptr;
};

}  // namespace cx::sim
